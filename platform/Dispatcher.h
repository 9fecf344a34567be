#pragma once
#include <functional>

// Hands work to the thread that owns the receiving objects (the UI thread). Post queues the task
// and returns at once, never running it itself, so a worker that reports never waits for that
// thread; tasks run in the order they were posted. A task carries values, never a pointer into
// a worker's data. After Close no task runs any more, queued or posted later: the close sequence
// closes the dispatcher before it joins the workers.
class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // Thread-safe.
    virtual void Post(std::function<void()> task) = 0;
    // On the owning thread.
    virtual void Close() = 0;
};
