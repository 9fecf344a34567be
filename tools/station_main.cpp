// lantor-station: the demo radio service and lyrics sites on a loopback port, until SIGINT or
// SIGTERM.
#include "tools/DemoStation.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include <pthread.h>

namespace {

constexpr int kDefaultPort = 18080;

void Usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: lantor-station [options]\n"
        "  --port N            port on 127.0.0.1 (default %d; 0 picks a free one)\n"
        "  --song-seconds N    every song N seconds long (default: each 20 to 40 s)\n"
        "  --cache DIR         folder for the generated media (default ~/.cache/lantor-station)\n"
        "  --no-cache          keep the media in memory only\n"
        "  --playlist-size N   songs per playlist reply (default 5)\n"
        "  --any-token         accept playlist requests without the demo sign-in values\n"
        "  --fault MODE[:PATH] misbehave on requests whose path starts with PATH (default all;\n"
        "                      several separated by \",\"): drop, stall, 500, badjson, trickle,\n"
        "                      huge (50 MB of blanks after the body), noise (songs of white\n"
        "                      noise), truncated (half the body as if whole); down (the whole\n"
        "                      station refuses connections for --down-ms, then serves as long,\n"
        "                      and so on); hostile content: markup (markup and line feeds\n"
        "                      in every text, a sid with line feeds), empty and repeat\n"
        "                      (playlists with no new song), hugelist (100,000 songs),\n"
        "                      hugecover (200 MB), endless (songs that never end)\n"
        "  --fault-times N     misbehave N times only (down: N outages)\n"
        "  --down-ms N         length of each outage and of the service between (default 10000)\n"
        "  --stall-ms N        length of a stall (default 60000)\n"
        "  --trickle-bytes N   bytes per trickle step (default 16)\n"
        "  --trickle-ms N      pause between trickle steps (default 50)\n"
        "  --client-folder DIR once listening, make DIR a working folder for the client\n"
        "                      (config.ini pointing here, Temp cache folders)\n"
        "  --quiet             do not print the requests\n",
        kDefaultPort);
}

std::string DefaultCacheDir() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return (std::filesystem::path(xdg) / "lantor-station").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (std::filesystem::path(home) / ".cache" / "lantor-station").string();
    return (std::filesystem::temp_directory_path() / "lantor-station").string();
}

bool ToInt(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == 0 && out >= lo && out <= hi;
}

} // namespace

int main(int argc, char** argv) {
    DemoStationOptions options;
    options.cacheDir = DefaultCacheDir();
    long port = kDefaultPort;
    bool quiet = false;
    StationFault fault = StationFault::None;
    std::string faultPath;
    long faultTimes = -1;
    long downMs = 10000;
    std::string clientFolder;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        auto number = [&](long lo, long hi) {
            if (!value || !ToInt(value, lo, hi, n)) {
                std::fprintf(stderr, "lantor-station: %s needs a number from %ld to %ld\n",
                             arg.c_str(), lo, hi);
                std::exit(2);
            }
            ++i;
            return n;
        };
        if (arg == "--port") {
            port = number(0, 65535);
        } else if (arg == "--song-seconds") {
            options.songSeconds = static_cast<double>(number(1, 600));
        } else if (arg == "--cache" && value) {
            options.cacheDir = value;
            ++i;
        } else if (arg == "--no-cache") {
            options.cacheDir.clear();
        } else if (arg == "--playlist-size") {
            options.playlistSize = static_cast<int>(number(1, 50));
        } else if (arg == "--any-token") {
            options.checkToken = false;
        } else if (arg == "--fault" && value) {
            std::string spec = value;
            ++i;
            std::size_t colon = spec.find(':');
            if (colon != std::string::npos)
                faultPath = spec.substr(colon + 1);
            if (!ParseStationFault(spec.substr(0, colon), fault)) {
                std::fprintf(stderr, "lantor-station: unknown fault %s\n", spec.c_str());
                return 2;
            }
        } else if (arg == "--fault-times") {
            faultTimes = number(1, 1000000);
        } else if (arg == "--down-ms") {
            downMs = number(100, 3600000);
        } else if (arg == "--stall-ms") {
            options.stallMs = static_cast<int>(number(0, 3600000));
        } else if (arg == "--trickle-bytes") {
            options.trickleBytes = static_cast<std::size_t>(number(1, 1 << 20));
        } else if (arg == "--trickle-ms") {
            options.trickleIntervalMs = static_cast<int>(number(0, 60000));
        } else if (arg == "--client-folder" && value) {
            clientFolder = value;
            ++i;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "lantor-station: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!quiet) {
        options.logLine = [](const std::string& line) {
            // One write per line, so lines from server threads do not interleave.
            std::string out = line + "\n";
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
        };
    }

    // Every thread started from here on inherits the blocked signals; main waits for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    DemoStation station(options);
    auto begun = std::chrono::steady_clock::now();
    if (!station.Prepare()) {
        std::fprintf(stderr, "lantor-station: cannot make the media (folder %s)\n",
                     station.MediaFolder().c_str());
        return 1;
    }
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    if (fault != StationFault::None && fault != StationFault::Down)
        station.SetFault(fault, faultPath, static_cast<int>(faultTimes));
    if (!station.Start(static_cast<int>(port))) {
        std::fprintf(stderr, "lantor-station: cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }
    if (!clientFolder.empty() && !DemoStation::WriteClientFolder(clientFolder, station.BaseUrl())) {
        std::fprintf(stderr, "lantor-station: cannot prepare %s\n", clientFolder.c_str());
        return 1;
    }
    std::printf("lantor-station: serving on %s (%zu songs, %zu channels; media %s in %.1f s)\n"
                "lantor-station: account %s, password %s\n",
                station.BaseUrl().c_str(), DemoCatalog::Songs().size(),
                DemoCatalog::Channels().size(),
                station.MediaFolder().empty() ? "in memory" : station.MediaFolder().c_str(), took,
                DemoCatalog::kEmail, DemoCatalog::kPassword);
    std::fflush(stdout);

    if (fault == StationFault::Down) {
        // Serves and is down by turns, downMs each (only faultTimes outages when given), until a
        // signal comes.
        const timespec spell{downMs / 1000, (downMs % 1000) * 1'000'000};
        bool down = false;
        long outages = 0;
        while (sigtimedwait(&signals, nullptr, &spell) < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (errno == EINTR || (!down && faultTimes >= 0 && outages == faultTimes))
                continue;
            down = !down;
            outages += down;
            station.SetFault(down ? StationFault::Down : StationFault::None);
            std::printf("lantor-station: %s\n", down ? "down" : "serving again");
            std::fflush(stdout);
        }
    } else {
        int received = 0;
        sigwait(&signals, &received);
    }
    std::printf("lantor-station: stopping\n");
    station.Stop();
    return 0;
}
