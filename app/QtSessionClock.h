#pragma once
#include "session/SessionClock.h"

#include <QElapsedTimer>

// The session's clock on Qt: QTimers on the thread that makes them, a monotonic elapsed time.
class QtSessionClock : public SessionClock {
public:
    QtSessionClock() { elapsed.start(); }
    std::int64_t NowMs() const override { return elapsed.elapsed(); }
    std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> fire) override;

private:
    QElapsedTimer elapsed;
};
