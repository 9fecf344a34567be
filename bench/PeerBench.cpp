// LantorFM beside other players, measured in one run by one method: the built program, mpv with
// a window, Strawberry and the bare decode (mpg123), each playing the same station song over
// HTTP through one PulseAudio server with a null sink, on a private Xvfb with openbox as the
// window manager. scripts/bench runs it on a private session bus (so the players' desktop
// control works) after scripts/bench-setup has installed the peers.
//
// Per program and round: launch to the first non-silent sample recorded from the sink's monitor
// (the recorder runs only for that, since it makes the server work); then 20 s windows playing
// with the window shown, minimised and paused: CPU as a share of one core over the whole
// process tree, wake-ups as context switches per second summed over all its threads, the
// sound server's and the X server's CPU over the same windows; PSS summed over the tree. After
// each window a short recording checks that it played (or was silent, paused). The programs
// take turns, in a rotated order each round; the medians of the rounds are reported.
//
// Prints one Markdown table, its lines after "peers: ", that scripts/bench puts in
// docs/PERFORMANCE.md; before it, rows of the main table: how soon the audio engine's start, pause
// and seek are heard. LANTOR_BENCH_ROUNDS sets the rounds (default 5; 0: the engine's rows only);
// LANTOR_BENCH_PROGRAMS, a regex, picks the programs measured (default all). Each window's log
// line is followed by the CPU and wake-ups of each of the program's threads.
#include "bench/BenchReport.h"
#include "platform/audio/AudioEngine.h"
#include "settings/AppSettings.h"
#include "tests/support/TempDir.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"
#include "tools/MediaGenerator.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr double kSongSeconds = 150;
constexpr auto kRecorderWarmUp = 2500ms; // the null sink renders ahead up to 2 s when idle
constexpr auto kSoundTimeout = 20s;
constexpr auto kSettle = 6s; // more than the sound server waits before it suspends an idle sink
constexpr auto kWindow = 20s;
constexpr auto kCheck = 1500ms; // recording after a window: did it play?
constexpr const char* kSink = "bench";

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }),
                 values.end());
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A program started in a process group of its own, with this process's environment plus
// extra, output into a log; the whole group is ended with it.
class Child {
public:
    // input, when not empty, is what it reads on its standard input.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
          const fs::path& dir, const fs::path& log, const std::string& input = {}) {
        std::map<std::string, std::string> vars;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            vars[entry.substr(0, entry.find('='))] = entry;
        }
        for (const std::string& entry : extraEnv)
            vars[entry.substr(0, entry.find('='))] = entry;
        std::vector<std::string> env;
        for (auto& [name, entry] : vars)
            if (entry.size() > name.size() + 1) // NAME= alone removes it
                env.push_back(entry);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = argv;
        std::vector<char*> argp;
        for (std::string& a : args)
            argp.push_back(a.data());
        argp.push_back(nullptr);
        const std::string dirText = dir.string();
        const std::string logText = log.string();
        int in[2] = {-1, -1};
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int out = open(logText.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            if (chdir(dirText.c_str()) != 0 || out < 0 || dup2(in[0], 0) < 0 || dup2(out, 1) < 0 ||
                dup2(out, 2) < 0)
                _exit(127);
            execvpe(argp[0], argp.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        if (pid_ > 0) {
            setpgid(pid_, pid_);
            if (!input.empty() && write(in[1], input.data(), input.size()) < 0)
                std::perror("write");
        }
        close(in[1]);
        group_ = pid_;
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    // Exit status once it has ended (-1 before).
    int ExitCode() const { return status_; }
    bool Running() {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            killpg(group_, SIGKILL); // what it started and left behind
            pid_ = -1;
        }
        return pid_ > 0;
    }
    // Waits for it to end by itself; false on time-out.
    bool Wait(Clock::duration timeout) {
        for (const auto until = Clock::now() + timeout; Clock::now() < until;) {
            if (!Running())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // Asks the group to end, as a session ending would, then makes sure.
    void Stop() {
        if (pid_ <= 0)
            return;
        killpg(group_, SIGTERM);
        if (!Wait(5s)) {
            killpg(group_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    pid_t group_ = -1;
    int status_ = -1;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The process and all its descendants.
std::vector<pid_t> Tree(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = ReadText(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        children.emplace(parent, std::stoi(name));
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        auto [from, to] = children.equal_range(tree[i]);
        for (auto it = from; it != to; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

// CPU time (ns, exact) and context switches of a process tree's threads: so far (TreeUsage),
// or over a window (Since), in all and by thread name.
struct Usage {
    struct Thread {
        std::string name;
        double cpuSeconds = 0;
        double switches = 0;
    };
    double cpuSeconds = 0;
    double switches = 0;
    std::map<pid_t, Thread> threads; // by thread id
};

Usage TreeUsage(pid_t root) {
    Usage usage;
    if (root <= 0)
        return usage;
    for (pid_t pid : Tree(root)) {
        std::error_code ec;
        for (const auto& task :
             fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec)) {
            Usage::Thread thread;
            std::istringstream schedstat(ReadText(task.path() / "schedstat"));
            double ns = 0;
            schedstat >> ns;
            thread.cpuSeconds = ns * 1e-9;
            std::istringstream status(ReadText(task.path() / "status"));
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("Name:", 0) == 0)
                    thread.name = line.substr(line.find_first_not_of(" \t", 5));
                if (line.find("ctxt_switches:") != std::string::npos)
                    thread.switches += std::strtod(line.c_str() + line.find(':') + 1, nullptr);
            }
            usage.cpuSeconds += thread.cpuSeconds;
            usage.switches += thread.switches;
            usage.threads[std::stoi(task.path().filename().string())] = thread;
        }
    }
    return usage;
}

// What the threads alive at the end did since before, thread by thread: one that began in the
// window counts from zero, and one that ended in it is missed rather than taken off the others.
Usage Since(const Usage& before, const Usage& after) {
    Usage window;
    for (const auto& [tid, now] : after.threads) {
        Usage::Thread done = now;
        if (auto it = before.threads.find(tid); it != before.threads.end()) {
            done.cpuSeconds -= it->second.cpuSeconds;
            done.switches -= it->second.switches;
        }
        window.cpuSeconds += done.cpuSeconds;
        window.switches += done.switches;
        window.threads[tid] = done;
    }
    return window;
}

// Each thread name's share of a window, the busiest first: "name CPU % wake-ups/s; ...".
std::string ThreadShares(const Usage& window, double seconds) {
    std::map<std::string, std::pair<double, double>> byName;
    for (const auto& [tid, thread] : window.threads) {
        byName[thread.name].first += thread.cpuSeconds;
        byName[thread.name].second += thread.switches;
    }
    std::vector<std::pair<double, std::string>> shares;
    for (const auto& [name, use] : byName) {
        char text[160];
        std::snprintf(text, sizeof text, "%s %.3f %% %.0f/s", name.c_str(),
                      use.first / seconds * 100, use.second / seconds);
        shares.emplace_back(use.first, text);
    }
    std::sort(shares.rbegin(), shares.rend());
    std::string line;
    for (const auto& share : shares)
        line += (line.empty() ? "" : "; ") + share.second;
    return line;
}

double TreePssMib(pid_t root) {
    double kib = 0;
    for (pid_t pid : Tree(root)) {
        std::istringstream rollup(
            ReadText(fs::path("/proc") / std::to_string(pid) / "smaps_rollup"));
        std::string line;
        while (std::getline(rollup, line))
            if (line.rfind("Pss:", 0) == 0)
                kib += std::strtod(line.c_str() + 4, nullptr);
    }
    return kib / 1024;
}

// The sound server every program plays through: a null sink, suspended when nothing plays, on a
// socket of its own.
class SoundServer {
public:
    explicit SoundServer(const fs::path& logs) {
        const fs::path dir = dir_.Path();
        fs::create_directories(dir / "run");
        fs::permissions(dir / "run", fs::perms::owner_all);
        socket_ = (dir / "native").string();
        std::ofstream(dir / "server.pa")
            << "load-module module-null-sink sink_name=" << kSink << " rate=44100 channels=2\n"
            << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_
            << "\nload-module module-suspend-on-idle\nset-default-sink " << kSink << "\n";
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "-F", (dir / "server.pa").string()},
            std::vector<std::string>{"HOME=" + dir.string(),
                                     "XDG_RUNTIME_DIR=" + (dir / "run").string(),
                                     "XDG_CONFIG_HOME=" + (dir / "config").string()},
            dir, logs / "pulseaudio.log");
        for (const auto until = Clock::now() + 10s; Clock::now() < until && !fs::exists(socket_);)
            std::this_thread::sleep_for(50ms);
    }

    bool Ready() const { return fs::exists(socket_); }
    std::string Address() const { return "unix:" + socket_; }
    pid_t Pid() const { return server_->Pid(); }

private:
    TempDir dir_;
    std::string socket_;
    std::unique_ptr<Child> server_;
};

// Records the sink's monitor in 5 ms pieces while it runs: when the first non-silent sample
// came, and how much sound came.
class MonitorRecorder {
public:
    MonitorRecorder() {
        reader_ = std::thread([this] { Read(); });
    }
    ~MonitorRecorder() {
        stop_ = true;
        reader_.join();
    }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool Failed() const { return failed_; }
    std::optional<Clock::time_point> WaitForSound(Clock::time_point after,
                                                  Clock::duration timeout) {
        for (const auto until = Clock::now() + timeout; Clock::now() < until && !failed_;) {
            {
                std::lock_guard lock(mutex_);
                if (firstSound_ && *firstSound_ >= after)
                    return firstSound_;
                firstSound_.reset();
            }
            std::this_thread::sleep_for(2ms);
        }
        return std::nullopt;
    }
    double SoundSeconds() const {
        std::lock_guard lock(mutex_);
        return soundFrames_ / 44100.0;
    }
    // When the sound that played at `after` stopped: the start of the first run of kSilentRun
    // silent frames after it.
    std::optional<Clock::time_point> WaitForSilence(Clock::time_point after,
                                                    Clock::duration timeout) {
        for (const auto until = Clock::now() + timeout; Clock::now() < until && !failed_;) {
            {
                std::lock_guard lock(mutex_);
                if (silentFrames_ >= kSilentRun && lastSound_ && *lastSound_ >= after)
                    return lastSound_;
            }
            std::this_thread::sleep_for(2ms);
        }
        return std::nullopt;
    }

private:
    void Read() {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = 220 * 4;
        int error = 0;
        const std::string monitor = std::string(kSink) + ".monitor";
        pa_simple* in = pa_simple_new(nullptr, "bench recorder", PA_STREAM_RECORD, monitor.c_str(),
                                      "monitor", &spec, nullptr, &attr, &error);
        if (!in) {
            std::fprintf(stderr, "recorder: %s\n", pa_strerror(error));
            failed_ = true;
            return;
        }
        std::vector<int16_t> piece(220 * 2);
        while (!stop_) {
            if (pa_simple_read(in, piece.data(), piece.size() * 2, &error) < 0) {
                std::fprintf(stderr, "recorder: %s\n", pa_strerror(error));
                failed_ = true;
                break;
            }
            const auto now = Clock::now();
            // The time of frame i of the piece just read.
            auto at = [&](size_t i) {
                return now - std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>((220.0 - i) / 44100));
            };
            std::lock_guard lock(mutex_);
            for (size_t i = 0; i < 220; ++i) {
                if (piece[2 * i] || piece[2 * i + 1]) {
                    ++soundFrames_;
                    if (!firstSound_)
                        firstSound_ = at(i);
                    lastSound_ = at(i + 1);
                    silentFrames_ = 0;
                } else {
                    ++silentFrames_;
                }
            }
        }
        pa_simple_free(in);
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::thread reader_;
    mutable std::mutex mutex_;
    static constexpr size_t kSilentRun = 441; // 10 ms: longer than any zero crossing
    // Guarded by mutex_:
    std::optional<Clock::time_point> firstSound_;
    std::optional<Clock::time_point> lastSound_; // after the last non-silent frame
    size_t silentFrames_ = 0;                    // since then
    double soundFrames_ = 0;
};

// A private X server with openbox managing its windows.
class XServer {
public:
    explicit XServer(const fs::path& logs) {
        for (int n = 90; n < 200 && name_.empty(); ++n)
            if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                !fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                name_ = ":" + std::to_string(n);
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", name_, "-screen", "0", "1280x1024x24", "-nolisten",
                                     "tcp"},
            std::vector<std::string>{}, fs::current_path(), logs / "xvfb.log");
        for (const auto until = Clock::now() + 10s; Clock::now() < until && !display_;) {
            std::this_thread::sleep_for(100ms);
            display_ = XOpenDisplay(name_.c_str());
        }
        if (!display_)
            return;
        wm_ = std::make_unique<Child>(std::vector<std::string>{"openbox"},
                                      std::vector<std::string>{"DISPLAY=" + name_},
                                      fs::current_path(), logs / "openbox.log");
        const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
        for (const auto until = Clock::now() + 10s; Clock::now() < until && !managed_;) {
            std::this_thread::sleep_for(100ms);
            managed_ = !Property(DefaultRootWindow(display_), check).empty();
        }
    }
    ~XServer() {
        if (display_)
            XCloseDisplay(display_);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Ready() const { return display_ && managed_; }
    const std::string& Name() const { return name_; }
    pid_t Pid() const { return server_->Pid(); }

    // Iconifies every managed window of the processes; how many.
    int Minimise(const std::vector<pid_t>& pids) {
        const Atom clients = XInternAtom(display_, "_NET_CLIENT_LIST", False);
        const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
        int done = 0;
        for (unsigned long window : Property(DefaultRootWindow(display_), clients)) {
            const auto owner = Property(window, pidAtom);
            if (!owner.empty() &&
                std::find(pids.begin(), pids.end(), static_cast<pid_t>(owner[0])) != pids.end()) {
                XIconifyWindow(display_, window, DefaultScreen(display_));
                ++done;
            }
        }
        XSync(display_, False);
        return done;
    }

private:
    std::vector<unsigned long> Property(unsigned long window, Atom name) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(display_, window, name, 0, 4096, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* items = reinterpret_cast<unsigned long*>(data);
            values.assign(items, items + count);
        }
        if (data)
            XFree(data);
        return values;
    }

    std::string name_;
    std::unique_ptr<Child> server_;
    std::unique_ptr<Child> wm_;
    Display* display_ = nullptr;
    bool managed_ = false;
};

// One program measured: how it starts, whether it has a window and how it is paused.
struct Program {
    std::string name;
    bool windowed = true;
    bool pausable = true;
    // Starts it playing the song, its logs in the folder.
    std::function<std::unique_ptr<Child>(const fs::path& logs)> launch;
    std::function<bool()> pause;
};

// Runs a command to its end; true when it succeeded.
bool Run(const std::vector<std::string>& argv, const fs::path& log) {
    Child child(argv, {}, fs::current_path(), log);
    return child.Wait(10s) && child.ExitCode() == 0;
}

// The session bus has a connection that owns name.
bool OnBus(const std::string& name, const fs::path& logs) {
    const fs::path log = logs / "bus-query.log";
    fs::remove(log);
    return Run({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name},
               log) &&
           ReadText(log).find("boolean true") != std::string::npos;
}

bool PauseOverMpris(const std::string& player, const fs::path& log) {
    return Run({"dbus-send", "--session", "--type=method_call", "--print-reply",
                "--dest=org.mpris.MediaPlayer2." + player, "/org/mpris/MediaPlayer2",
                "org.mpris.MediaPlayer2.Player.Pause"},
               log);
}

bool SendToSocket(const std::string& path, const std::string& text) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool sent = fd >= 0 &&
                      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        std::this_thread::sleep_for(200ms); // its answer; closing at once may drop the command
        close(fd);
    }
    return sent;
}

