#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/SpectrumAnalyzer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tests/support/WaitUntil.h"
#include "tools/LoopbackServer.h"
#include "tools/MediaGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <numbers>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int64_t kBytesPerSecond = AudioEngine::kBytesPerSecond;

// Saves into path through a part file beside it.
AudioEngine::SaveFile SaveAs(const std::filesystem::path& path) {
    return {path.string(), path.string() + ".part"};
}

class AudioEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("SDL_AUDIODRIVER", "dummy", 0); }
    void SetUp() override { ASSERT_TRUE(engine_.Init(-1, 44100)); }

    AudioEngine::Handle OpenFile(const std::string& mp3) {
        dir_.WriteFile("song.mp3", mp3);
        return engine_.StreamCreateFile((dir_.Path() / "song.mp3").string());
    }
    int64_t Position(AudioEngine::Handle h) const { return engine_.ChannelGetPosition(h); }

    TempDir dir_;
    AudioEngine engine_;
};

// Streams the demo station's 3 s songs; Trickle sends 4,096 bytes every 100 ms, about 1.2 s a
// song.
class AudioEngineUrlTest : public AudioEngineTest {
protected:
    static DemoStationOptions Options() {
        DemoStationOptions o = TestStationOptions(3);
        o.trickleBytes = 4096;
        o.trickleIntervalMs = 100;
        o.hugeBytes = std::size_t{300} << 20; // announced; more than any song may weigh
        return o;
    }
    void SetUp() override {
        AudioEngineTest::SetUp();
        ASSERT_TRUE(station_.Start());
    }
    std::string Url(const std::string& path = "/music/2800101.mp3") const {
        return station_.BaseUrl() + path;
    }
    const std::string& Song() const { return station_.Media("2800101")->mp3; }

    DemoStation station_{Options()};
    const std::string save_ = (dir_.Path() / "cached.mp3").string();
};

TEST_F(AudioEngineTest, FileStreamPlaysToItsEndThenIsInactive) {
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 0.6}, {660, 0.6}}));
    ASSERT_NE(h, 0u);
    // The Info tag and the scan give the exact length: encoder delay and padding removed.
    const int64_t length = engine_.StreamGetLength(h);
    EXPECT_EQ(length, 2 * 26460 * 4); // 0.6 s is 26,460 frames of 4 bytes
    EXPECT_NEAR(engine_.ChannelBytes2Seconds(h, length), 1.2, 1e-3);
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kStopped); // created, not played

    ASSERT_TRUE(engine_.Start());
    ASSERT_TRUE(engine_.ChannelSetPosition(h, 0));
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(engine_.SetVolume(30));
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kPlaying);
    ASSERT_TRUE(WaitUntil([&] { return engine_.ChannelIsActive(h) == 0; }, 10s));
    EXPECT_EQ(Position(h), length);

    // Played to its end, it plays again only from the start.
    ASSERT_TRUE(engine_.StreamPlay(h, true));
    EXPECT_LT(Position(h), length);
    EXPECT_TRUE(WaitUntil([&] { return Position(h) > 0; }, 2s));
    EXPECT_TRUE(engine_.StreamFree(h));
}

TEST_F(AudioEngineTest, PositionsAreBytesAndSeeksLandWhereAsked) {
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 3.0}}));
    ASSERT_NE(h, 0u);
    const int64_t length = engine_.StreamGetLength(h);
    ASSERT_EQ(length, 3 * kBytesPerSecond);

    EXPECT_TRUE(engine_.ChannelSetPosition(h, 2 * kBytesPerSecond + 3)); // to a whole frame
    EXPECT_EQ(Position(h), 2 * kBytesPerSecond);
    EXPECT_FALSE(engine_.ChannelSetPosition(h, length + 4));
    EXPECT_FALSE(engine_.ChannelSetPosition(h, -4));
    EXPECT_EQ(Position(h), 2 * kBytesPerSecond);

    ASSERT_TRUE(engine_.StreamPlay(h, false));
    int64_t lowest = length;
    ASSERT_TRUE(WaitUntil(
        [&] {
            lowest = std::min(lowest, Position(h));
            return engine_.ChannelIsActive(h) == 0;
        },
        5s));
    EXPECT_GE(lowest, 2 * kBytesPerSecond);
    EXPECT_EQ(Position(h), length);

    // A seek back while playing starts there again.
    ASSERT_TRUE(engine_.ChannelSetPosition(h, kBytesPerSecond));
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > kBytesPerSecond + 8820 * 4; }, 3s));
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kPlaying);
    EXPECT_LT(Position(h), length);
}

