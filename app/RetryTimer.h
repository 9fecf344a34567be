#pragma once
#include <QObject>
#include <QTimer>
#include <array>
#include <cstddef>
#include <functional>

// Tries something again on a back-off: after 1, 2, 4 and 8 seconds, then every 10 seconds, with
// no upper count, until Reset. Each Schedule arms the next try unless one is pending, so reports
// of the same failure arriving together cost one try. Runs on the thread that owns it.
class RetryTimer : public QObject {
    Q_OBJECT
public:
    static constexpr std::array<int, 5> kDelaysMs{1000, 2000, 4000, 8000, 10000};

    explicit RetryTimer(std::function<void()> retry, QObject* parent = nullptr);

    void Schedule();
    // Drops a pending try and starts the back-off again from its first step.
    void Reset();
    bool Pending() const { return timer.isActive(); }

private:
    std::function<void()> retry;
    QTimer timer;
    std::size_t step = 0;
};