// Figures of one run of one program; -1 where not measured.
struct Figures {
    double launchMs = -1;
    double cpu[3] = {-1, -1, -1}; // shown, minimised, paused: % of a core
    double wakeups[3] = {-1, -1, -1};
    double server[3] = {-1, -1, -1};  // the sound server's CPU meanwhile
    double display[3] = {-1, -1, -1}; // the X server's
    double pssMib = -1;
};

const char* const kStates[3] = {"playing, window shown", "playing, minimised", "paused"};

class Bench {
public:
    Bench(const SoundServer& server, XServer& screen) : server_(server), screen_(screen) {}

    // One run: launch with the recorder on, then the windows without it.
    Figures Measure(const Program& program, const fs::path& logs, bool launchOnly) {
        Figures f;
        std::unique_ptr<Child> child;
        {
            MonitorRecorder recorder;
            std::this_thread::sleep_for(kRecorderWarmUp);
            const auto t0 = Clock::now();
            child = program.launch(logs);
            const auto sound = recorder.WaitForSound(t0, kSoundTimeout);
            if (!sound) {
                std::fprintf(stderr, "%s played nothing within %lld s\n", program.name.c_str(),
                             static_cast<long long>(kSoundTimeout.count()));
                return f;
            }
            f.launchMs = Ms(*sound - t0);
        }
        if (launchOnly)
            return f;
        for (int state = 0; state < 3; ++state) {
            if (state == 1) {
                if (!program.windowed)
                    continue;
                if (screen_.Minimise(Tree(child->Pid())) == 0) {
                    std::fprintf(stderr, "%s: no window to minimise\n", program.name.c_str());
                    continue;
                }
            }
            if (state == 2 && (!program.pausable || !program.pause())) {
                if (program.pausable)
                    std::fprintf(stderr, "%s did not take the pause\n", program.name.c_str());
                continue;
            }
            std::this_thread::sleep_for(kSettle);
            if (!child->Running()) {
                std::fprintf(stderr, "%s ended early\n", program.name.c_str());
                return f;
            }
            const Usage p0 = TreeUsage(child->Pid());
            const Usage s0 = TreeUsage(server_.Pid());
            const Usage x0 = TreeUsage(screen_.Pid());
            const auto t0 = Clock::now();
            std::this_thread::sleep_for(kWindow);
            const Usage p = Since(p0, TreeUsage(child->Pid()));
            const Usage s = Since(s0, TreeUsage(server_.Pid()));
            const Usage x = Since(x0, TreeUsage(screen_.Pid()));
            const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            if (state == 0)
                f.pssMib = TreePssMib(child->Pid());
            // What came out meanwhile was not recorded: a short recording says whether it
            // still plays (or, paused, is silent).
            double sound = 0;
            {
                MonitorRecorder recorder;
                std::this_thread::sleep_for(kCheck);
                sound = recorder.SoundSeconds();
            }
            const bool asExpected = state == 2 ? sound == 0 : sound > 0.3;
            std::printf("  %s %s: CPU %.3f %%, %.0f wake-ups/s, sound server %.3f %%, X %.3f %%, "
                        "%.2f s of sound after%s\n",
                        program.name.c_str(), kStates[state], p.cpuSeconds / seconds * 100,
                        p.switches / seconds, s.cpuSeconds / seconds * 100,
                        x.cpuSeconds / seconds * 100, sound,
                        asExpected ? "" : " (not as it should be: not counted)");
            std::printf("    threads: %s\n", ThreadShares(p, seconds).c_str());
            if (!asExpected)
                continue;
            f.cpu[state] = p.cpuSeconds / seconds * 100;
            f.wakeups[state] = p.switches / seconds;
            f.server[state] = s.cpuSeconds / seconds * 100;
            f.display[state] = x.cpuSeconds / seconds * 100;
        }
        if (!program.windowed) { // no window to hide: minimised, it plays as it did
            f.cpu[1] = f.cpu[0];
            f.wakeups[1] = f.wakeups[0];
            f.server[1] = f.server[0];
            f.display[1] = f.display[0];
        }
        return f;
    }

private:
    const SoundServer& server_;
    XServer& screen_;
};