TEST_F(AudioEngineTest, PauseHoldsThePositionAndStartResumes) {
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 3.0}}));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > kBytesPerSecond / 5; }, 3s));

    ASSERT_TRUE(engine_.Pause());
    const int64_t paused = Position(h);
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kPaused);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Position(h), paused);

    ASSERT_TRUE(engine_.Start());
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kPlaying);
    EXPECT_TRUE(WaitUntil([&] { return Position(h) > paused; }, 2s));

    // Stop stops the channel where it is; it needs StreamPlay again.
    ASSERT_TRUE(engine_.Stop());
    const int64_t stopped = Position(h);
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kStopped);
    ASSERT_TRUE(engine_.Start());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Position(h), stopped);
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return Position(h) > stopped; }, 2s));
}

TEST_F(AudioEngineUrlTest, UrlStreamStartsBeforeTheDownloadEndsAndSavesWhatWasSent) {
    station_.SetFault(StationFault::Trickle, "/music/");
    AudioEngine::Handle h = engine_.StreamCreateURL(Url(), SaveAs(save_));
    ASSERT_NE(h, 0u);
    // Until the file is in, the length comes from the Content-Length and the bitrate.
    EXPECT_NEAR(static_cast<double>(engine_.StreamGetLength(h)), 3.0 * kBytesPerSecond,
                0.1 * kBytesPerSecond);
    ASSERT_TRUE(engine_.Start());
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > 0; }, 2s));
    EXPECT_FALSE(std::filesystem::exists(save_)); // still coming; only a complete copy goes there

    ASSERT_TRUE(WaitUntil([&] { return engine_.ChannelIsActive(h) == 0; }, 10s));
    EXPECT_EQ(engine_.StreamGetLength(h), 3 * kBytesPerSecond);
    EXPECT_EQ(Position(h), 3 * kBytesPerSecond);
    EXPECT_TRUE(engine_.StreamFree(h));
    EXPECT_TRUE(dir_.ReadFile("cached.mp3") == Song());
    EXPECT_FALSE(std::filesystem::exists(save_ + ".part"));
}

TEST_F(AudioEngineUrlTest, UnfinishedDownloadsLeaveNoFile) {
    struct Case {
        const char* name;
        StationFault fault;
        bool freeAtOnce; // freed while it downloads, as when the player leaves the song
    } cases[] = {
        {"freed mid-download", StationFault::Trickle, true},
        {"broken off by the server", StationFault::DropMidBody, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        station_.SetFault(c.fault, "/music/");
        AudioEngine::Handle h = engine_.StreamCreateURL(Url(), SaveAs(save_));
        ASSERT_NE(h, 0u);
        ASSERT_TRUE(engine_.StreamPlay(h, false));
        ASSERT_TRUE(WaitUntil([&] { return Position(h) > 0; }, 2s));
        if (!c.freeAtOnce) { // it plays what came, then ends
            EXPECT_TRUE(WaitUntil([&] { return engine_.ChannelIsActive(h) == 0; }, 10s));
        }
        EXPECT_TRUE(engine_.StreamFree(h));
        EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
    }
}

TEST_F(AudioEngineUrlTest, PausedUrlStreamKeepsFillingTheCacheFile) {
    station_.SetFault(StationFault::Trickle, "/music/");
    AudioEngine::Handle h = engine_.StreamCreateURL(Url(), SaveAs(save_));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > 0; }, 2s));
    ASSERT_TRUE(engine_.Pause());
    const int64_t paused = Position(h);

    // The decoder holds one second of three; the rest still comes in.
    ASSERT_TRUE(WaitUntil([&] { return dir_.ReadFile("cached.mp3").size() == Song().size(); }, 5s));
    EXPECT_TRUE(dir_.ReadFile("cached.mp3") == Song());
    EXPECT_EQ(Position(h), paused);
    EXPECT_EQ(engine_.ChannelIsActive(h), AudioEngine::kPaused);
    EXPECT_TRUE(WaitUntil([&] { return engine_.StreamGetLength(h) == 3 * kBytesPerSecond; }, 2s));

    // Once it is all in, a seek lands anywhere in it.
    ASSERT_TRUE(engine_.ChannelSetPosition(h, 2 * kBytesPerSecond));
    ASSERT_TRUE(engine_.Start());
    int64_t lowest = 3 * kBytesPerSecond;
    ASSERT_TRUE(WaitUntil(
        [&] {
            lowest = std::min(lowest, Position(h));
            return engine_.ChannelIsActive(h) == 0;
        },
        3s));
    EXPECT_GE(lowest, 2 * kBytesPerSecond);
    EXPECT_EQ(Position(h), 3 * kBytesPerSecond);
}

