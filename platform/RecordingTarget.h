#pragma once
#include "platform/NotifyTarget.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// A NotifyTarget that records every message, for tests and headless runs.
class RecordingTarget : public NotifyTarget {
public:
    struct Message {
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };

    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

    std::vector<Message> Messages() const;
    int Count(unsigned message) const;
    void Clear();
    // Waits until at least n messages of that number arrived; false on time-out.
    bool WaitFor(unsigned message, int n, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex lock_; // guards messages_
    mutable std::condition_variable arrived_;
    std::vector<Message> messages_;
};
