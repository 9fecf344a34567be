#include "playback/CAudioPlayer.h"
#include "service/CachePath.h"
#include "service/SongList.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"
#include "tools/LoopbackServer.h"
#include "tools/MediaGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kLong = 10s;

// The media the test server and the cache files hold, made once.
const std::map<std::string, std::string>& Media() {
    static const std::map<std::string, std::string> media = {
        {"short", MediaGenerator::MakeToneMp3({{440, 1.0}})},
        {"two", MediaGenerator::MakeToneMp3({{660, 2.0}})},
        {"k1000", MediaGenerator::MakeToneMp3({{1000, 3.0, 0.8}})},
    };
    return media;
}

using E = EventRecorder;

// Stands in for the lyrics search: found when the song's lyrics file is in the cache.
bool CachedLyricsOnly(const std::string&, const std::string&, const std::string& sid,
                      const std::atomic<bool>*) {
    std::error_code error;
    const auto path = CachePath(kCacheLyrics, sid);
    return path && fs::exists(*path, error);
}

class CAudioPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        Media();
    }

    void SetUp() override {
        dir_.MakeCacheFolders();
        server_.Get(R"(/song/(\w+)\.mp3)", [](const httplib::Request& req, httplib::Response& res) {
            auto it = Media().find(req.matches[1]);
            if (it == Media().end())
                res.status = 404;
            else
                res.set_content(it->second, "audio/mpeg");
        });
        server_.Get(R"(/cover/(\w+)\.jpg)",
                    [](const httplib::Request& req, httplib::Response& res) {
                        res.set_content(CoverBytes(req.matches[1]), "image/jpeg");
                    });
        server_.Get(R"(/slowcover/(\w+)\.jpg)",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        server_.Sleep(1500ms);
                        res.set_content(CoverBytes(req.matches[1]), "image/jpeg");
                    });
        // A song that never ends: the same MP3 over and over.
        server_.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("audio/mpeg", [](size_t, httplib::DataSink& sink) {
                return sink.write(Media().at("short").data(), Media().at("short").size());
            });
        });
        // Headers, then nothing until the server stops.
        server_.Get("/silent", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1'000'000, "audio/mpeg",
                                     [this](size_t, size_t, httplib::DataSink&) {
                                         server_.Sleep(30s);
                                         return false;
                                     });
        });
        server_.Start();
    }

    static std::string CoverBytes(const std::string& sid) { return "cover of " + sid; }

    // Appends a song whose MP3 is served at /song/<media>.mp3 (or at path when given) and whose
    // cover at /<coverRoute>/<sid>.jpg; songs of status 2 or 3 get their music file in the
    // cache. Returns its index.
    int AddSong(const std::string& sid, const std::string& media, int status = 2,
                const std::string& coverRoute = "missing", const std::string& path = {},
                const std::string& utf8Title = {}) {
        const std::string url = path.rfind("http", 0) == 0
                                    ? path
                                    : server_.Url(path.empty() ? "/song/" + media + ".mp3" : path);
        const std::string picture = server_.Url("/" + coverRoute + "/" + sid + ".jpg");
        const std::string title = utf8Title.empty() ? "t" + sid : utf8Title;
        const std::string reply = R"({"song":[{"title":")" + title + R"(","artist":"a)" + sid +
                                  R"(","rating_avg":4.5,"sid":")" + sid + R"(","aid":"9","url":")" +
                                  url + R"(","picture":")" + picture + R"("}]})";
        EXPECT_TRUE(songs_.AppendFromReply(reply, nullptr));
        const int index = songs_.Count() - 1;
        if (status >= 2)
            dir_.WriteFile("Temp/Music/" + sid + ".mp3", Media().at(media));
        songs_.SetStatus(index, status);
        return index;
    }

    CAudioPlayer& MakePlayer(CAudioPlayer::Options options = {},
                             NowPlayingMedia::LyricsLookup lyrics = &CachedLyricsOnly) {
        player_.reset();
        media_ = std::make_unique<NowPlayingMedia>(
            window_, NowPlayingMedia::Options{server_.Base(), server_.Base(), std::move(lyrics)});
        window_.media = media_.get();
        player_ = std::make_unique<CAudioPlayer>(&window_, songs_, std::move(options));
        return *player_;
    }

    bool WaitForStarts(int n, std::chrono::milliseconds timeout = kLong) {
        return window_.WaitFor(E::kSongStarting, n, timeout);
    }
    bool PositionPasses(float seconds) {
        return WaitUntil([&] { return player_->GetPosition() > seconds; }, 3s);
    }
    // Stop, then the thread ends with the state Stopped.
    void ExpectStopEndsThread() {
        player_->Stop();
        EXPECT_EQ(player_->GetPlayState(), CAudioPlayer::Stopped);
        EXPECT_TRUE(WaitUntil([&] { return !player_->IsThreadRunning(); }, kLong));
        EXPECT_EQ(player_->GetPlayState(), CAudioPlayer::Stopped);
    }

    TempDir dir_{true};
    LoopbackServer server_;
    SongList songs_{0ms}; // every failed download counts
    EventRecorder window_;
    std::unique_ptr<NowPlayingMedia> media_;
    std::unique_ptr<CAudioPlayer> player_;
};

