#pragma once
#include <cstdint>

// The two times scrobbling needs: a steady one for time heard and back-off delays, and the wall
// clock for the moment a song started. Tests pass one they move by hand.
class ScrobbleClock {
public:
    virtual ~ScrobbleClock() = default;
    // Milliseconds on a clock that never jumps (any origin).
    virtual std::int64_t SteadyMs() const = 0;
    // Seconds since 1970-01-01 UTC.
    virtual std::int64_t UtcSeconds() const = 0;

    // The system's clocks; lives for the whole run.
    static const ScrobbleClock& System();
};
