#pragma once
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

// A program the test runs, in a process group of its own with exactly the environment given,
// its output into a file. Whatever of the group still runs at the end is killed and the
// program reaped, so a failing test leaves nothing behind.
class ChildProcess {
public:
    // passFd, when not -1, is handed to the program as its descriptor 3.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::filesystem::path& output, int passFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit code (128 + signal number when killed), or -1 when it still runs at the time-out.
    int Wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = -1;
};