TEST_F(CAudioPlayerTest, PlaysTheListInOrderWithCoversAndLyricsThenWaitsForMore) {
    AddSong("s0", "short", 2, "cover");
    AddSong("s1", "short", 2, "cover");
    AddSong("s2", "short", 2); // its cover fails
    dir_.WriteFile("Temp/Album/s1.jpg", "cached cover");
    dir_.WriteFile("Temp/Lyrics/s1.lrc", "[00:00.00]la");
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 1, 2}));
    const auto started = window_.Events(E::kSongStarting);
    EXPECT_EQ(started[1].song.displayName, "as1 - ts1");
    EXPECT_EQ(started[1].song.sid, "s1");
    EXPECT_EQ(started[1].song.musicPath, "Temp/Music/s1.mp3");
    EXPECT_EQ(window_.Events(E::kEndOfList)[0].song.index, 2);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(songs_.At(i).status, 3) << i;
    NowPlayingInfo now;
    player.GetNowPlaying(now);
    EXPECT_EQ(now.sid, "s2");
    EXPECT_NEAR(now.duration, 1.0f, 0.01f);
    EXPECT_NEAR(now.position, 1.0f, 0.05f); // the last poll came within an output period

    // Covers: downloaded (s0), found in the cache (s1), none when the download fails (s2).
    EXPECT_EQ(window_.Indexes(E::kCoverReady), (std::vector<int>{0, 1}));
    EXPECT_EQ(dir_.ReadFile("Temp/Album/s0.jpg"), CoverBytes("s0"));
    EXPECT_EQ(dir_.ReadFile("Temp/Album/s1.jpg"), "cached cover");
    EXPECT_FALSE(fs::exists("Temp/Album/s2.jpg"));
    // Lyrics: every lookup begins; only s1's is found.
    EXPECT_EQ(window_.Indexes(E::kLyricsBegun), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(window_.Indexes(E::kLyricsFound), (std::vector<int>{1}));

    // It waits for the list to grow, then goes on with the new song.
    EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Playing);
    AddSong("s3", "short");
    ASSERT_TRUE(WaitForStarts(4));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 1, 2, 3}));
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, LongDisplayNameIsCutBetweenCharacters) {
    std::string title;
    for (int i = 0; i < 60; ++i)
        title += "\xE4\xBD\xA0"; // U+4F60, two bytes in GBK
    AddSong("s0", "short", 2, "missing", {}, title);
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    const std::string name = window_.Events(E::kSongStarting)[0].song.displayName;
    // "as0 - " and 56 whole characters: 118 bytes, as the 57th would need 120.
    EXPECT_EQ(name.size(), 118u);
    EXPECT_EQ(name.substr(0, 6), "as0 - ");
    EXPECT_EQ(name.substr(name.size() - 2), "\xC4\xE3");
    EXPECT_EQ(window_.Events(E::kSongStarting)[0].song.title.size(), 120u); // kept whole
}

