#include "tests/support/qt/TickGapProbe.h"

#include <algorithm>

TickGapProbe::TickGapProbe() {
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kPeriodMs);
    QObject::connect(&timer, &QTimer::timeout, [this] {
        const qint64 now = clock.elapsed();
        longestMs = std::max(longestMs, now - lastMs);
        lastMs = now;
        ++ticks;
    });
}

void TickGapProbe::Start() {
    longestMs = 0;
    ticks = 0;
    clock.start();
    lastMs = 0;
    timer.start();
}

void TickGapProbe::Stop() {
    if (!timer.isActive())
        return;
    // The time since the last tick counts too: a thread still held up at the end is seen.
    longestMs = std::max(longestMs, clock.elapsed() - lastMs);
    timer.stop();
}
