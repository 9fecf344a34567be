#include "platform/RecordingTarget.h"

void RecordingTarget::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        messages_.push_back({message, wParam, lParam});
    }
    arrived_.notify_all();
}

std::vector<RecordingTarget::Message> RecordingTarget::Messages() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
}

int RecordingTarget::Count(unsigned message) const {
    std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (const auto& m : messages_)
        n += m.message == message;
    return n;
}

void RecordingTarget::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.clear();
}

bool RecordingTarget::WaitFor(unsigned message, int n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, timeout, [&] {
        int count = 0;
        for (const auto& m : messages_)
            count += m.message == message;
        return count >= n;
    });
}