TEST_F(CAudioPlayerTest, StartRightAfterStopReusesTheEndingThread) {
    AddSong("s0", "two");
    AddSong("s1", "two");
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    player.Next();
    ASSERT_TRUE(WaitForStarts(2));
    player.Stop();
    player.Start(); // the stopped thread has likely not ended yet
    EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Playing);
    ASSERT_TRUE(WaitForStarts(3));
    // From the first song again, on one thread: no second run announces songs beside it.
    player.Next();
    ASSERT_TRUE(WaitForStarts(4));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_TRUE(player.IsThreadRunning());
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, PreviousAtZeroReplaysItAndNextOrPlayIndexWhilePausedPlaysTheNewSong) {
    for (int i = 0; i < 3; ++i)
        AddSong("s" + std::to_string(i), "two");
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(PositionPasses(0.3f));

    player.Previous();
    ASSERT_TRUE(WaitForStarts(2));
    ASSERT_TRUE(PositionPasses(0.2f));

    struct Case {
        const char* name;
        std::function<void()> command;
        int index;
    };
    const Case cases[] = {
        {"Next", [&] { player.Next(); }, 1},
        {"PlayIndex", [&] { player.PlayIndex(2); }, 2},
    };
    int starts = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        player.Pause();
        ASSERT_TRUE(WaitUntil([&] { return player.GetPlayState() == CAudioPlayer::Paused; }, 2s));
        c.command();
        ASSERT_TRUE(WaitForStarts(++starts));
        EXPECT_EQ(window_.Indexes(E::kSongStarting).back(), c.index);
        EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Playing);
        EXPECT_TRUE(PositionPasses(0.2f));
    }
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 0, 1, 2}));
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, DislikedSongsAreLeftAtOnceAndPassedOverBothWays) {
    for (int i = 0; i < 5; ++i)
        AddSong("s" + std::to_string(i), "k1000");
    CAudioPlayer& player = MakePlayer();
    EXPECT_EQ(player.Dislike(), ""); // nothing prepared yet
    const struct {
        const char* name;
        std::function<void()> action;
        int index; // the song started next; -1: none, the player waits for more
    } steps[] = {
        {"start", [&] { player.Start(); }, 0},
        {"play 1", [&] { player.PlayIndex(1); }, 1},
        {"dislike s1", [&] { EXPECT_EQ(player.Dislike(), "s1"); }, 2},
        {"previous over s1", [&] { player.Previous(); }, 0},
        {"next over s1", [&] { player.Next(); }, 2},
        {"dislike s2", [&] { EXPECT_EQ(player.Dislike(), "s2"); }, 3},
        {"previous over s2 and s1", [&] { player.Previous(); }, 0},
        {"play 4", [&] { player.PlayIndex(4); }, 4},
        {"dislike the last song", [&] { player.Dislike(); }, -1},
        {"a disliked sid again, then a new one",
         [&] {
             AddSong("s1", "k1000");
             AddSong("s5", "k1000");
         },
         6},
    };
    int starts = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.action();
        if (step.index < 0) {
            ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(window_.Count(E::kSongStarting), starts);
            continue;
        }
        ASSERT_TRUE(WaitForStarts(++starts));
        EXPECT_EQ(window_.Indexes(E::kSongStarting).back(), step.index);
    }
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, SpectrumOfA1kHzSinePeaksInItsBinAndPauseClearsItAndHoldsPosition) {
    AddSong("k", "k1000");
    CAudioPlayer& player = MakePlayer();
    EXPECT_TRUE(player.RefreshSpectrum()); // stopped: nothing to fetch, the buffer stands
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(PositionPasses(0.3f));
    ASSERT_TRUE(WaitUntil([&] { return player.RefreshSpectrum(); }, 2s));
    const float* bins = player.GetSpectrumData();
    const auto peak = std::max_element(bins, bins + CAudioPlayer::kSpectrumSize) - bins;
    EXPECT_TRUE(peak == 23 || peak == 24) << peak; // 1000 Hz / (44100 Hz / 1024)
    EXPECT_GT(bins[peak], 0.06f);

    player.Pause();
    ASSERT_TRUE(WaitUntil([&] { return player.GetPlayState() == CAudioPlayer::Paused; }, 2s));
    EXPECT_TRUE(player.RefreshSpectrum());
    EXPECT_TRUE(
        std::all_of(bins, bins + CAudioPlayer::kSpectrumSize, [](float v) { return v == 0.0f; }));
    const float held = player.GetPosition();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(player.GetPosition(), held);

    player.Resume();
    ASSERT_TRUE(WaitUntil([&] { return player.GetPlayState() == CAudioPlayer::Playing; }, 2s));
    EXPECT_TRUE(PositionPasses(held + 0.2f));
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, SeekMovesThePosition) {
    AddSong("k", "k1000");
    CAudioPlayer& player = MakePlayer();
    player.Seek(2.0); // no stream yet: ignored
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(WaitUntil([&] { return player.GetPosition() > 0.0f; }, 2s));
    EXPECT_LT(player.GetPosition(), 1.0f);
    EXPECT_NEAR(player.GetDuration(), 3.0f, 0.01f);
    player.Seek(1.5);
    ASSERT_TRUE(PositionPasses(1.5f));
    EXPECT_LT(player.GetPosition(), 2.6f);

    // Back to a time; a time before the start is the start. The exact position does not wait
    // for the next poll, and holds while paused.
    player.Seek(0.25);
    ASSERT_TRUE(WaitUntil([&] { return player.GetExactPosition() < 1.0; }, 2s));
    EXPECT_GE(player.GetExactPosition(), 0.24);
    player.Seek(-4.0);
    ASSERT_TRUE(WaitUntil([&] { return player.GetExactPosition() < 0.2; }, 2s));
    player.Pause();
    ASSERT_TRUE(WaitUntil([&] { return player.GetPlayState() == CAudioPlayer::Paused; }, 2s));
    const double held = player.GetExactPosition();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(player.GetExactPosition(), held);
    ExpectStopEndsThread();
}

