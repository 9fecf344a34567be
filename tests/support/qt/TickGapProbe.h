#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

// How promptly the UI thread serves a timer: a timer of the window's 50 ms period runs on the
// calling thread, and the longest time between two of its ticks is kept. A thread held up by a
// network call, or busy, shows as one long gap. On a loaded machine a ready thread may also
// wait for a CPU; the kernel counts that wait for each thread, and the held gap leaves it out.
class TickGapProbe {
public:
    static constexpr int kPeriodMs = 50;

    TickGapProbe();
    // Starts measuring afresh; the first gap counts from now.
    void Start();
    // Ends measuring; the gaps so far stay readable.
    void Stop();
    // Measures on after a Stop, keeping the gaps so far: the time between is not counted.
    void Resume();
    // The longest gap between ticks, as the clock saw it.
    qint64 LongestGapMs() const { return longestMs; }
    // The longest gap without the time the thread was ready but waited for a CPU.
    qint64 LongestHeldMs() const { return longestHeldMs; }

private:
    void Tick();

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastMs = 0;
    std::int64_t lastWaitNs = 0;
    qint64 longestMs = 0;
    qint64 longestHeldMs = 0;
};
