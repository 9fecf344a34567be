#pragma once
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// Short-lived worker threads that are always joined: finished ones are joined when the next one
// starts (so they do not pile up), and JoinAll joins the rest. Thread-safe.
class WorkerGroup {
public:
    WorkerGroup() = default;
    ~WorkerGroup() { JoinAll(); }
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    // Starts job on a new thread; false when the thread could not be started.
    bool Start(std::function<void()> job);
    // Joins every thread started so far; threads started meanwhile are joined too.
    void JoinAll();
    // Threads started and not yet finished.
    int Running() const;

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void Reap(); // joins finished workers; lock_ held

    mutable std::mutex lock_; // guards workers_
    std::list<std::unique_ptr<Worker>> workers_;
};