TEST_F(CAudioPlayerTest, StopEndsTheThreadInEveryWaitingStateAndStartBeginsAgain) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::function<bool()> reached; // the state to stop in
    };
    const Case cases[] = {
        {"paused", [&] { AddSong("s0", "two"); },
         [&] {
             if (!WaitForStarts(1) || !PositionPasses(0.1f))
                 return false;
             player_->Pause();
             return WaitUntil([&] { return player_->GetPlayState() == CAudioPlayer::Paused; }, 2s);
         }},
        {"waiting for songs", [] {}, [&] { return window_.WaitFor(E::kEndOfList, 1, kLong); }},
        {"between failed attempts", [&] { AddSong("bad", "nothing", 0); },
         [&] {
             return WaitForStarts(2); // opening it again, or in the gap after
         }},
        {"opening a silent stream", [&] { AddSong("silent", "", 0, "missing", "/silent"); },
         [&] {
             return WaitForStarts(1) && WaitUntil(
                                            [&] {
                                                for (const auto& r : server_.Requests())
                                                    if (r.path == "/silent")
                                                        return true;
                                                return false;
                                            },
                                            kLong);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        songs_.Clear();
        window_.Clear();
        server_.ClearRequests();
        c.setUp();
        CAudioPlayer& player = MakePlayer();
        player.Start();
        ASSERT_TRUE(c.reached());
        ExpectStopEndsThread();
        // A new run starts over from the first song.
        window_.Clear();
        player.Start();
        EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Playing);
        EXPECT_TRUE(player.IsThreadRunning());
        EXPECT_TRUE(WaitUntil(
            [&] { return window_.Count(E::kSongStarting) + window_.Count(E::kEndOfList) > 0; },
            kLong));
        player.Shutdown();
        EXPECT_FALSE(player.IsThreadRunning());
    }
}

