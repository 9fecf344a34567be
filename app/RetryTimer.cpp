#include "app/RetryTimer.h"

#include <algorithm>

RetryTimer::RetryTimer(std::function<void()> retry_, QObject* parent)
    : QObject(parent), retry(std::move(retry_)) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] { retry(); });
}

void RetryTimer::Schedule() {
    if (timer.isActive())
        return;
    timer.start(kDelaysMs[step]);
    step = std::min(step + 1, kDelaysMs.size() - 1);
}

void RetryTimer::Reset() {
    timer.stop();
    step = 0;
}
