// The music cache end to end: the player, the prefetch and the song list against the demo
// station. A file in Temp/Music is only ever a complete copy of what the station serves, and a
// song that was played keeps status 3.
#include "playback/CAudioPlayer.h"
#include "service/CachePath.h"
#include "service/RadioClient.h"
#include "service/SongList.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tests/support/WaitUntil.h"
#include "tools/DemoStation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kSongSeconds = 3.0;
constexpr auto kLong = 20s;

DemoStationOptions StationOptions() {
    DemoStationOptions o = TestStationOptions(kSongSeconds);
    o.checkToken = false;
    // A trickled 3-second song (48 KB) takes about 2.4 s to download.
    o.trickleBytes = 2048;
    o.trickleIntervalMs = 100;
    return o;
}

class MediaCacheTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("SDL_AUDIODRIVER", "dummy", 0); }

    MediaCacheTest() {
        dir.MakeCacheFolders();
        dir.WriteFile("config.ini", "[AppSet]\r\nvolume=40\r\n");
    }
    void SetUp() override {
        ASSERT_TRUE(station.Start(0));
        client = std::make_unique<RadioClient>(&window, "u", "t", "e", songs, station.BaseUrl());
        player = std::make_unique<CAudioPlayer>(&window, songs);
    }
    void TearDown() override {
        player->Shutdown();
        client->Shutdown();
    }

    int ChannelId(int n) const {
        return DemoCatalog::Channels()[static_cast<size_t>(n)].channel_id;
    }

    // Waits for the n-th song start, noting the furthest position each index reached.
    bool WaitForStarts(int n) {
        return WaitUntil(
            [&] {
                NowPlayingInfo now;
                player->GetNowPlaying(now);
                reached[now.index] = std::max(reached[now.index], now.position);
                return window.Count(EventRecorder::kSongStarting) >= n;
            },
            kLong);
    }
    // The cache file is byte for byte what the station serves.
    bool CachedWhole(const std::string& sid) const {
        return dir.ReadFile("Temp/Music/" + sid + ".mp3") == station.Media(sid)->mp3;
    }
    size_t Streams(const std::string& sid) const {
        return station.RequestsTo("/music/" + sid + ".mp3").size();
    }
    int TempFilesAfterStop() {
        player->Stop();
        EXPECT_TRUE(WaitUntil([&] { return !player->IsThreadRunning(); }, kLong));
        int n = 0;
        for (const auto& entry : fs::directory_iterator("Temp/Music"))
            n += IsCacheTempName(entry.path().filename().string(), ".mp3");
        return n;
    }

    TempDir dir{true};
    DemoStation station{StationOptions()};
    SongList songs;
    EventRecorder window;
    std::unique_ptr<RadioClient> client;
    std::unique_ptr<CAudioPlayer> player;
    std::map<int, float> reached;
};

TEST_F(MediaCacheTest, ASongLeftMidStreamLeavesNoFileAndStreamsAgainWhenReplayed) {
    client->SetChannel(ChannelId(0));
    ASSERT_TRUE(window.WaitFor(EventRecorder::kPlaylist, 1, kLong));
    ASSERT_GE(songs.Count(), 2);
    const std::string sid = songs.At(0).sid;
    station.SetFault(StationFault::Trickle, "/music/", 1);
    player->Start();
    ASSERT_TRUE(WaitForStarts(1));
    ASSERT_TRUE(WaitUntil([&] { return player->GetPosition() > 0.3f; }, kLong));
    player->Next(); // while the trickled download is still running
    ASSERT_TRUE(WaitForStarts(2));
    EXPECT_FALSE(fs::exists("Temp/Music/" + sid + ".mp3"));
    EXPECT_EQ(songs.At(0).status, 3);
    EXPECT_NE(client->History().find(sid + ":p"), std::string::npos);

    player->PlayIndex(0);
    ASSERT_TRUE(WaitForStarts(3));
    reached.erase(0);
    ASSERT_TRUE(WaitForStarts(4)); // song 0 played through, song 1 follows
    EXPECT_EQ(Streams(sid), 2u);   // not opened from a cut file
    EXPECT_GE(reached[0], kSongSeconds - 0.1);
    EXPECT_TRUE(CachedWhole(sid));
    EXPECT_EQ(songs.At(0).status, 3);
    EXPECT_EQ(TempFilesAfterStop(), 0);
}

TEST_F(MediaCacheTest, AMoveToTheSongThePrefetchIsDownloadingPlaysItsFileWithoutFetchingAgain) {
    client->SetChannel(ChannelId(0));
    ASSERT_TRUE(window.WaitFor(EventRecorder::kPlaylist, 1, kLong));
    ASSERT_GE(songs.Count(), 2);
    player->Start();
    ASSERT_TRUE(WaitForStarts(1));
    const std::string sid = songs.At(1).sid;
    station.SetFault(StationFault::Trickle, "/music/" + sid, 1);
    client->StartPrefetch();
    ASSERT_TRUE(station.WaitForRequests("/music/" + sid + ".mp3", 1, kLong));
    player->Next(); // while the trickled download is still running
    ASSERT_TRUE(WaitForStarts(2));
    ASSERT_TRUE(WaitUntil([&] { return player->GetPosition() > 0.3f; }, kLong));
    EXPECT_EQ(Streams(songs.At(0).sid), 1u);
    EXPECT_EQ(Streams(sid), 1u);
    EXPECT_TRUE(CachedWhole(sid));
}

TEST_F(MediaCacheTest, PrefetchAfterAChannelSwitchLeavesThePlayersSongAlone) {
    client->SetChannel(ChannelId(0));
    ASSERT_TRUE(window.WaitFor(EventRecorder::kPlaylist, 1, kLong));
    // A prefetch pass is downloading the old channel's first song when the channel changes.
    station.SetFault(StationFault::Trickle, "/music/", 1);
    client->StartPrefetch();
    ASSERT_TRUE(station.WaitForRequests("/music/" + songs.At(0).sid + ".mp3", 1, kLong));
    // The first fetch lowers its busy flag after its report; a request before that is dropped.
    ASSERT_TRUE(WaitUntil([&] { return !client->FetchBusy(); }, kLong));
    player->Stop();
    songs.Clear();
    client->SetChannel(ChannelId(1));
    ASSERT_TRUE(window.WaitFor(EventRecorder::kPlaylist, 2, kLong));
    const std::string sid = songs.At(0).sid;
    player->Start(); // streams song 0 while the old pass still runs
    ASSERT_TRUE(WaitForStarts(1));
    // The old pass starts over on the new list, past the song being played.
    ASSERT_TRUE(window.WaitFor(EventRecorder::kPrefetchPassDone, 1, kLong));
    EXPECT_EQ(songs.At(0).status, 3);
    ASSERT_TRUE(WaitForStarts(2));
    EXPECT_GE(reached[0], kSongSeconds - 0.1); // played to its end, not cut off
    EXPECT_EQ(Streams(sid), 1u);               // the prefetch never fetched it
    EXPECT_TRUE(CachedWhole(sid));
    EXPECT_EQ(songs.At(0).status, 3);
    for (int i = 1; i < songs.Count(); ++i)
        EXPECT_TRUE(CachedWhole(songs.At(i).sid)) << i;
    EXPECT_EQ(TempFilesAfterStop(), 0);
}

} // namespace
