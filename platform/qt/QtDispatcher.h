#pragma once
#include "platform/Dispatcher.h"

#include <QObject>
#include <atomic>

// The dispatcher on Qt: each task is a queued invocation on the thread that owns this object,
// run from its event loop.
class QtDispatcher : public QObject, public Dispatcher {
    Q_OBJECT
public:
    explicit QtDispatcher(QObject* parent = nullptr);
    ~QtDispatcher() override;

    void Post(std::function<void()> task) override;
    void Close() override;
    bool IsClosed() const { return closed_; }

private:
    std::atomic<bool> closed_{false};
};
