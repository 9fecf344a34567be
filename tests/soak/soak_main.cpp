// lantor-soak: the whole program against the demo station (2-second songs) for N minutes, with
// the listener's commands and network faults at random moments drawn from a fixed seed. Checks
// that resident memory grows by at most 10% between minute 1 and the end, that the thread count
// stays bounded, that open files do not grow, that Temp/ holds only the files of songs the
// station queues (temporary files of running transfers aside, never more than a handful) and is
// empty after the close, and that playback never stays silent for more than 15 s once a fault
// is off.
//   lantor-soak [--minutes N] [--seed S]
#include "app/CMainDlg.h"
#include "playback/CAudioPlayer.h"
#include "tests/soak/StationProcess.h"
#include "tests/support/TestStation.h"
#include "tests/support/qt/ProgramUnderTest.h"
#include "tests/support/qt/TickGapProbe.h"
#include "tools/DemoCatalog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kSongSeconds = 2;
constexpr qint64 kSampleMs = 1000;
constexpr qint64 kCacheCheckMs = 5000;
constexpr qint64 kBaselineMs = 60000;       // "minute 1"
constexpr qint64 kBaselineWindowMs = 10000; // samples around it
constexpr qint64 kQuietMs = 20000;          // at the end: no fault, no command
constexpr int kMaxActionGapMs = 4000;
constexpr int kMinActionGapMs = 500;
constexpr double kMaxRssGrowth = 0.10;
// The UI thread, Qt's and SDL's own, the play thread and the stream's, one fetch, one
// prefetch, and the cover, lyrics and like workers that a stall of up to 8 s holds: about a
// dozen at the most; a worker that is never joined soon passes this.
constexpr int kMaxThreads = 32;
// Temporary files of transfers under way: the player's stream, the prefetch, covers, lyrics.
constexpr int kMaxTemporaryFiles = 8;
constexpr float kPlayedSeconds = 0.3f;
// Once a fault is off, playback goes on within this; without a fault it never stops so long.
constexpr qint64 kMaxSilenceMs = 15000;

// Faults by their station names, and where they hit.
std::vector<std::pair<std::string, std::string>> FaultChoices() {
    std::vector<std::pair<std::string, std::string>> choices;
    for (const char* mode : {"drop", "stall", "500", "badjson", "trickle"})
        for (const char* paths : {"", "/j/app/radio/people", "/music/", "/cover/", "/s/,/d/",
                                  "/so.asp,/lrc/", "/j/app/radio/channels"})
            choices.emplace_back(mode, paths); // "": every path
    choices.emplace_back("huge", "/j/app/radio/people");
    choices.emplace_back("noise", "/music/");
    choices.emplace_back("truncated", "/music/");
    choices.emplace_back("down", ""); // the whole station refuses connections
    return choices;
}

struct Figures {
    qint64 atMs = 0;
    long rssKb = 0;
    int threads = 0;
    int fds = 0;
};

Figures Measure(qint64 atMs) {
    Figures f;
    f.atMs = atMs;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            f.rssKb = std::atol(line.c_str() + 6);
        else if (line.rfind("Threads:", 0) == 0)
            f.threads = std::atoi(line.c_str() + 8);
    }
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
        ++f.fds;
    return f;
}

template <typename Field> long Median(std::vector<Figures> samples, Field field) {
    if (samples.empty())
        return 0;
    std::vector<long> values;
    for (const Figures& f : samples)
        values.push_back(field(f));
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

struct CacheState {
    int files = 0;                   // cache files of songs the station queues
    int temporary = 0;               // anything else: transfers under way
    std::vector<std::string> strays; // cache names of songs that are never queued
};

CacheState LookAtCache(const ProgramUnderTest& program) {
    static const std::set<std::string> kinds = {"Music.mp3", "Album.jpg", "Lyrics.lrc"};
    CacheState state;
    for (const auto& entry : program.CacheFiles(false)) {
        const fs::path p(entry.first);
        const std::string kind = p.parent_path().filename().string() + p.extension().string();
        const DemoSong* song = DemoCatalog::FindSong(p.stem().string());
        if (!kinds.count(kind))
            ++state.temporary;
        else if (song && song->rating_avg > 1.0) // the rating filter keeps the others out
            ++state.files;
        else
            state.strays.push_back(entry.first);
    }
    return state;
}

struct Run {
    std::mt19937 rng;
    int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
};

} // namespace