TEST_F(AudioEngineTest, UrlStreamWithoutLengthOrSavePathPlays) {
    const std::string mp3 = MediaGenerator::MakeToneMp3({{440, 1.0}});
    // Chunked: no Content-Length tells the size.
    LoopbackServer server{[&](LoopbackServer& s) {
        s.Get("/chunked.mp3", [&](const auto&, httplib::Response& res) {
            res.set_chunked_content_provider("audio/mpeg", [&](size_t at, httplib::DataSink& sink) {
                if (at < mp3.size())
                    return sink.write(mp3.data() + at, std::min<size_t>(8192, mp3.size() - at));
                sink.done();
                return true;
            });
        });
    }};
    AudioEngine::Handle h = engine_.StreamCreateURL(server.Url("/chunked.mp3"), {});
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return engine_.ChannelIsActive(h) == 0; }, 5s));
    EXPECT_EQ(engine_.StreamGetLength(h), kBytesPerSecond);
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

TEST_F(AudioEngineUrlTest, FailingSourcesGiveNoStreamAndLeaveNoCacheFile) {
    station_.SetFault(StationFault::HugeBody, "/music/2800102");
    const std::string urls[] = {
        Url("/music/none.mp3"),        // 404
        Url("/"),                      // not an MP3
        Url("/music/2800102.mp3"),     // over the cap of a song
        "http://127.0.0.1:1/song.mp3", // nobody listens
        "file://" + save_,             // only HTTP is streamed
        "",
    };
    for (const std::string& url : urls) {
        EXPECT_EQ(engine_.StreamCreateURL(url, SaveAs(save_)), 0u) << url;
        EXPECT_FALSE(std::filesystem::exists(save_)) << url;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path())); // no part file either
    // The cache folder is missing: nothing could be saved, so nothing is played.
    EXPECT_EQ(engine_.StreamCreateURL(Url(), SaveAs(dir_.Path() / "no/such/folder.mp3")), 0u);

    dir_.WriteFile("text.mp3", "ID3 but not really an MP3 file at all");
    EXPECT_EQ(engine_.StreamCreateFile((dir_.Path() / "text.mp3").string()), 0u);
    EXPECT_EQ(engine_.StreamCreateFile((dir_.Path() / "absent.mp3").string()), 0u);
    EXPECT_EQ(engine_.StreamCreateFile(dir_.Path().string()), 0u);
}

TEST_F(AudioEngineUrlTest, FreeEndsAStreamCreationThatWaitsForASilentServer) {
    station_.SetFault(StationFault::Stall, "/music/");
    auto creation = std::async(std::launch::async,
                               [&] { return engine_.StreamCreateURL(Url(), SaveAs(save_)); });
    EXPECT_EQ(creation.wait_for(300ms), std::future_status::timeout); // still waiting for audio
    engine_.Free();
    ASSERT_EQ(creation.wait_for(3s), std::future_status::ready); // not after kCreateTimeout
    EXPECT_EQ(creation.get(), 0u);
    EXPECT_FALSE(std::filesystem::exists(save_));
}

