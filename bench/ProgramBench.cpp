// The whole program's figures, measured on the built LantorFM itself on an X display (scripts/bench
// runs this under Xvfb) against the demo station served from this process: launch to the first
// audio sample (also with 100,000-song playlist replies), resident memory while playing with 500
// songs queued, and CPU share while playing with the window shown; beside a bare Qt 6 window's
// launch and memory and bare libmpg123 decoding paced in real time, all in the same run.
//
// The program runs unchanged, without arguments, in a fresh working folder each time (config.ini
// from the station, the demo account signing in by itself). Its audio goes through SDL's disk
// driver into a FIFO read here: the first non-zero sample read is the first audio it output,
// and the stream of samples shows that it kept playing while it was measured.
#include "bench/BenchReport.h"
#include "settings/AppSettings.h"
#include "tests/support/PlaybackMeasures.h"
#include "tests/support/TempDir.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kLaunchRounds = 5; // counted, after one warm-up launch
constexpr int kQueuedSongs = 500;
constexpr auto kSoundTimeout = 20s;
constexpr auto kSettle = 5s;     // sign-in, first prefetch, cover and lyrics done
constexpr auto kCpuWindow = 20s; // CPU share measured over this much playing
constexpr auto kRssWindow = 3s;  // resident memory: the largest of samples over this time
constexpr int kBytesPerSecond = 44100 * 4;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Reads what a program's audio output writes into a FIFO, on a thread of its own, noting when
// the first non-zero sample arrived and how many non-silent frames came.
class AudioTap {
public:
    explicit AudioTap(fs::path fifo) : path_(std::move(fifo)) {
        if (mkfifo(path_.c_str(), 0600) != 0) {
            std::perror("mkfifo");
            return;
        }
        // Opened before the program starts, so its open for writing does not block.
        fd_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            std::perror("open fifo");
            return;
        }
        reader_ = std::thread([this] { Read(); });
    }
    ~AudioTap() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        if (reader_.joinable())
            reader_.join();
        if (fd_ >= 0)
            close(fd_);
        std::error_code ec;
        fs::remove(path_, ec);
    }
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    const fs::path& Path() const { return path_; }

    std::optional<Clock::time_point> WaitForSound(Clock::duration timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return firstSound_.has_value() || failed_; });
        return firstSound_;
    }
    // Seconds of non-silent audio read so far.
    double SoundSeconds() const {
        std::lock_guard lock(mutex_);
        return static_cast<double>(soundFrames_) * 4 / kBytesPerSecond;
    }

private:
    void Read() {
        std::vector<unsigned char> buffer(1 << 16);
        std::size_t carry = 0; // bytes of an unfinished frame at the front of buffer
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (stop_)
                    return;
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue; // no writer yet, or nothing written
            const ssize_t n = read(fd_, buffer.data() + carry, buffer.size() - carry);
            if (n == 0) {
                // No writer at the moment; the output may be opened again (a new run of the
                // player), and must then find this end still read.
                std::this_thread::sleep_for(20ms);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::perror("read fifo");
                std::lock_guard lock(mutex_);
                failed_ = true;
                changed_.notify_all();
                return;
            }
            if (n < 0)
                continue;
            const auto now = Clock::now();
            const std::size_t bytes = carry + static_cast<std::size_t>(n);
            std::uint64_t sound = 0;
            for (std::size_t i = 0; i + 4 <= bytes; i += 4)
                if (buffer[i] | buffer[i + 1] | buffer[i + 2] | buffer[i + 3])
                    ++sound;
            const std::size_t whole = bytes / 4 * 4;
            carry = bytes - whole;
            std::memmove(buffer.data(), buffer.data() + whole, carry);
            std::lock_guard lock(mutex_);
            soundFrames_ += sound;
            if (sound && !firstSound_) {
                firstSound_ = now;
                changed_.notify_all();
            }
        }
    }

    const fs::path path_;
    int fd_ = -1;
    std::thread reader_;

    mutable std::mutex mutex_;
    std::condition_variable changed_; // with mutex_
    // Guarded by mutex_:
    bool stop_ = false;
    bool failed_ = false;
    std::optional<Clock::time_point> firstSound_;
    std::uint64_t soundFrames_ = 0;
};

