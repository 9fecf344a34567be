#pragma once
#include <cstdint>

// Where a control reports to: the stand-in for a window handle. Post queues the message for the
// target's thread and returns at once.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};
