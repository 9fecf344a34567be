#include "app/QtSessionClock.h"

#include <QTimer>

namespace {

class QtSessionTimer : public SessionTimer {
public:
    explicit QtSessionTimer(std::function<void()> fire_) : fire(std::move(fire_)) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] { fire(); });
    }
    void Start(int ms) override { timer.start(ms); }
    void Stop() override { timer.stop(); }
    bool Active() const override { return timer.isActive(); }

private:
    std::function<void()> fire;
    QTimer timer;
};

} // namespace

std::unique_ptr<SessionTimer> QtSessionClock::MakeTimer(std::function<void()> fire) {
    return std::make_unique<QtSessionTimer>(std::move(fire));
}
