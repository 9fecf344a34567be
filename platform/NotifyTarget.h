#pragma once
#include <cstdint>

// Where workers report to: the stand-in for a window handle. Send blocks until the target has
// handled the message and returns the handler's result; a pointer passed in wParam only has to
// stay valid for that call. Post queues the message and returns at once.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};
