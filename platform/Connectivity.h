#pragma once

// Whether the system reports being offline. A desktop Linux box has no such flag worth trusting,
// so it reports online; tests switch it to check the offline path of downloads.
class Connectivity {
public:
    static bool IsOffline();
    static void SetOfflineForTesting(bool offline);
};