TEST_F(AudioEngineUrlTest, AbortEndsAStreamCreationAndARaisedFlagRefusesOne) {
    station_.SetFault(StationFault::Stall, "/music/");
    std::atomic<bool> abort{false};
    auto creation = std::async(
        std::launch::async, [&] { return engine_.StreamCreateURL(Url(), SaveAs(save_), &abort); });
    EXPECT_EQ(creation.wait_for(300ms), std::future_status::timeout);
    abort = true;
    engine_.AbortCreations();
    ASSERT_EQ(creation.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(creation.get(), 0u);
    EXPECT_FALSE(std::filesystem::exists(save_));
    // Raised before the call: no wait for the server, and the engine still works afterwards.
    auto refused = std::async(
        std::launch::async, [&] { return engine_.StreamCreateURL(Url(), SaveAs(save_), &abort); });
    ASSERT_EQ(refused.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(refused.get(), 0u);
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 1.0}}));
    EXPECT_NE(h, 0u);
}

TEST_F(AudioEngineTest, BadHandlesAndArgumentsFail) {
    AudioEngine::Handle freed = OpenFile(MediaGenerator::MakeToneMp3({{440, 1.0}}));
    ASSERT_NE(freed, 0u);
    ASSERT_TRUE(engine_.StreamFree(freed));
    float bins[512];
    for (AudioEngine::Handle h : {AudioEngine::Handle{0}, freed, AudioEngine::Handle{4711}}) {
        EXPECT_FALSE(engine_.StreamPlay(h, false));
        EXPECT_FALSE(engine_.ChannelSetPosition(h, 0));
        EXPECT_EQ(engine_.ChannelGetPosition(h), -1);
        EXPECT_EQ(engine_.StreamGetLength(h), -1);
        EXPECT_EQ(engine_.ChannelBytes2Seconds(h, 4), -1.0);
        EXPECT_EQ(engine_.ChannelIsActive(h), 0);
        EXPECT_EQ(engine_.ChannelGetData(h, bins, AudioEngine::kDataFft1024), -1);
        EXPECT_FALSE(engine_.StreamFree(h));
    }
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 1.0}}));
    EXPECT_NE(h, freed); // handles are not reused
    EXPECT_EQ(engine_.ChannelGetData(h, bins, AudioEngine::kDataFft1024), -1); // nothing output
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > 0; }, 2s));
    EXPECT_EQ(engine_.ChannelGetData(h, bins, 0x80000000), -1);
    EXPECT_EQ(engine_.ChannelGetData(h, nullptr, AudioEngine::kDataFft1024), -1);

    for (int volume : {-1, 101})
        EXPECT_FALSE(engine_.SetVolume(volume)) << volume;
    for (int volume : {0, 55, 100}) {
        EXPECT_TRUE(engine_.SetVolume(volume));
        EXPECT_EQ(engine_.GetVolume(), volume);
    }
}

TEST_F(AudioEngineTest, SpectrumOfA1kHzSinePeaksInBin23Or24) {
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{1000, 2.0, 0.5}}));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine_.SetVolume(10)); // the spectrum is taken before the volume
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Position(h) > kBytesPerSecond / 2; }, 3s));
    float bins[512];
    ASSERT_EQ(engine_.ChannelGetData(h, bins, AudioEngine::kDataFft1024), 512);
    const auto peak = std::max_element(bins, bins + 512) - bins;
    EXPECT_TRUE(peak == 23 || peak == 24) << peak;
    EXPECT_GT(bins[peak], 0.06f);
    EXPECT_NEAR(bins[peak], 0.48f, 0.06f); // half of full scale, just off the bin centre
    EXPECT_LT(bins[100], 0.01f);
}

