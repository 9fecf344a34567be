#pragma once
#include <chrono>
#include <functional>

// Polls done every 5 ms until it holds; false when the time-out passes first.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
