// Audio engine costs: CPU time per second of playback (decode, output and a 20 Hz spectrum)
// beside bare libmpg123 decoding paced in real time, and the time from Start to the first
// sample handed to the output for a loopback URL. Prints figures; asserts nothing.
#include "bench/BenchReport.h"
#include "platform/audio/AudioEngine.h"
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
constexpr int kLatencyRounds = 20;

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

// CPU seconds per second of playback through the engine, the spectrum fetched every 50 ms as
// the main window does.
double EngineCpuPerSecond(const std::string& path) {
    AudioEngine engine;
    if (!engine.Init(-1, 44100))
        return -1;
    AudioEngine::Handle h = engine.StreamCreateFile(path);
    if (!h)
        return -1;
    engine.Start();
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    engine.StreamPlay(h, false);
    float bins[512];
    auto next = t0;
    while (engine.ChannelIsActive(h) != AudioEngine::kStopped) {
        next += 50ms;
        std::this_thread::sleep_until(next);
        if (engine.ChannelIsActive(h) == AudioEngine::kPlaying)
            engine.ChannelGetData(h, bins, AudioEngine::kDataFft1024);
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double played = std::chrono::duration<double>(Clock::now() - t0).count();
    engine.StreamFree(h);
    engine.Free();
    return cpu / played;
}

// StreamCreateFile scans every frame header for the exact length: its time for a whole song.
double CreateFileMs(const std::string& path) {
    AudioEngine engine;
    if (!engine.Init(-1, 44100))
        return -1;
    const auto t0 = Clock::now();
    AudioEngine::Handle h = engine.StreamCreateFile(path);
    const double ms = Ms(Clock::now() - t0);
    engine.Free();
    return h ? ms : -1;
}

struct Latency {
    double createMs;
    double startMs;
};

std::vector<Latency> UrlLatencies(const std::string& mp3) {
    LoopbackServer server;
    server.Get("/song.mp3", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(mp3, "audio/mpeg");
    });
    server.Start();
    const std::string url = server.Url("/song.mp3");

    std::vector<Latency> rounds;
    AudioEngine engine;
    if (engine.Init(-1, 44100)) {
        for (int i = 0; i < kLatencyRounds; ++i) {
            engine.Stop();
            // Rounds would otherwise start in step with the output's 23 ms cycle.
            std::this_thread::sleep_for(std::chrono::milliseconds(7 * i % 23));
            const auto t0 = Clock::now();
            AudioEngine::Handle h = engine.StreamCreateURL(url, {});
            const auto t1 = Clock::now();
            if (!h)
                break;
            engine.Start();
            engine.StreamPlay(h, false);
            while (engine.ChannelGetPosition(h) == 0)
                std::this_thread::sleep_for(100us);
            rounds.push_back({Ms(t1 - t0), Ms(Clock::now() - t1)});
            engine.StreamFree(h);
        }
        engine.Free();
    }
    return rounds;
}

} // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    TempDir dir;
    const std::string mp3 = Fixture();
    dir.WriteFile("bench.mp3", mp3);
    const std::string path = (dir.Path() / "bench.mp3").string();

    std::printf("CPU per second of playback (%.0f s of 128 kbit/s MP3, %s output):\n", kPlaySeconds,
                std::getenv("SDL_AUDIODRIVER"));
    const double bare = BareDecodeCpuPerSecond(path);
    std::printf("  bare libmpg123, paced in real time  %6.3f ms/s  (%.2f%% of a core)\n",
                bare * 1e3, bare * 100);
    const double ours = EngineCpuPerSecond(path);
    std::printf("  engine: decode+output+20 Hz FFT     %6.3f ms/s  (%.2f%% of a core, "
                "target <= 1%%)\n",
                ours * 1e3, ours * 100);

    ReportFigure({.what = "Audio engine CPU while playing: decode, output, 20 Hz FFT",
                  .ours = ours * 100,
                  .unit = "% of a core",
                  .peer = "bare libmpg123 decode paced in real time",
                  .peerValue = bare * 100,
                  .target = BenchFigure::Target::kOursAtMost,
                  .limit = 1});

    dir.WriteFile("song.mp3", MediaGenerator::MakeToneMp3({{440, 240.0}}));
    const double createMs = CreateFileMs((dir.Path() / "song.mp3").string());
    std::printf("StreamCreateFile of a 4-minute song (page cache warm): %.2f ms\n", createMs);
    ReportFigure({.what = "Audio engine StreamCreateFile of a 4-minute song (exact length)",
                  .ours = createMs,
                  .unit = "ms"});

    const std::vector<Latency> rounds = UrlLatencies(mp3);
    if (rounds.empty()) {
        std::printf("loopback URL stream failed\n");
        return 1;
    }
    std::vector<double> create, start;
    for (const Latency& r : rounds) {
        create.push_back(r.createMs);
        start.push_back(r.startMs);
    }
    std::printf("Loopback URL, %zu rounds:\n", rounds.size());
    PrintLatency("StreamCreateURL (connect, 1st audio)", create);
    const double startMs = PrintLatency("Start -> first sample output", start);
    std::printf("  (target: Start -> first sample under 50 ms)\n");
    ReportFigure({.what = "Audio engine Start → first sample, loopback URL (median of " +
                          std::to_string(rounds.size()) + ")",
                  .ours = startMs,
                  .unit = "ms",
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 50});
    return ours < 0 || bare < 0 ? 1 : 0;
}