// The audio engine on the sound server: how soon a start, a pause, a start after it and a seek
// are heard, from the call to the first sound (or the end of the sound) on the sink's monitor.
struct EngineLatencies {
    std::vector<double> start, pause, resume, seek;
};

EngineLatencies MeasureEngine(const fs::path& dir, int rounds) {
    EngineLatencies ms;
    const std::string path = (dir / "tone-then-silence.mp3").string();
    std::ofstream(path, std::ios::binary)
        << MediaGenerator::MakeToneMp3({{440, 4.0, 0.5}, {0, 4.0, 0}});
    MonitorRecorder recorder;
    std::this_thread::sleep_for(kRecorderWarmUp);
    auto took = [](std::optional<Clock::time_point> when, Clock::time_point t0) {
        return when ? Ms(*when - t0) : -1;
    };
    for (int round = 0; round < rounds; ++round) {
        AudioEngine engine;
        const AudioEngine::Handle h = engine.Init() ? engine.StreamCreateFile(path) : 0;
        if (!h)
            break;
        // Each step at another point of the server's cycle.
        const auto gap = std::chrono::milliseconds(300 + 37 * round);
        std::this_thread::sleep_for(gap);
        auto t0 = Clock::now();
        engine.Start();
        engine.StreamPlay(h, false);
        ms.start.push_back(took(recorder.WaitForSound(t0, 5s), t0));
        std::this_thread::sleep_for(gap);
        t0 = Clock::now();
        engine.Pause();
        ms.pause.push_back(took(recorder.WaitForSilence(t0, 5s), t0));
        std::this_thread::sleep_for(gap);
        t0 = Clock::now();
        engine.Start();
        ms.resume.push_back(took(recorder.WaitForSound(t0, 5s), t0));
        std::this_thread::sleep_for(gap);
        t0 = Clock::now();
        engine.ChannelSetPosition(h, 6 * AudioEngine::kBytesPerSecond); // into the silence
        ms.seek.push_back(took(recorder.WaitForSilence(t0, 5s), t0));
        engine.StreamFree(h);
        engine.Free();
    }
    return ms;
}

