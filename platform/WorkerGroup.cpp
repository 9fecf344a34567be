#include "platform/WorkerGroup.h"

#include <system_error>

bool WorkerGroup::Start(std::function<void()> job) {
    std::lock_guard<std::mutex> guard(lock_);
    Reap();
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    try {
        w->thread = std::thread([w, job = std::move(job)] {
            job();
            w->done = true;
        });
    } catch (const std::system_error&) {
        return false;
    }
    workers_.push_back(std::move(worker));
    return true;
}

void WorkerGroup::Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkerGroup::JoinAll() {
    for (;;) {
        std::unique_ptr<Worker> worker;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (workers_.empty())
                return;
            worker = std::move(workers_.front());
            workers_.pop_front();
        }
        // Joined without the lock: the job may itself start another worker.
        worker->thread.join();
    }
}

int WorkerGroup::Running() const {
    std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (const auto& w : workers_)
        n += !w->done;
    return n;
}