int main(int argc, char** argv) {
    int minutes = 30;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc)
            minutes = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else {
            std::fprintf(stderr, "usage: %s [--minutes N (at least 2)] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    if (minutes < 2) {
        std::fprintf(stderr, "lantor-soak: --minutes must be at least 2\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    // Forks: before any thread exists.
    DemoStationOptions options = TestStationOptions(kSongSeconds);
    StationProcess station(options);
    if (!station.Running()) {
        std::fprintf(stderr, "lantor-soak: the station did not start\n");
        return 1;
    }
    QApplication app(argc, argv);
    ProgramUnderTest program(station.BaseUrl());
    CMainDlg& dlg = program.Open();
    TickGapProbe probe;
    probe.Start();

    Run run{std::mt19937(seed)};
    const auto faultChoices = FaultChoices();
    const qint64 totalMs = static_cast<qint64>(minutes) * 60000;
    QElapsedTimer clock;
    clock.start();
    std::vector<Figures> samples;
    std::vector<std::string> failures;
    qint64 nextSample = 0, nextCacheCheck = kCacheCheckMs;
    qint64 nextAction = run.Between(kMinActionGapMs, kMaxActionGapMs);
    qint64 faultEnds = -1, resumeAt = -1;
    int actions[7] = {};
    int faults = 0, maxCacheFiles = 0, maxTemporary = 0;
    std::vector<std::string> strays;
    // Playback: songs that got under way, and the longest silence while no fault was on and
    // playback not paused, counted from the last fault's end at the earliest.
    int songStarts = 0;
    ProgramUnderTest::Position last;
    qint64 lastProgress = 0, calmFrom = 0, longestSilence = 0;

    auto observe = [&] {
        const qint64 now = clock.elapsed();
        const auto p = program.Now();
        const bool otherSong = p.index != last.index || p.sid != last.sid;
        if (p.state == CAudioPlayer::Playing && (otherSong || p.seconds != last.seconds)) {
            if (otherSong && p.seconds > kPlayedSeconds)
                ++songStarts;
            if (!otherSong || p.seconds > kPlayedSeconds) {
                last = p;
                lastProgress = now;
            }
        }
        if (calmFrom >= 0)
            longestSilence = std::max(longestSilence, now - std::max(lastProgress, calmFrom));
        if (now >= nextSample) {
            samples.push_back(Measure(now));
            nextSample += kSampleMs;
            if (samples.size() % 60 == 0) {
                const Figures& f = samples.back();
                std::printf("minute %zu: rss %.1f MB, threads %d, open files %d, %d songs "
                            "started\n",
                            samples.size() / 60, f.rssKb / 1024.0, f.threads, f.fds, songStarts);
                std::fflush(stdout);
            }
        }
        if (now >= nextCacheCheck) {
            const CacheState cache = LookAtCache(program);
            maxCacheFiles = std::max(maxCacheFiles, cache.files);
            maxTemporary = std::max(maxTemporary, cache.temporary);
            strays.insert(strays.end(), cache.strays.begin(), cache.strays.end());
            nextCacheCheck += kCacheCheckMs;
        }
    };

    // The random part: commands and faults until the quiet end.
    while (clock.elapsed() < totalMs - kQuietMs) {
        ProgramUnderTest::Pump(10);
        observe();
        const qint64 now = clock.elapsed();
        if (faultEnds >= 0 && now >= faultEnds) {
            station.ClearFault();
            faultEnds = -1;
        }
        if (resumeAt >= 0 && now >= resumeAt) {
            dlg.OnPlay();
            resumeAt = -1;
        }
        if (calmFrom < 0 && faultEnds < 0 && resumeAt < 0)
            calmFrom = now;
        if (now < nextAction)
            continue;
        nextAction = now + run.Between(kMinActionGapMs, kMaxActionGapMs);
        const int action = run.Between(0, 6);
        ++actions[action];
        switch (action) {
        case 0: {
            const auto& channels = DemoCatalog::Channels();
            dlg.SwitchChannel(
                channels[run.Between(0, static_cast<int>(channels.size()) - 1)].channel_id);
            break;
        }
        case 1:
            dlg.OnLike();
            break;
        case 2:
            dlg.OnNext();
            break;
        case 3:
            dlg.OnPrevious();
            break;
        case 4:
            if (resumeAt < 0) {
                dlg.OnPause();
                resumeAt = now + run.Between(500, 3000);
                calmFrom = -1;
            }
            break;
        case 5:
            dlg.OnChannelButton();
            break;
        case 6:
            if (faultEnds < 0) {
                const auto& [mode, paths] =
                    faultChoices[run.Between(0, static_cast<int>(faultChoices.size()) - 1)];
                station.SetFault(mode, paths);
                faultEnds = now + run.Between(2000, 8000);
                calmFrom = -1;
                ++faults;
            }
            break;
        }
    }

    // The quiet end: every fault off, playing again.
    station.ClearFault();
    dlg.OnPlay();
    const qint64 quietFrom = clock.elapsed();
    if (calmFrom < 0)
        calmFrom = quietFrom;
    while (clock.elapsed() < totalMs) {
        ProgramUnderTest::Pump(10);
        observe();
    }
    probe.Stop();
    const CacheState cacheAtEnd = LookAtCache(program);
    strays.insert(strays.end(), cacheAtEnd.strays.begin(), cacheAtEnd.strays.end());
    const std::string describeAtEnd = program.Describe();
    program.Close();
    const auto leftAfterClose = program.CacheFiles();

    // Figures.
    std::vector<Figures> baseline, end;
    int maxThreads = 0;
    for (const Figures& f : samples) {
        maxThreads = std::max(maxThreads, f.threads);
        if (f.atMs >= kBaselineMs - kBaselineWindowMs / 2 &&
            f.atMs <= kBaselineMs + kBaselineWindowMs / 2)
            baseline.push_back(f);
        if (f.atMs >= quietFrom)
            end.push_back(f);
    }
    auto rss = [](const Figures& f) { return f.rssKb; };
    auto fds = [](const Figures& f) { return static_cast<long>(f.fds); };
    auto threads = [](const Figures& f) { return static_cast<long>(f.threads); };
    const long rss1 = Median(baseline, rss), rssEnd = Median(end, rss);
    const long fds1 = Median(baseline, fds), fdsEnd = Median(end, fds);
    long fdsMax1 = 0;
    for (const Figures& f : baseline)
        fdsMax1 = std::max<long>(fdsMax1, f.fds);
    const double growth = rss1 > 0 ? static_cast<double>(rssEnd - rss1) / rss1 : 0;

    if (growth > kMaxRssGrowth)
        failures.push_back("resident memory grew by more than 10%");
    if (maxThreads > kMaxThreads)
        failures.push_back("too many threads");
    if (fdsEnd > fdsMax1)
        failures.push_back("open files grew");
    if (!strays.empty())
        failures.push_back("Temp/ held files of songs never queued, e.g. " + strays.front());
    if (maxTemporary > kMaxTemporaryFiles)
        failures.push_back("temporary files piled up in Temp/");
    if (!leftAfterClose.empty())
        failures.push_back("Temp/ not empty after the close, e.g. " +
                           leftAfterClose.begin()->first);
    if (longestSilence > kMaxSilenceMs)
        failures.push_back("playback went silent with no fault on; at the end: " + describeAtEnd);

    std::printf("soak: %d min, seed %u: %d channel switches, %d likes, %d next, %d previous, "
                "%d pauses, %d page switches, %d faults; %d songs started\n",
                minutes, seed, actions[0], actions[1], actions[2], actions[3], actions[4],
                actions[5], faults, songStarts);
    std::printf("soak: resident memory %.1f MB at minute 1, %.1f MB at the end (%+.1f%%, at most "
                "%+.0f%%)\n",
                rss1 / 1024.0, rssEnd / 1024.0, growth * 100, kMaxRssGrowth * 100);
    std::printf("soak: threads %ld at minute 1, %ld at the end, at most %d (bound %d)\n",
                Median(baseline, threads), Median(end, threads), maxThreads, kMaxThreads);
    std::printf("soak: open files %ld at minute 1 (up to %ld), %ld at the end\n", fds1, fdsMax1,
                fdsEnd);
    std::printf("soak: Temp/ at most %d cache files and %d temporary ones; %d and %d at the end, "
                "%zu after the close\n",
                maxCacheFiles, maxTemporary, cacheAtEnd.files, cacheAtEnd.temporary,
                leftAfterClose.size());
    std::printf("soak: longest silence with no fault on and not paused %.1f s (at most %.0f s)\n",
                longestSilence / 1000.0, kMaxSilenceMs / 1000.0);
    std::printf("soak: longest gap of the window's 50 ms timer %lld ms (%lld ms without waits "
                "for a CPU)\n",
                static_cast<long long>(probe.LongestGapMs()),
                static_cast<long long>(probe.LongestHeldMs()));
    for (const std::string& f : failures)
        std::printf("soak: FAILED: %s\n", f.c_str());
    std::printf("soak: %s\n", failures.empty() ? "passed" : "failed");
    return failures.empty() ? 0 : 1;
}