TEST_F(CAudioPlayerTest, PlayedSongOpensFromItsCacheFileAtByteZero) {
    AddSong("p", "two", 3);
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(WaitUntil([&] { return player.GetPosition() > 0.0f; }, 2s));
    EXPECT_LT(player.GetPosition(), 0.6f);
    EXPECT_NEAR(player.GetDuration(), 2.0f, 0.01f);
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
    for (const auto& r : server_.Requests())
        EXPECT_NE(r.path, "/song/two.mp3"); // not streamed
    EXPECT_EQ(songs_.At(0).status, 3);
}

TEST_F(CAudioPlayerTest, StreamingSavesWhatTheServerSent) {
    AddSong("u0", "short", 0);
    AddSong("u0", "short", 0); // again: from the file its first play saved
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 1}));
    const auto requests = server_.Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const auto& r) { return r.path == "/song/short.mp3"; }),
              1);
    EXPECT_TRUE(dir_.ReadFile("Temp/Music/u0.mp3") == Media().at("short"));
    EXPECT_EQ(songs_.At(0).status, 3);
    EXPECT_EQ(songs_.At(1).status, 3);
    EXPECT_NEAR(player.GetDuration(), 1.0f, 0.01f);
}

// A song the server answers with an error fails for good after three attempts; one that no
// server answers (the network's fault, not the song's) is tried ten times and skipped for now.
TEST_F(CAudioPlayerTest, FailedAttemptsSkipASong) {
    int closed = 0;
    {
        LoopbackServer gone{[](LoopbackServer&) {}};
        closed = gone.Port();
    }
    AddSong("bad", "nothing", 0, "cover");
    AddSong("away", "short", 0, "missing", "http://127.0.0.1:" + std::to_string(closed) + "/a");
    AddSong("good", "short", 2);
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, 40s));
    std::vector<int> expected = {0, 0, 0};
    expected.insert(expected.end(), 10, 1);
    expected.push_back(2);
    EXPECT_EQ(window_.Indexes(E::kSongStarting), expected);
    EXPECT_TRUE(songs_.Failed("bad"));
    EXPECT_FALSE(songs_.Failed("away"));
    EXPECT_EQ(songs_.At(0).status, 0);
    EXPECT_EQ(songs_.At(2).status, 3);
    EXPECT_FALSE(fs::exists("Temp/Music/bad.mp3")); // a failed stream leaves no file
    // The retries reuse the first attempt's cover and lyrics work.
    EXPECT_EQ(window_.Indexes(E::kLyricsBegun), (std::vector<int>{0, 1, 2}));
    int badCovers = 0;
    for (const auto& r : server_.Requests())
        badCovers += r.path == "/cover/bad.jpg";
    EXPECT_EQ(badCovers, 1);
}

// A stream that grows past its cap fails its song at once, while what came plays on; the song
// is passed over from then on.
TEST_F(CAudioPlayerTest, ASongStreamedPastItsCapIsPassedOver) {
    AddSong("huge", "short", 0, "missing", "/endless");
    AddSong("good", "short", 2);
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitUntil([&] { return songs_.Failed("huge"); }, 120s));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0}));
    player.PlayIndex(0);
    ASSERT_TRUE(WaitForStarts(2));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 1}));
    const auto requests = server_.Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const auto& r) { return r.path == "/endless"; }),
              1);
}