TEST(SpectrumAnalyzer, FullScaleSineReadsOneInItsBin) {
    struct Case {
        size_t bin;
        double amplitude;
    } cases[] = {{40, 1.0}, {40, 0.25}, {200, 1.0}, {3, 0.5}};
    SpectrumAnalyzer analyzer;
    float samples[SpectrumAnalyzer::kSize];
    float bins[SpectrumAnalyzer::kBins];
    for (const Case& c : cases) {
        for (size_t i = 0; i < SpectrumAnalyzer::kSize; ++i)
            samples[i] = static_cast<float>(
                c.amplitude * std::sin(2 * std::numbers::pi * c.bin * i / SpectrumAnalyzer::kSize));
        analyzer.Analyze(samples, bins);
        EXPECT_NEAR(bins[c.bin], c.amplitude, 0.01) << c.bin;
        EXPECT_LT(bins[c.bin + 2], 0.001) << c.bin; // the Hann window's leakage stops there
    }
    std::fill(samples, samples + SpectrumAnalyzer::kSize, 0.0f);
    analyzer.Analyze(samples, bins);
    EXPECT_EQ(*std::max_element(bins, bins + SpectrumAnalyzer::kBins), 0.0f);
}

TEST_F(AudioEngineTest, CallsFromSeveralThreadsWhilePlaying) {
    AudioEngine::Handle h = OpenFile(MediaGenerator::MakeToneMp3({{440, 3.0}}));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine_.StreamPlay(h, false));
    std::atomic<bool> done{false};
    std::atomic<int> spectra{0};
    std::thread ui([&] {
        float bins[512];
        while (!done) {
            if (engine_.ChannelIsActive(h) == AudioEngine::kPlaying &&
                engine_.ChannelGetData(h, bins, AudioEngine::kDataFft1024) == 512)
                ++spectra;
            engine_.ChannelGetPosition(h);
            std::this_thread::sleep_for(2ms);
        }
    });
    for (int i = 0; i < 20; ++i) {
        engine_.Pause();
        engine_.ChannelSetPosition(h, (i % 5) * kBytesPerSecond / 2);
        engine_.Start();
        engine_.SetVolume(i * 5);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(engine_.StreamFree(h));
    std::this_thread::sleep_for(20ms); // the UI thread now asks about a freed handle
    done = true;
    ui.join();
    EXPECT_GT(spectra.load(), 0);
}

// A device pulled by hand, with a buffer that a halt drops unheard: what it pulled, less what it
// dropped, is what was heard.
class TapeOutput : public AudioOutput {
public:
    explicit TapeOutput(size_t buffer) : buffer_(buffer) {}
    bool Open(Source& source) override {
        source_ = &source;
        return true;
    }
    bool LongBuffer() const override { return true; }
    bool Failed() const override { return failed; }
    void Play() override { playing = true; }
    size_t Halt() override {
        const size_t dropped = playing ? std::min(buffer_, sincePlay_) : 0;
        tape.resize(tape.size() - dropped * 2);
        playing = false;
        sincePlay_ = 0;
        ++halts;
        return dropped;
    }
    void Close() override {}
    // Pulls as the device would while it plays; false when nothing came.
    bool Run(size_t frames = 1000) {
        std::vector<int16_t> buffer(frames * 2);
        const size_t got = playing ? source_->Pull(buffer.data(), frames) : 0;
        tape.insert(tape.end(), buffer.begin(), buffer.begin() + static_cast<long>(got * 2));
        sincePlay_ += got;
        return got > 0;
    }

    std::vector<int16_t> tape;
    bool playing = false;
    bool failed = false;
    int halts = 0;

private:
    const size_t buffer_;
    size_t sincePlay_ = 0;
    Source* source_ = nullptr;
};

