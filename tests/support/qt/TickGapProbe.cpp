#include "tests/support/qt/TickGapProbe.h"

#include <algorithm>
#include <fstream>

namespace {

// Nanoseconds the calling thread has spent ready to run but waiting for a CPU; 0 when the
// kernel does not keep the figure.
std::int64_t RunQueueWaitNs() {
    std::ifstream stat("/proc/thread-self/schedstat");
    std::int64_t onCpuNs = 0, waitNs = 0;
    stat >> onCpuNs >> waitNs;
    return stat ? waitNs : 0;
}

} // namespace

TickGapProbe::TickGapProbe() {
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kPeriodMs);
    QObject::connect(&timer, &QTimer::timeout, [this] { Tick(); });
}

void TickGapProbe::Start() {
    longestMs = 0;
    longestHeldMs = 0;
    Resume();
}

void TickGapProbe::Resume() {
    clock.start();
    lastMs = 0;
    lastWaitNs = RunQueueWaitNs();
    timer.start();
}

void TickGapProbe::Tick() {
    const qint64 now = clock.elapsed();
    const std::int64_t waitNs = RunQueueWaitNs();
    const qint64 gap = now - lastMs;
    longestMs = std::max(longestMs, gap);
    longestHeldMs = std::max(longestHeldMs, gap - (waitNs - lastWaitNs) / 1'000'000);
    lastMs = now;
    lastWaitNs = waitNs;
}

void TickGapProbe::Stop() {
    if (!timer.isActive())
        return;
    // The time since the last tick counts too: a thread still held up at the end is seen.
    Tick();
    timer.stop();
}
