#include "tests/install/ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::filesystem::path& output,
                           int passFd) {
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (passFd != -1)
        posix_spawn_file_actions_adddup2(&actions, passFd, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    // The test's own signal settings are not the program's business.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp.data()) == 0)
        pid_ = pid;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGKILL);
    if (!reaped_)
        waitpid(pid_, nullptr, 0);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0)
        return -1;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!reaped_) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (std::chrono::steady_clock::now() >= end) {
            return -1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return status_;
}
