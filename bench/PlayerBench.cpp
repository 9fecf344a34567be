// Player costs: CPU time per second of playback through CAudioPlayer (play thread with its
// 200 ms poll, decode, output, and the window's 20 Hz spectrum and 2 Hz position reads) beside
// bare libmpg123 decoding paced in real time, and the time from Start() to the first sample
// output for a song streamed from a loopback URL. Prints figures; asserts nothing.
#include "bench/BenchReport.h"
#include "playback/CAudioPlayer.h"
#include "service/SongList.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/PlaybackMeasures.h"
#include "tests/support/TempDir.h"
#include "tools/LoopbackServer.h"
#include "tools/MediaGenerator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kPlaySeconds = 10.0;
constexpr int kLatencyRounds = 15;

volatile float gSink = 0; // keeps the window's reads from being optimised away

using PlaybackMeasures::BareDecodeCpuPerSecond;
using PlaybackMeasures::PrintLatency;
using PlaybackMeasures::ProcessCpuSeconds;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Fixture() {
    std::vector<MediaGenerator::Tone> tones;
    for (int i = 0; i < static_cast<int>(kPlaySeconds); ++i)
        tones.push_back({220.0 * (1 + i % 4), 1.0, 0.4});
    return MediaGenerator::MakeToneMp3(tones);
}

std::unique_ptr<CAudioPlayer> MakePlayer(EventRecorder& window, SongList& songs) {
    return std::make_unique<CAudioPlayer>(&window, songs);
}

void AddSong(SongList& songs, const std::string& sid, const std::string& url, int status) {
    songs.AppendFromReply(R"({"song":[{"title":"t","artist":"a","rating_avg":4.5,"sid":")" + sid +
                              R"(","aid":"1","url":")" + url + R"("}]})",
                          nullptr);
    songs.SetStatus(songs.Count() - 1, status);
}

// The song from the music cache, played to its end while the main thread acts as the window's
// timers do.
double PlayerCpuPerSecond() {
    SongList songs;
    EventRecorder window;
    AddSong(songs, "bench", "", 2);
    auto player = MakePlayer(window, songs);
    player->Start();
    if (!window.WaitFor(EventRecorder::kSongStarting, 1, 5s))
        return -1;
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    auto next = t0;
    for (int tick = 0; window.Count(EventRecorder::kEndOfList) == 0; ++tick) {
        next += 50ms;
        std::this_thread::sleep_until(next);
        if (player->RefreshSpectrum())
            gSink = player->GetSpectrumData()[0];
        if (tick % 10 == 0)
            gSink = player->GetPosition() + player->GetDuration();
        if (Clock::now() - t0 > std::chrono::duration<double>(kPlaySeconds + 5))
            return -1;
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double played = std::chrono::duration<double>(Clock::now() - t0).count();
    player->Shutdown();
    return cpu / played;
}

struct Latency {
    double announcedMs; // Start -> EventRecorder::kSongStarting
    double soundMs;     // Start -> first sample output
};

// A fresh player per round, so each Start also opens the output device.
std::vector<Latency> UrlLatencies(const std::string& mp3) {
    LoopbackServer server([&](LoopbackServer& s) {
        s.Get("/song.mp3", [&](const httplib::Request&, httplib::Response& res) {
            res.set_content(mp3, "audio/mpeg");
        });
    });
    std::vector<Latency> rounds;
    for (int i = 0; i < kLatencyRounds; ++i) {
        SongList songs;
        EventRecorder window;
        AddSong(songs, "url" + std::to_string(i), server.Url("/song.mp3"), 0);
        auto player = MakePlayer(window, songs);
        // Rounds would otherwise start in step with the output's 23 ms cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * i % 23));
        const auto t0 = Clock::now();
        player->Start();
        double announced = -1;
        // RefreshSpectrum succeeds once the stream has handed samples to the output.
        while (!player->RefreshSpectrum()) {
            if (announced < 0 && window.Count(EventRecorder::kSongStarting) > 0)
                announced = Ms(Clock::now() - t0);
            if (Clock::now() - t0 > 5s)
                return rounds;
            std::this_thread::sleep_for(100us);
        }
        const double sound = Ms(Clock::now() - t0);
        rounds.push_back({announced < 0 ? sound : announced, sound});
        player->Shutdown();
    }
    return rounds;
}

} // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    TempDir dir(true);
    dir.MakeCacheFolders();
    const std::string mp3 = Fixture();
    dir.WriteFile("Temp/Music/bench.mp3", mp3);

    std::printf("CPU per second of playback (%.0f s of 128 kbit/s MP3, %s output):\n", kPlaySeconds,
                std::getenv("SDL_AUDIODRIVER"));
    const double bare = BareDecodeCpuPerSecond("Temp/Music/bench.mp3");
    std::printf("  bare libmpg123, paced in real time    %6.3f ms/s  (%.2f%% of a core)\n",
                bare * 1e3, bare * 100);
    const double ours = PlayerCpuPerSecond();
    std::printf("  CAudioPlayer: poll+decode+output+FFT  %6.3f ms/s  (%.2f%% of a core, "
                "target <= 1%%)\n",
                ours * 1e3, ours * 100);
    ReportFigure({.what = "CAudioPlayer CPU while playing: poll, decode, output, window's reads",
                  .ours = ours * 100,
                  .unit = "% of a core",
                  .peer = "bare libmpg123 decode paced in real time",
                  .peerValue = bare * 100,
                  .target = BenchFigure::Target::kOursAtMost,
                  .limit = 1});

    const std::vector<Latency> rounds = UrlLatencies(mp3);
    if (rounds.empty()) {
        std::printf("loopback URL song failed\n");
        return 1;
    }
    std::vector<double> announced, sound;
    for (const Latency& r : rounds) {
        announced.push_back(r.announcedMs);
        sound.push_back(r.soundMs);
    }
    std::printf("Loopback URL song, fresh player each, %zu rounds:\n", rounds.size());
    PrintLatency("Start -> song announced (104)", announced);
    const double soundMs = PrintLatency("Start -> first sample output", sound);
    ReportFigure({.what = "CAudioPlayer Start → first sample, loopback URL, fresh player "
                          "(median of " +
                          std::to_string(rounds.size()) + ")",
                  .ours = soundMs,
                  .unit = "ms"});
    std::printf("  (includes opening the output device and connecting)\n");
    return ours < 0 || bare < 0 ? 1 : 0;
}
