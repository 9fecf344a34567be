#include "session/Backoff.h"

#include <algorithm>

Backoff::Backoff(SessionClock& clock, std::function<void()> retry)
    : timer(clock.MakeTimer(std::move(retry))) {}

void Backoff::Schedule() {
    if (timer->Active())
        return;
    timer->Start(kDelaysMs[step]);
    step = std::min(step + 1, kDelaysMs.size() - 1);
}

void Backoff::Reset() {
    timer->Stop();
    step = 0;
}
