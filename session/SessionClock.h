#pragma once
#include <cstdint>
#include <functional>
#include <memory>

// A one-shot timer that fires on the session's own thread.
class SessionTimer {
public:
    virtual ~SessionTimer() = default;
    // (Re)arms the timer: the callback runs once, ms from now, unless Stop comes first.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

// Time as the session sees it: injected, so that its back-offs and stall checks can be driven by
// a test's clock instead of the wall.
class SessionClock {
public:
    virtual ~SessionClock() = default;
    // Monotonic milliseconds.
    virtual std::int64_t NowMs() const = 0;
    virtual std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> fire) = 0;
};
