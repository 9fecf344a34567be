#pragma once
#include "session/SessionClock.h"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

// Tries something again on a back-off: after 1, 2, 4 and 8 seconds, then every 10 seconds, with
// no upper count, until Reset. Each Schedule arms the next try unless one is pending, so reports
// of the same failure arriving together cost one try.
class Backoff {
public:
    static constexpr std::array<int, 5> kDelaysMs{1000, 2000, 4000, 8000, 10000};

    Backoff(SessionClock& clock, std::function<void()> retry);

    void Schedule();
    // Drops a pending try and starts the back-off again from its first step.
    void Reset();
    bool Pending() const { return timer->Active(); }

private:
    std::unique_ptr<SessionTimer> timer;
    std::size_t step = 0;
};
