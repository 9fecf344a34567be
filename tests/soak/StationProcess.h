#pragma once
#include "tools/DemoStation.h"

#include <string>
#include <sys/types.h>

// The demo station in a child process of its own, so that what the parent measures of itself
// (memory, threads, open files) is the program's alone. Create it before any thread starts
// (it forks). The parent switches faults over a pipe; the child serves until the pipe closes.
class StationProcess {
public:
    explicit StationProcess(const DemoStationOptions& options);
    ~StationProcess(); // ends the child and waits for it
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    bool Running() const { return port_ > 0; }
    std::string BaseUrl() const;
    // The fault mode by its --fault name ("drop", "stall", ...; "none" clears) on the paths.
    bool SetFault(const std::string& mode, const std::string& paths);
    bool ClearFault() { return SetFault("none", {}); }

private:
    [[noreturn]] static void Serve(const DemoStationOptions& options, int commands, int report);

    pid_t child_ = -1;
    int commands_ = -1; // write end of the command pipe
    int port_ = 0;
};
