#pragma once
#include <QElapsedTimer>
#include <QTimer>

// How promptly the UI thread serves a timer: a timer of the window's 50 ms period runs on the
// calling thread, and the longest time between two of its ticks is kept. A thread held up by a
// network call shows as one long gap.
class TickGapProbe {
public:
    static constexpr int kPeriodMs = 50;

    TickGapProbe();
    // Starts measuring afresh; the first gap counts from now.
    void Start();
    // Ends measuring; the longest gap so far stays readable.
    void Stop();
    qint64 LongestGapMs() const { return longestMs; }
    int Ticks() const { return ticks; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastMs = 0;
    qint64 longestMs = 0;
    int ticks = 0;
};
