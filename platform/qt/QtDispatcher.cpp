#include "platform/qt/QtDispatcher.h"

QtDispatcher::QtDispatcher(QObject* parent) : QObject(parent) {}

QtDispatcher::~QtDispatcher() {
    Close();
}

void QtDispatcher::Post(std::function<void()> task) {
    if (closed_)
        return;
    // Queued on this object: a task still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(
        this,
        [this, task = std::move(task)] {
            if (!closed_)
                task();
        },
        Qt::QueuedConnection);
}

void QtDispatcher::Close() {
    closed_ = true;
}
