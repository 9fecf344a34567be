#include "platform/qt/QtNotifyTarget.h"

#include <QThread>

QtNotifyTarget::QtNotifyTarget(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

QtNotifyTarget::~QtNotifyTarget() {
    BeginClosing();
}

std::intptr_t QtNotifyTarget::Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (QThread::currentThread() == thread()) {
        if (IsClosing())
            return 0;
        return handler_(message, wParam, lParam);
    }
    auto pending = std::make_shared<PendingSend>();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closing_)
            return 0;
        pending_.insert(pending);
    }
    QMetaObject::invokeMethod(
        this,
        [this, pending, message, wParam, lParam] {
            std::intptr_t result = 0;
            if (!IsClosing())
                result = handler_(message, wParam, lParam);
            std::lock_guard<std::mutex> guard(lock_);
            pending->result = result;
            pending->done = true;
            pending_.erase(pending);
            finished_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(lock_);
    finished_.wait(guard, [&] { return pending->done; });
    return pending->result;
}

void QtNotifyTarget::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    QMetaObject::invokeMethod(
        this,
        [this, message, wParam, lParam] {
            if (!IsClosing())
                handler_(message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void QtNotifyTarget::BeginClosing() {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
    for (const auto& pending : pending_) {
        pending->done = true;
        pending->result = 0;
    }
    pending_.clear();
    finished_.notify_all();
}

bool QtNotifyTarget::IsClosing() const {
    std::lock_guard<std::mutex> guard(lock_);
    return closing_;
}
