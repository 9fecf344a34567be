#pragma once
#include "platform/WorkerGroup.h"

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Runs one blocking request at a time on a worker thread, so the window never waits on the
// network, and hands the reply to a callback on the thread that owns this object (the UI
// thread), from its event loop. The worker never touches widgets; only the callback does. Each
// job gets a cancel flag for its transfer (WebClient's cancel option). Cancel drops the running
// job's reply without waiting for it; Shutdown, and the destructor, also join the worker.
class BackgroundJob : public QObject {
    Q_OBJECT
public:
    using Reply = std::optional<std::string>;
    using Job = std::function<Reply(const std::atomic<bool>& cancel)>;
    using Done = std::function<void(Reply)>;

    explicit BackgroundJob(QObject* parent = nullptr);
    ~BackgroundJob() override;
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Starts job unless one runs, or after Shutdown; done gets its reply unless Cancel comes
    // first.
    bool Start(Job job, Done done);
    bool Running() const { return running_; }
    void Cancel();
    void Shutdown();

private:
    void Deliver(std::uint64_t id, Reply reply);

    // UI thread only.
    std::uint64_t wanted_ = 0; // the job whose reply is still wanted
    bool running_ = false;
    bool shutDown_ = false;
    Done done_;
    std::shared_ptr<std::atomic<bool>> cancel_; // the running job's flag, shared with its worker

    WorkerGroup workers_;
};