fs::path OwnFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// A working folder for LantorFM as scripts/demo makes it: config.ini at the station, the demo
// account signing in by itself, the images.
void PrepareClientFolder(const fs::path& dir, const std::string& baseUrl) {
    fs::remove_all(dir);
    fs::create_directories(dir / "res");
    DemoStation::WriteClientFolder(dir.string(), baseUrl);
    for (const auto& entry : fs::directory_iterator(fs::path(LANTOR_SOURCE_DIR) / "res"))
        if (entry.path().extension() == ".jpg")
            fs::copy_file(entry.path(), dir / "res" / entry.path().filename());
}

// A table cell: ours alone, or the peer's figure with ours divided by it (when it does not
// round to 0).
std::string Cell(double value, double ours, bool isOurs, int decimals) {
    if (value < 0)
        return "—";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string cell = text;
    if (!isOurs && ours >= 0 && std::strtod(text, nullptr) > 0) {
        std::snprintf(text, sizeof text, " (×%.2f)", ours / value);
        cell += text;
    }
    return cell;
}

} // namespace

int main() {
    int rounds = 5;
    if (const char* text = std::getenv("LANTOR_BENCH_ROUNDS"))
        rounds = std::max(0, std::atoi(text));
    const fs::path logs = OwnFolder() / "bench-logs" / "peers";
    std::error_code ec;
    fs::remove_all(logs, ec);
    fs::create_directories(logs);
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        std::fprintf(stderr, "needs a session bus; scripts/bench runs it in dbus-run-session\n");
        return 1;
    }

    DemoStationOptions options;
    options.cacheDir = (OwnFolder() / "station-cache").string();
    options.songSeconds = kSongSeconds;
    DemoStation station(options);
    if (!station.Start(0)) {
        std::fprintf(stderr, "the demo station did not start\n");
        return 1;
    }
    const DemoChannel* channel = DemoCatalog::FindChannel(AppSettings::kDefaultChannelId);
    if (!channel)
        return 1;
    const std::string sid = DemoCatalog::Songs()[static_cast<size_t>(channel->songs.front())].sid;
    const std::string url = station.BaseUrl() + "/music/" + sid + ".mp3";

    SoundServer server(logs);
    XServer screen(logs);
    if (!server.Ready() || !screen.Ready()) {
        std::fprintf(stderr, "the sound server or the X server with openbox did not start\n");
        return 1;
    }
    setenv("PULSE_SERVER", server.Address().c_str(), 1);
    setenv("DISPLAY", screen.Name().c_str(), 1);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("QT_QPA_PLATFORM");
    // Every program finds the same empty settings, kept from round to round as a listener's.
    TempDir home;
    for (const char* sub : {".config", ".local/share", ".cache", "run"})
        fs::create_directories(home.Path() / sub);
    fs::permissions(home.Path() / "run", fs::perms::owner_all);
    setenv("HOME", home.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.Path() / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home.Path() / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home.Path() / ".cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home.Path() / "run").c_str(), 1);
    // A desktop's keyring, unlocked at login, for the programs that keep a password there.
    Child keyring({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"}, {},
                  home.Path(), logs / "keyring.log", "unlock");
    for (const auto until = Clock::now() + 10s;
         Clock::now() < until && !OnBus("org.freedesktop.secrets", logs);)
        std::this_thread::sleep_for(100ms);
    std::printf("song %s (%.0f s) at %s; sound server %s; X %s\n", sid.c_str(), kSongSeconds,
                url.c_str(), server.Address().c_str(), screen.Name().c_str());

    const fs::path clientDir = home.Path() / "lantorfm";
    const std::string mpvSocket = (home.Path() / "mpv.socket").string();
    PrepareClientFolder(clientDir, station.BaseUrl());
    const std::vector<Program> programs = {
        {"LantorFM", true, true,
         [&](const fs::path& log) {
             // Its folder is kept as a listener's, but not the song: it comes over HTTP.
             for (const char* cache : {"Temp/Music", "Temp/Album", "Temp/Lyrics"})
                 for (const auto& file : fs::directory_iterator(clientDir / cache))
                     fs::remove_all(file.path());
             return std::make_unique<Child>(std::vector<std::string>{LANTOR_PROGRAM},
                                            std::vector<std::string>{}, clientDir,
                                            log / "lantorfm.log");
         },
         [&] { return PauseOverMpris("lantorfm", logs / "pause.log"); }},
        {"Strawberry", true, true,
         [&](const fs::path& log) {
             return std::make_unique<Child>(
                 std::vector<std::string>{"strawberry", "--load", url, "--play"},
                 std::vector<std::string>{}, home.Path(), log / "strawberry.log");
         },
         [&] { return PauseOverMpris("strawberry", logs / "pause.log"); }},
        {"mpv with a window", true, true,
         [&](const fs::path& log) {
             return std::make_unique<Child>(
                 std::vector<std::string>{"mpv", "--force-window=yes", "--no-terminal",
                                          "--ao=pulse", "--input-ipc-server=" + mpvSocket, url},
                 std::vector<std::string>{}, home.Path(), log / "mpv.log");
         },
         [&] {
             return SendToSocket(mpvSocket, R"({"command":["set_property","pause",true]})"
                                            "\n");
         }},
        {"bare decode (mpg123)", false, false,
         [&](const fs::path& log) {
             return std::make_unique<Child>(
                 std::vector<std::string>{"mpg123", "-q", "-o", "pulse", url},
                 std::vector<std::string>{}, home.Path(), log / "mpg123.log");
         },
         [] { return false; }},
    };

    const EngineLatencies engine = MeasureEngine(home.Path(), 10);
    const struct {
        const char* what;
        const std::vector<double>& ms;
        BenchFigure::Target target;
        double limit;
    } engineRows[] = {
        {"Start → first sound", engine.start, BenchFigure::Target::kOursBelow, 50},
        {"Pause → silence", engine.pause, BenchFigure::Target::kOursAtMost, 150},
        {"Start after a pause → sound", engine.resume, BenchFigure::Target::kOursBelow, 50},
        {"seek into silence → silence", engine.seek, BenchFigure::Target::kOursAtMost, 150},
    };
    for (const auto& row : engineRows)
        ReportFigure({.what = std::string("Audio engine on the sound server: ") + row.what +
                              ", heard on the sink (median of " + std::to_string(row.ms.size()) +
                              ")",
                      .ours = Median(row.ms),
                      .unit = "ms",
                      .target = row.target,
                      .limit = row.limit});

    if (rounds == 0)
        return 0;

    // LANTOR_BENCH_PROGRAMS, a regex, measures only the programs whose name matches.
    const std::regex only(
        std::getenv("LANTOR_BENCH_PROGRAMS") ? std::getenv("LANTOR_BENCH_PROGRAMS") : ".");
    auto measured = [&](const Program& program) { return std::regex_search(program.name, only); };
    Bench bench(server, screen);
    // Once each, not counted: first runs make their caches and settings.
    for (const Program& program : programs) {
        if (!measured(program))
            continue;
        const Figures warm = bench.Measure(program, logs, true);
        std::printf("warm-up %s: first audio after %.0f ms\n", program.name.c_str(), warm.launchMs);
    }
    std::vector<std::vector<Figures>> runs(programs.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t p = (k + static_cast<size_t>(round)) % programs.size();
            if (!measured(programs[p]))
                continue;
            std::printf("round %d, %s:\n", round + 1, programs[p].name.c_str());
            std::fflush(stdout);
            runs[p].push_back(bench.Measure(programs[p], logs, false));
            std::printf("  launch to first audio %.0f ms\n", runs[p].back().launchMs);
            std::fflush(stdout);
        }
    }

    // Medians per program.
    auto median = [&](size_t p, const std::function<double(const Figures&)>& pick) {
        std::vector<double> values;
        for (const Figures& f : runs[p])
            values.push_back(pick(f));
        return Median(values);
    };
    struct Row {
        std::string what;
        std::function<double(const Figures&)> pick;
        int decimals;
        std::string target;
        // Met, given our median and the peers' (-1 where none); empty: no target.
        std::function<std::string(double ours, const std::vector<double>& all)> met;
    };
    auto verdict = [](bool measured, bool ok) {
        return !measured ? std::string("**failed**") : ok ? std::string("yes") : "**no**";
    };
    const size_t kMpv = 2, kBare = 3;
    std::vector<Row> rows = {
        {"launch to first audio, ms (median)", [](const Figures& f) { return f.launchMs; }, 0,
         "≤ 150 ms",
         [&](double ours, const std::vector<double>&) { return verdict(ours >= 0, ours <= 150); }},
    };
    for (int state = 0; state < 3; ++state) {
        std::string target;
        std::function<std::string(double, const std::vector<double>&)> met;
        if (state == 0) {
            target = "≤ 1.0 %";
            met = [&](double ours, const std::vector<double>&) {
                return verdict(ours >= 0, ours <= 1.0);
            };
        } else if (state == 1) {
            target = "≤ 2 × bare decode";
            met = [&](double ours, const std::vector<double>& all) {
                return verdict(ours >= 0 && all[kBare] > 0, ours <= 2 * all[kBare]);
            };
        } else {
            target = "≤ 0.1 %";
            met = [&](double ours, const std::vector<double>&) {
                return verdict(ours >= 0, ours <= 0.1);
            };
        }
        rows.push_back({std::string("CPU ") + kStates[state] + ", % of a core",
                        [state](const Figures& f) { return f.cpu[state]; }, 2, target, met});
    }
    for (int state = 0; state < 3; ++state) {
        std::string target = state == 1 ? "≤ 150/s" : state == 2 ? "≤ 20/s" : "";
        std::function<std::string(double, const std::vector<double>&)> met;
        if (!target.empty()) {
            const double limit = state == 1 ? 150 : 20;
            met = [&, limit](double ours, const std::vector<double>&) {
                return verdict(ours >= 0, ours <= limit);
            };
        }
        rows.push_back({std::string("wake-ups per second, ") + kStates[state],
                        [state](const Figures& f) { return f.wakeups[state]; }, 0, target, met});
    }
    rows.push_back({"sound server CPU while it plays (window shown), % of a core",
                    [](const Figures& f) { return f.server[0]; }, 2, "≤ 1.5 × mpv's",
                    [&](double ours, const std::vector<double>& all) {
                        return verdict(ours >= 0 && all[kMpv] > 0, ours <= 1.5 * all[kMpv]);
                    }});
    rows.push_back({"sound server CPU while it is paused, % of a core",
                    [](const Figures& f) { return f.server[2]; }, 2, "idle: ≤ mpv's",
                    [&](double ours, const std::vector<double>& all) {
                        // Its CPU counts in whole scheduler ticks: 0.05 % is one in 20 s.
                        return verdict(ours >= 0 && all[kMpv] >= 0,
                                       ours <= std::max(all[kMpv], 0.05));
                    }});
    rows.push_back(
        {"whole machine (program, sound server, X server) playing shown, %",
         [](const Figures& f) { return f.cpu[0] < 0 ? -1 : f.cpu[0] + f.server[0] + f.display[0]; },
         2, "", nullptr});
    rows.push_back(
        {"whole machine paused, %",
         [](const Figures& f) { return f.cpu[2] < 0 ? -1 : f.cpu[2] + f.server[2] + f.display[2]; },
         2, "", nullptr});
    rows.push_back({"memory: PSS over the process tree, MiB",
                    [](const Figures& f) { return f.pssMib; }, 1, "", nullptr});

    std::string header = "| |";
    std::string rule = "|---|";
    for (const Program& program : programs) {
        header += " " + program.name + " |";
        rule += "---|";
    }
    header += " Target | Met |";
    rule += "---|---|";
    std::printf("peers: %s\npeers: %s\n", header.c_str(), rule.c_str());
    bool complete = true;
    for (const Row& row : rows) {
        std::vector<double> all;
        for (size_t p = 0; p < programs.size(); ++p)
            all.push_back(median(p, row.pick));
        std::string line = "| " + row.what + " |";
        for (size_t p = 0; p < programs.size(); ++p)
            line += " " + Cell(all[p], all[0], p == 0, row.decimals) + " |";
        const std::string met = row.met ? row.met(all[0], all) : "—";
        line += " " + (row.target.empty() ? std::string("—") : row.target) + " | " + met + " |";
        std::printf("peers: %s\n", line.c_str());
        complete = complete && all[0] >= 0;
    }
    std::fflush(stdout);
    return complete ? 0 : 1;
}
