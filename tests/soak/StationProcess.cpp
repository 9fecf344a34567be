#include "tests/soak/StationProcess.h"

#include <cstdio>
#include <cstring>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

StationProcess::StationProcess(const DemoStationOptions& options) {
    int commands[2], report[2];
    if (pipe(commands) != 0)
        return;
    if (pipe(report) != 0) {
        close(commands[0]);
        close(commands[1]);
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        close(commands[1]);
        close(report[0]);
        Serve(options, commands[0], report[1]);
    }
    close(commands[0]);
    close(report[1]);
    if (child_ < 0) {
        close(commands[1]);
        close(report[0]);
        return;
    }
    commands_ = commands[1];
    int port = 0;
    ssize_t n;
    do {
        n = read(report[0], &port, sizeof port);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == sizeof port)
        port_ = port;
}

StationProcess::~StationProcess() {
    if (commands_ >= 0)
        close(commands_); // the child stops serving and exits
    if (child_ > 0) {
        int status = 0;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string StationProcess::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

bool StationProcess::SetFault(const std::string& mode, const std::string& paths) {
    return commands_ >= 0 && WriteAll(commands_, mode + " " + paths + "\n");
}

void StationProcess::Serve(const DemoStationOptions& options, int commands, int report) {
    // A parent gone before the port is reported must not kill the child mid-write: it ends
    // below when its command pipe reads end-of-file.
    signal(SIGPIPE, SIG_IGN);
    int port = 0;
    {
        DemoStation station(options);
        if (station.Start(0))
            port = station.Port();
        const ssize_t sent = write(report, &port, sizeof port);
        close(report);
        if (port > 0 && sent == sizeof port) {
            // One command per line: "<mode> <paths>".
            std::string pending;
            char buffer[256];
            for (;;) {
                const ssize_t n = read(commands, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                pending.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
                    const std::string line = pending.substr(0, eol);
                    pending.erase(0, eol + 1);
                    const std::size_t blank = line.find(' ');
                    StationFault fault = StationFault::None;
                    if (ParseStationFault(line.substr(0, blank), fault))
                        station.SetFault(fault, blank == std::string::npos
                                                    ? std::string()
                                                    : line.substr(blank + 1));
                }
            }
        }
    } // stops the station, joining its threads
    _exit(port > 0 ? 0 : 1);
}