// A program started in a folder of its own with extra environment settings; its stdout goes to
// a pipe read with ReadLine, its stderr to a log file.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const fs::path& dir,
                 const std::vector<std::string>& extraEnv, const fs::path& log) {
        // Everything the child needs is made before fork: between fork and exec it only makes
        // async-signal-safe calls (this process runs the station's threads).
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (name.rfind("SDL_", 0) != 0 && name != "QT_QPA_PLATFORM")
                env.push_back(entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string path = program;
        char* argv[] = {path.data(), nullptr};
        const std::string dirText = dir.string();
        const std::string logText = log.string();
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            std::perror("pipe2");
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the bench
            const int err = open(logText.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            if (chdir(dirText.c_str()) != 0 || err < 0 || dup2(out[1], 1) < 0 || dup2(err, 2) < 0)
                _exit(127);
            execve(path.c_str(), argv, envp.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        if (pid_ < 0)
            std::perror("fork");
    }
    ~ChildProcess() {
        Stop();
        if (out_ >= 0)
            close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // The next line of its stdout without the line end; nullopt on time-out or end.
    std::optional<std::string> ReadLine(Clock::duration timeout) {
        const auto until = Clock::now() + timeout;
        for (;;) {
            if (auto end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            pending_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Resident memory in KiB (VmRSS); -1 once it has gone.
    long RssKib() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0)
                return std::strtol(line.c_str() + 6, nullptr, 10);
        return -1;
    }

    // CPU seconds of all its threads so far, user and system; -1 once it has gone.
    double CpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // Fields after the command name, which may hold blanks and ends at the last ')'.
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            return -1;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int k = 3; k <= 15 && fields >> field; ++k)
            if (k == 14 || k == 15) // utime, stime
                ticks += std::strtod(field.c_str(), nullptr);
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    // The largest resident size sampled every 50 ms over the window, in MiB.
    double PeakRssMib(Clock::duration window) const {
        long peak = -1;
        for (const auto until = Clock::now() + window; Clock::now() < until;) {
            peak = std::max(peak, RssKib());
            std::this_thread::sleep_for(50ms);
        }
        return peak < 0 ? -1 : static_cast<double>(peak) / 1024;
    }

    // Asks it to end, as a session ending would, then makes sure; reaps it.
    void Stop() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int k = 0; k < 100; ++k) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

std::string ProgramLogTail(const fs::path& log) {
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

// One run of LantorFM in a fresh working folder against the station.
class ProgramRun {
public:
    ProgramRun(const DemoStation& station, const fs::path& logs, const std::string& name)
        : log_(logs / (name + ".log")) {
        if (!DemoStation::WriteClientFolder(dir_.Path().string(), station.BaseUrl()))
            std::fprintf(stderr, "cannot prepare %s\n", dir_.Path().c_str());
        fs::create_directories(dir_.Path() / "res");
        for (const auto& entry : fs::directory_iterator(fs::path(LANTOR_SOURCE_DIR) / "res"))
            if (entry.path().extension() == ".jpg")
                fs::copy_file(entry.path(), dir_.Path() / "res" / entry.path().filename());
        tap_ = std::make_unique<AudioTap>(dir_.Path() / "audio.fifo");
        started_ = Clock::now();
        program_ = std::make_unique<ChildProcess>(
            LANTOR_PROGRAM, dir_.Path(),
            std::vector<std::string>{"SDL_AUDIODRIVER=disk",
                                     "SDL_DISKAUDIOFILE=" + tap_->Path().string()},
            log_);
    }

    // Launch to the first audio sample in ms; -1 when none came.
    double WaitForSound() {
        auto sound = program_->Started() ? tap_->WaitForSound(kSoundTimeout) : std::nullopt;
        if (!sound) {
            std::fprintf(stderr, "LantorFM played nothing within %lld s; its log:\n%s\n",
                         static_cast<long long>(kSoundTimeout.count()),
                         ProgramLogTail(log_).c_str());
            return -1;
        }
        return Ms(*sound - started_);
    }

    Clock::time_point Started() const { return started_; }
    ChildProcess& Program() { return *program_; }
    AudioTap& Tap() { return *tap_; }

private:
    TempDir dir_;
    fs::path log_;
    std::unique_ptr<AudioTap> tap_;
    Clock::time_point started_;
    std::unique_ptr<ChildProcess> program_;
};

// When each request reached the station, to show where a launch spends its time.
class RequestTimes {
public:
    void Add(const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(Clock::now(), line);
    }
    // Milliseconds from t0 to the first request line after t0 that starts with prefix; -1 if
    // none came.
    double FirstAfter(Clock::time_point t0, const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        for (const auto& [when, line] : lines_)
            if (when >= t0 && line.rfind(prefix, 0) == 0)
                return Ms(when - t0);
        return -1;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, std::string>> lines_; // guarded by mutex_
};

// Songs of a reply the program keeps: rated above 1.0, as its playlist parser wants.
int KeptSongs(const std::vector<int>& pool, int replySize) {
    int kept = 0;
    for (int k = 0; k < replySize; ++k)
        if (DemoCatalog::Songs()[static_cast<std::size_t>(pool[k % pool.size()])].rating_avg > 1.0)
            ++kept;
    return kept;
}

// The reply size that makes the program queue `queued` songs from one reply.
int ReplySizeFor(const std::vector<int>& pool, int queued) {
    int size = queued;
    while (KeptSongs(pool, size) < queued)
        ++size;
    return size;
}

// Launches a bare Qt window: ms to its first paint, -1 when it did not show. With rssMib, also
// its resident memory once shown.
double BareWindowLaunch(const fs::path& logs, double* rssMib = nullptr) {
    TempDir dir;
    const auto t0 = Clock::now();
    ChildProcess window(LANTOR_BARE_WINDOW, dir.Path(), {}, logs / "bare-window.log");
    auto line = window.ReadLine(10s);
    if (!line || *line != "shown") {
        std::fprintf(stderr, "the bare Qt window did not show\n");
        return -1;
    }
    const double ms = Ms(Clock::now() - t0);
    if (rssMib) {
        std::this_thread::sleep_for(1s);
        *rssMib = window.PeakRssMib(kRssWindow);
    }
    return ms;
}

fs::path OwnFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

} // namespace

int main() {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs an X display; scripts/bench runs it under Xvfb\n");
        return 1;
    }
    const fs::path logs = OwnFolder() / "bench-logs" / "program";
    std::error_code ec;
    fs::remove_all(logs, ec);
    fs::create_directories(logs);
    RequestTimes requests;
    DemoStationOptions options;
    options.cacheDir = (OwnFolder() / "station-cache").string();
    options.logLine = [&](const std::string& line) { requests.Add(line); };
    DemoStation station(options);
    if (!station.Start(0)) {
        std::fprintf(stderr, "the demo station did not start\n");
        return 1;
    }
    std::printf("LantorFM: %s\nstation: %s\n", LANTOR_PROGRAM, station.BaseUrl().c_str());

    // Launch: sign-in, playlist, window, first song streamed and decoded, first sample out.
    // The bare window's launches alternate with the program's, so both meet the same load.
    std::vector<double> launches, bareLaunches, signIns, songStarts;
    double bareRss = -1;
    for (int round = 0; round <= kLaunchRounds; ++round) {
        double ms = -1, signIn = -1, song = -1;
        {
            ProgramRun run(station, logs, "launch");
            ms = run.WaitForSound();
            if (ms < 0)
                return 1;
            signIn = requests.FirstAfter(run.Started(), "POST /j/app/login");
            song = requests.FirstAfter(run.Started(), "GET /music/");
            std::printf("launch %d: sign-in request %.1f ms, playlist request %.1f ms, song "
                        "request %.1f ms, first audio sample %.1f ms%s\n",
                        round, signIn,
                        requests.FirstAfter(run.Started(), "GET /j/app/radio/people"), song, ms,
                        round == 0 ? " (warm-up, not counted)" : "");
        }
        const double bareMs = BareWindowLaunch(logs, round == kLaunchRounds ? &bareRss : nullptr);
        std::printf("launch %d: bare Qt 6 window painted after %.1f ms\n", round, bareMs);
        if (round > 0) {
            launches.push_back(ms);
            signIns.push_back(signIn);
            songStarts.push_back(song >= 0 ? ms - song : -1);
            if (bareMs >= 0)
                bareLaunches.push_back(bareMs);
        }
    }
    std::printf("bare Qt 6 window: %.1f MiB resident\n", bareRss);
    ReportFigure({.what = "LantorFM launch → first audio sample, under Xvfb (median of " +
                          std::to_string(kLaunchRounds) + ")",
                  .ours = Median(launches),
                  .unit = "ms",
                  .peer = "bare Qt 6 window, launch → first paint",
                  .peerValue = Median(bareLaunches),
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 200});
    // Where the launch goes: start-up to the first request, and the song's own start.
    ReportFigure({.what = "… of which launch → sign-in request sent (median)",
                  .ours = Median(signIns),
                  .unit = "ms",
                  .peer = "bare Qt 6 window, launch → first paint",
                  .peerValue = Median(bareLaunches)});
    ReportFigure({.what = "… of which song request → first audio sample (median)",
                  .ours = Median(songStarts),
                  .unit = "ms"});

    // The same launch when every playlist reply holds 100,000 songs (the first 500 are kept).
    std::vector<double> hugeLaunches;
    station.SetFault(StationFault::HugeList, "/j/app/radio/people");
    for (int round = 0; round < 3; ++round) {
        ProgramRun run(station, logs, "hugelist");
        const double ms = run.WaitForSound();
        std::printf("launch %d with 100,000-song replies: first audio sample %.1f ms\n", round, ms);
        if (ms >= 0)
            hugeLaunches.push_back(ms);
    }
    station.ClearFault();
    ReportFigure({.what = "LantorFM launch → first audio sample, 100,000-song playlist replies, "
                          "under Xvfb (median of 3)",
                  .ours = hugeLaunches.size() == 3 ? Median(hugeLaunches) : -1,
                  .unit = "ms",
                  .peer = "the same launch, the station's usual replies",
                  .peerValue = Median(launches),
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 3000});

    // CPU share while playing with the window shown, after the start-up work has settled.
    double cpuShare = -1;
    double defaultQueueRss = -1;
    {
        ProgramRun run(station, logs, "cpu");
        if (run.WaitForSound() < 0)
            return 1;
        std::this_thread::sleep_for(kSettle);
        const double cpu0 = run.Program().CpuSeconds();
        const double sound0 = run.Tap().SoundSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(kCpuWindow);
        const double cpu = run.Program().CpuSeconds() - cpu0;
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        const double played = run.Tap().SoundSeconds() - sound0;
        std::printf("CPU: %.3f s in %.1f s while %.1f s of sound came out\n", cpu, seconds, played);
        if (cpu0 >= 0 && played > seconds * 0.5)
            cpuShare = cpu / seconds * 100;
        else
            std::fprintf(stderr, "LantorFM did not keep playing while its CPU was measured\n");
        defaultQueueRss = run.Program().PeakRssMib(kRssWindow);
    }
    std::string song;
    if (const DemoChannel* channel = DemoCatalog::FindChannel(AppSettings::kDefaultChannelId))
        song = DemoCatalog::Songs()[static_cast<std::size_t>(channel->songs.front())].sid;
    TempDir decodeDir;
    decodeDir.WriteFile("song.mp3", station.Media(song) ? station.Media(song)->mp3 : "");
    const double bareDecode =
        PlaybackMeasures::BareDecodeCpuPerSecond((decodeDir.Path() / "song.mp3").string());
    ReportFigure({.what = "LantorFM CPU while playing, window shown, under Xvfb (" +
                          std::to_string(kCpuWindow.count()) + " s)",
                  .ours = cpuShare,
                  .unit = "% of a core",
                  .peer = "bare libmpg123 decode paced in real time",
                  .peerValue = bareDecode * 100,
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 2});
    ReportFigure({.what = "LantorFM resident memory while playing, its own queue, under Xvfb",
                  .ours = defaultQueueRss,
                  .unit = "MiB",
                  .peer = "bare Qt 6 window",
                  .peerValue = bareRss,
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 60});
    station.Stop();

    // Resident memory with 500 songs queued from one reply, once the prefetch has gone through
    // them.
    const DemoChannel* channel = DemoCatalog::FindChannel(AppSettings::kDefaultChannelId);
    if (!channel)
        return 1;
    DemoStationOptions longQueue = options;
    longQueue.playlistSize = ReplySizeFor(channel->songs, kQueuedSongs);
    longQueue.repeatPool = true;
    DemoStation longStation(longQueue);
    if (!longStation.Start(0))
        return 1;
    double queueRss = -1;
    {
        ProgramRun run(longStation, logs, "queue");
        if (run.WaitForSound() < 0)
            return 1;
        auto musicRequests = [&] {
            std::size_t n = 0;
            for (const StationRequest& r : longStation.Requests())
                n += r.path.rfind("/music/", 0) == 0;
            return n;
        };
        std::size_t seen = 0;
        auto quietSince = Clock::now();
        for (const auto until = Clock::now() + 180s; Clock::now() < until;) {
            std::this_thread::sleep_for(250ms);
            const std::size_t n = musicRequests();
            if (n != seen) {
                seen = n;
                quietSince = Clock::now();
            } else if (Clock::now() - quietSince > 3s) {
                break;
            }
        }
        const double sound0 = run.Tap().SoundSeconds();
        queueRss = run.Program().PeakRssMib(kRssWindow);
        const double played = run.Tap().SoundSeconds() - sound0;
        int replies = 0;
        bool sameChannel = true;
        for (const StationRequest& r : longStation.RequestsTo("/j/app/radio/people")) {
            if (r.Param("type") != "n")
                continue;
            ++replies;
            sameChannel =
                sameChannel && r.Param("channel") == std::to_string(AppSettings::kDefaultChannelId);
        }
        std::printf("queue: %zu song downloads, %d playlist replies of %d songs, %.1f s of sound "
                    "while measured\n",
                    seen, replies, longQueue.playlistSize, played);
        if (replies != 1 || !sameChannel || played < 1) {
            std::fprintf(stderr, "LantorFM did not play with %d songs queued\n", kQueuedSongs);
            queueRss = -1;
        }
    }
    ReportFigure({.what = "LantorFM resident memory while playing, " +
                          std::to_string(kQueuedSongs) + " songs queued, under Xvfb",
                  .ours = queueRss,
                  .unit = "MiB",
                  .peer = "bare Qt 6 window",
                  .peerValue = bareRss,
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 60});
    return cpuShare < 0 || queueRss < 0 || defaultQueueRss < 0 ? 1 : 0;
}
