#pragma once
#include "platform/NotifyTarget.h"

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

// The message layer on Qt: handlers run on the thread that owns this object (the UI thread).
// Send from a worker queues the call and blocks until the handler has returned; Send on the UI
// thread itself calls the handler directly. Once BeginClosing() has been called no handler runs
// any more and every blocked or later Send returns 0 at once, so a window that joins its workers
// while closing can never deadlock with a worker waiting for it.
class QtNotifyTarget : public QObject, public NotifyTarget {
    Q_OBJECT
public:
    using Handler = std::function<std::intptr_t(unsigned, std::uintptr_t, std::intptr_t)>;

    explicit QtNotifyTarget(Handler handler, QObject* parent = nullptr);
    ~QtNotifyTarget() override;

    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

    void BeginClosing();
    bool IsClosing() const;

private:
    struct PendingSend {
        bool done = false;
        std::intptr_t result = 0;
    };

    Handler handler_;
    mutable std::mutex lock_; // guards closing_, pending_ and every PendingSend
    std::condition_variable finished_;
    bool closing_ = false;
    std::set<std::shared_ptr<PendingSend>> pending_;
};