TEST(AudioEngineOutput, PauseLosesNoSampleAndResumesFromSilence) {
    TempDir dir;
    dir.WriteFile("song.mp3", MediaGenerator::MakeToneMp3({{440, 1.0}}));
    constexpr size_t kLength = 44100;
    constexpr size_t kPauseAt = 20000;
    // The whole song, paused once after kPauseAt frames when the device's unheard buffer is
    // not 0; the output's halts counted into halts.
    auto play = [&](size_t buffer, int& halts) {
        TapeOutput* out = nullptr;
        AudioEngine engine([&](int) {
            auto made = std::make_unique<TapeOutput>(buffer);
            out = made.get();
            return made;
        });
        EXPECT_TRUE(engine.Init(-1, 44100));
        AudioEngine::Handle h = engine.StreamCreateFile((dir.Path() / "song.mp3").string());
        EXPECT_TRUE(engine.StreamPlay(h, false));
        while (out->tape.size() < kPauseAt * 2 && out->Run()) {
        }
        if (buffer > 0) {
            EXPECT_TRUE(engine.Pause());
            EXPECT_FALSE(out->Run()); // nothing pulled while paused
            EXPECT_TRUE(engine.Start());
        }
        while (out->Run()) {
        }
        EXPECT_EQ(engine.ChannelIsActive(h), AudioEngine::kStopped);
        EXPECT_TRUE(engine.Stop()); // after its end: its last moments are still heard
        halts = out->halts;
        return out->tape;
    };
    int halts = 0;
    const std::vector<int16_t> whole = play(0, halts);
    ASSERT_GE(whole.size(), kLength * 2);
    EXPECT_EQ(halts, 0);
    for (size_t buffer : {size_t{1}, size_t{1500}, size_t{8000}}) {
        SCOPED_TRACE(buffer);
        const std::vector<int16_t> paused = play(buffer, halts);
        EXPECT_EQ(halts, 1);
        ASSERT_GE(paused.size(), kLength * 2);
        // Sample for sample the same song, but for the fade-in where the sound came back.
        const size_t resumed = (kPauseAt - buffer) * 2;
        EXPECT_EQ(paused[resumed], 0);
        for (size_t i = 0; i < kLength * 2; ++i) {
            if (i >= resumed && i < resumed + AudioEngine::kFadeInFrames * 2)
                ASSERT_LE(std::abs(paused[i]), std::abs(whole[i])) << i;
            else
                ASSERT_EQ(paused[i], whole[i]) << i;
        }
    }
}

TEST(AudioEngineOutput, AFailedDeviceIsOpenedAgainWhenThereIsSomethingToPlay) {
    TempDir dir;
    dir.WriteFile("song.mp3", MediaGenerator::MakeToneMp3({{440, 1.0}}));
    std::vector<TapeOutput*> opened;
    AudioEngine engine([&](int) {
        auto made = std::make_unique<TapeOutput>(0);
        opened.push_back(made.get());
        return made;
    });
    ASSERT_TRUE(engine.Init(-1, 44100));
    AudioEngine::Handle h = engine.StreamCreateFile((dir.Path() / "song.mp3").string());
    ASSERT_TRUE(engine.StreamPlay(h, false));
    ASSERT_EQ(opened.size(), 1u);
    opened[0]->failed = true;
    ASSERT_TRUE(engine.Pause());
    ASSERT_TRUE(engine.Start());
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_TRUE(opened[1]->playing);
    EXPECT_TRUE(opened[1]->Run());
}

TEST(AudioEngineInit, FailsWithoutAUsableDeviceAndPairsWithFree) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    AudioEngine engine;
    EXPECT_FALSE(engine.Init(99, 44100)); // no such device
    EXPECT_FALSE(engine.Init(-1, 48000)); // streams decode to 44.1 kHz only
    EXPECT_EQ(engine.StreamCreateFile("any.mp3"), 0u);
    EXPECT_FALSE(engine.Start());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(engine.Init(-1, 44100)) << round;
        EXPECT_TRUE(engine.Init(-1, 44100)); // already open
        EXPECT_TRUE(engine.Start());
        engine.Free();
        EXPECT_FALSE(engine.Pause());
    }
}

TEST(AudioEngineInitDeathTest, FailsWhenTheAudioDriverIsMissing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            AudioEngine engine;
            std::_Exit(engine.Init(-1, 44100) ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
