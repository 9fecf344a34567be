#include "platform/Connectivity.h"

#include <atomic>

namespace {
std::atomic<bool> gOfflineForTesting{false};
}

bool Connectivity::IsOffline() {
    return gOfflineForTesting.load(std::memory_order_relaxed);
}

void Connectivity::SetOfflineForTesting(bool offline) {
    gOfflineForTesting.store(offline, std::memory_order_relaxed);
}