TEST_F(CAudioPlayerTest, CacheFileThatIsNoSongIsDroppedAndTheSongStreamsAgain) {
    AddSong("j", "short", 2);
    // A complete copy of what a server sent with status 200: not every such body is a song.
    dir_.WriteFile("Temp/Music/j.mp3", "<html><body>502 Bad Gateway</body></html>");
    MakePlayer().Start();
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
    EXPECT_EQ(window_.Indexes(E::kSongStarting), (std::vector<int>{0, 0}));
    EXPECT_TRUE(dir_.ReadFile("Temp/Music/j.mp3") == Media().at("short"));
    EXPECT_EQ(songs_.At(0).status, 3);
}

TEST_F(CAudioPlayerTest, BadOutputDeviceSends110AndStopsUntilTheNextStart) {
    AddSong("s0", "short");
    CAudioPlayer::Options options;
    options.device = 99;
    CAudioPlayer& player = MakePlayer(std::move(options));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        player.Start();
        ASSERT_TRUE(window_.WaitFor(E::kDecoderFailure, attempt, kLong));
        EXPECT_TRUE(WaitUntil([&] { return !player.IsThreadRunning(); }, 2s));
        EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Stopped);
    }
    EXPECT_EQ(window_.Count(E::kSongStarting), 0);
}

TEST_F(CAudioPlayerTest, VolumeIsClamped) {
    CAudioPlayer& player = MakePlayer();
    for (auto [given, kept] : {std::pair{-5, 0}, {150, 100}, {70, 70}}) {
        player.SetVolume(given);
        EXPECT_EQ(player.GetVolume(), kept);
    }
}

TEST_F(CAudioPlayerTest, LyricsSearchTakesACachedFileAndAsksTheSitesOtherwise) {
    AddSong("s0", "short");
    AddSong("s1", "short"); // the sites answer 404 for it
    dir_.WriteFile("Temp/Lyrics/s0.lrc", "[00:00.00]la");
    CAudioPlayer& player = MakePlayer({}, {});
    player.Start();
    ASSERT_TRUE(window_.WaitFor(E::kEndOfList, 1, kLong));
    EXPECT_EQ(window_.Indexes(E::kLyricsBegun), (std::vector<int>{0, 1}));
    EXPECT_EQ(window_.Indexes(E::kLyricsFound), (std::vector<int>{0}));
    std::vector<std::string> asked;
    for (const auto& r : server_.Requests())
        if (r.path == "/so.asp" || r.path == "/s/")
            asked.push_back(r.method + " " + r.path);
    EXPECT_EQ(asked, (std::vector<std::string>{"POST /so.asp", "GET /s/"}));
}

TEST_F(CAudioPlayerTest, CoverOfASongAlreadyLeftIsNotReported) {
    AddSong("s0", "two", 2, "slowcover");
    AddSong("s1", "two", 2, "cover");
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    player.Next();
    ASSERT_TRUE(WaitForStarts(2));
    ASSERT_TRUE(window_.WaitFor(E::kCoverReady, 1, kLong));
    ExpectStopEndsThread();
    media_->Shutdown(); // nothing of s0 comes after this
    EXPECT_EQ(window_.Indexes(E::kCoverReady), (std::vector<int>{1}));
}

TEST_F(CAudioPlayerTest, ShutdownEndsEverythingPromptlyEvenWhileAStreamOpens) {
    AddSong("silent", "", 0, "slowcover", "/silent");
    CAudioPlayer& player = MakePlayer();
    player.Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(server_.WaitForRequests(2, kLong)); // the stream and the cover
    auto shutdown = std::async(std::launch::async, [&] {
        player.Shutdown();
        media_->Shutdown();
    });
    // Far below the 15 s a stream creation waits and the cover's stall time-out.
    ASSERT_EQ(shutdown.wait_for(3s), std::future_status::ready);
    EXPECT_FALSE(player.IsThreadRunning());
    EXPECT_EQ(window_.Count(E::kCoverReady), 0);
    player.Start(); // after Shutdown nothing starts again
    EXPECT_FALSE(player.IsThreadRunning());
    EXPECT_EQ(player.GetPlayState(), CAudioPlayer::Stopped);
}

} // namespace
