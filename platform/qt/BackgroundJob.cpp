#include "platform/qt/BackgroundJob.h"

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
    Shutdown();
}

bool BackgroundJob::Start(Job job, Done done) {
    if (running_ || shutDown_)
        return false;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    const std::uint64_t id = ++wanted_;
    running_ = true;
    done_ = std::move(done);
    cancel_ = cancel;
    bool started = workers_.Start([this, id, cancel, job = std::move(job)] {
        auto reply = std::make_shared<Reply>(job(*cancel));
        // Queued to this object: dropped by Qt if it is gone, by Deliver if no longer wanted.
        QMetaObject::invokeMethod(
            this, [this, id, reply] { Deliver(id, std::move(*reply)); }, Qt::QueuedConnection);
    });
    if (!started)
        Cancel();
    return started;
}

void BackgroundJob::Cancel() {
    if (cancel_)
        *cancel_ = true;
    cancel_.reset();
    ++wanted_;
    running_ = false;
    done_ = nullptr;
}

void BackgroundJob::Shutdown() {
    Cancel();
    shutDown_ = true;
    workers_.JoinAll();
}

void BackgroundJob::Deliver(std::uint64_t id, Reply reply) {
    if (shutDown_ || id != wanted_)
        return;
    running_ = false;
    cancel_.reset();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(std::move(reply));
}
