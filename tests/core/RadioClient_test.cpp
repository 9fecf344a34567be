#include "service/RadioClient.h"
#include "service/SongList.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"
#include "tools/LoopbackServer.h"

#include <gtest/gtest.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;

std::string Song(const std::string& sid, const std::string& base, double rating = 4.5) {
    return "{\"title\":\"t\",\"artist\":\"a\",\"rating_avg\":" + std::to_string(rating) +
           ",\"sid\":\"" + sid + "\",\"aid\":\"a" + sid + "\",\"url\":\"" + base + "/media/" + sid +
           ".mp3\",\"picture\":\"\",\"like\":0}";
}

// A radio service whose playlist answers with the songs the test queues, one reply per request.
class FakeService {
public:
    FakeService() {
        server.Get("/j/app/radio/people", [this](const httplib::Request&, httplib::Response& res) {
            std::string body;
            server.Sleep(std::chrono::milliseconds(delayMs.load()));
            {
                std::lock_guard<std::mutex> guard(lock);
                body = reply;
            }
            res.set_content(body, "application/json");
        });
        server.Get(R"(/media/(\w+)\.mp3)",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       std::string sid = req.matches[1];
                       if (sid.rfind("slow", 0) == 0)
                           server.Sleep(400ms);
                       if (sid.rfind("bad", 0) == 0) {
                           res.status = 500;
                           res.set_content("<html>error</html>", "text/html");
                           return;
                       }
                       res.set_content("ID3-" + sid, "audio/mpeg");
                   });
        server.Start();
    }
    // Handlers read the members below: the server stops before they go.
    ~FakeService() { server.Stop(); }
    void SetSongs(const std::vector<std::string>& sids, double rating = 4.5) {
        std::string text = "{\"song\":[";
        for (size_t i = 0; i < sids.size(); ++i)
            text += (i ? "," : "") + Song(sids[i], server.Base(), rating);
        std::lock_guard<std::mutex> guard(lock);
        reply = text + "]}";
    }
    std::vector<std::string> Targets(const std::string& path) const {
        std::vector<std::string> out;
        for (const auto& r : server.Requests())
            if (r.path.rfind(path, 0) == 0)
                out.push_back(r.target);
        return out;
    }

    LoopbackServer server;
    std::mutex lock;
    std::string reply = "{\"song\":[]}";
    std::atomic<int> delayMs{0};
};

class RadioClientTest : public ::testing::Test {
protected:
    RadioClientTest() : dir(true) { dir.MakeCacheFolders(); }
    std::unique_ptr<RadioClient> MakeClient() {
        return std::make_unique<RadioClient>(&target, "u1", "tok", "exp", songs,
                                             service.server.Base());
    }
    // Fills the list from a reply without going through a client.
    void Queue(const std::vector<std::string>& sids) {
        std::string text = "{\"song\":[";
        for (size_t i = 0; i < sids.size(); ++i)
            text += (i ? "," : "") + Song(sids[i], service.server.Base());
        songs.AppendFromReply(text + "]}");
    }

    TempDir dir;
    FakeService service;
    SongList songs{0ms}; // every failed download counts
    EventRecorder target;
};

TEST_F(RadioClientTest, HistoryNamesTheNewestTwentySongsNewestFirst) {
    auto client = MakeClient();
    EXPECT_EQ(client->BuildHistory(), "");
    Queue({"101", "102", "103"});
    songs.SetStatus(0, 3);
    EXPECT_EQ(client->History(), "103:s|102:s|101:p");
    std::vector<std::string> more;
    for (int i = 0; i < 22; ++i)
        more.push_back(std::to_string(200 + i));
    Queue(more);
    std::string h = client->History();
    EXPECT_EQ(std::count(h.begin(), h.end(), '|'), 19);
    EXPECT_EQ(h.substr(0, 6), "221:s|");
}

TEST_F(RadioClientTest, RequestsCarryTheSignInValuesAndHistoryOnlyWhenSongsAreQueued) {
    auto client = MakeClient();
    service.SetSongs({"1"});
    client->SetChannel(7);
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPlaylist, 1, 5s));
    // The worker reports before it lowers its busy flag; a request before that is dropped.
    for (int i = 0; i < 500 && client->FetchBusy(); ++i)
        std::this_thread::sleep_for(1ms);
    client->RequestMore();
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPlaylist, 2, 5s));
    auto targets = service.Targets("/j/app/radio/people");
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0], "/j/app/radio/people?app_name=radio_desktop_win&version=100&type=n"
                          "&user_id=u1&expire=exp&token=tok&sid=(null)&channel=7");
    EXPECT_EQ(targets[1], "/j/app/radio/people?app_name=radio_desktop_win&version=100&type=n"
                          "&user_id=u1&expire=exp&token=tok&sid=(null)&channel=7&h=1:s");
    EXPECT_EQ(songs.Count(), 2);
}

TEST_F(RadioClientTest, ASecondRequestWhileOneRunsIsDropped) {
    service.delayMs = 300;
    service.SetSongs({"1"});
    auto client = MakeClient();
    client->RequestMore();
    client->RequestMore();
    EXPECT_TRUE(client->FetchBusy());
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPlaylist, 1, 5s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(service.Targets("/j/app/radio/people").size(), 1u);
    for (int i = 0; i < 50 && client->FetchBusy(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(client->FetchBusy());
}

TEST_F(RadioClientTest, LikeAsksWithHistoryThenReportsWithTheSameValues) {
    service.SetSongs({"5"});
    auto client = MakeClient();
    client->SetChannel(3);
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPlaylist, 1, 5s));
    EXPECT_TRUE(client->Like("5", "a5"));
    ASSERT_TRUE(service.server.WaitForRequests(3, 5s));
    auto targets = service.Targets("/j/app/radio/people");
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_EQ(targets[1], "/j/app/radio/people?app_name=radio_desktop_win&version=100&type=n"
                          "&user_id=u1&expire=exp&token=tok&sid=5&channel=3&h=5:s");
    EXPECT_EQ(targets[2], "/j/app/radio/people?app_name=radio_desktop_win&version=100&type=e"
                          "&status=r&user_id=u1&expire=exp&token=tok&sid=5&channel=3");
}

TEST_F(RadioClientTest, PrefetchDownloadsInOrderSkipsPlayedAndResetsFailures) {
    Queue({"11", "12", "bad13", "14", "11"}); // 11 twice: fetched once
    songs.SetStatus(1, 3);
    auto client = MakeClient();
    client->StartPrefetch();
    client->StartPrefetch();
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPrefetchPassDone, 1, 5s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(target.Count(EventRecorder::kPrefetchPassDone), 1);
    EXPECT_EQ(service.Targets("/media/"),
              (std::vector<std::string>{"/media/11.mp3", "/media/bad13.mp3", "/media/14.mp3"}));
    EXPECT_EQ(songs.At(0).status, 2);
    EXPECT_EQ(songs.At(1).status, 3);
    EXPECT_EQ(songs.At(2).status, 0);
    EXPECT_EQ(songs.At(3).status, 2);
    EXPECT_EQ(songs.At(4).status, 2);
    EXPECT_EQ(dir.ReadFile("Temp/Music/14.mp3"), "ID3-14");
    EXPECT_FALSE(std::filesystem::exists("Temp/Music/bad13.mp3"));
    // Its third failed download is its last in this run.
    for (int pass = 2; pass <= 4; ++pass) {
        ASSERT_TRUE(WaitUntil([&] { return !client->PrefetchBusy(); }, 5s));
        client->StartPrefetch();
        ASSERT_TRUE(target.WaitFor(EventRecorder::kPrefetchPassDone, pass, 5s));
    }
    EXPECT_TRUE(songs.Failed("bad13"));
    EXPECT_EQ(service.Targets("/media/bad13").size(), 3u);
}

TEST_F(RadioClientTest, PrefetchOfAnEmptyListSendsNothing) {
    auto client = MakeClient();
    client->StartPrefetch();
    for (int i = 0; i < 100 && client->PrefetchBusy(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(client->PrefetchBusy());
    EXPECT_EQ(target.Count(EventRecorder::kPrefetchPassDone), 0);
}

TEST_F(RadioClientTest, PrefetchStartsAgainFromTheFirstSongAfterAChannelSwitch) {
    Queue({"slow21", "22", "23"});
    service.SetSongs({"31", "32"});
    auto client = MakeClient();
    client->StartPrefetch();
    ASSERT_TRUE(service.server.WaitForRequests(1, 5s)); // the slow song is downloading
    songs.Clear();
    client->SetChannel(9);
    ASSERT_TRUE(target.WaitFor(EventRecorder::kPrefetchPassDone, 1, 5s));
    EXPECT_EQ(service.Targets("/media/"),
              (std::vector<std::string>{"/media/slow21.mp3", "/media/31.mp3", "/media/32.mp3"}));
    EXPECT_EQ(target.Count(EventRecorder::kPrefetchPassDone), 1);
    ASSERT_EQ(songs.Count(), 2);
    EXPECT_EQ(songs.At(0).status, 2);
    EXPECT_EQ(songs.At(1).status, 2);
}

TEST_F(RadioClientTest, ShutdownEndsAStalledFetchWithinASecond) {
    service.delayMs = 20000;
    auto client = MakeClient();
    client->RequestMore();
    ASSERT_TRUE(service.server.WaitForRequests(1, 5s));
    auto start = std::chrono::steady_clock::now();
    client->Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // not the 20 s of the stall
    client->RequestMore();                                   // no new worker after shutdown
    EXPECT_FALSE(client->FetchBusy());
}

TEST_F(RadioClientTest, AFetchThatAddsNoSongSaysSo) {
    const std::string base = service.server.Base();
    const std::pair<std::string, int> rows[] = {
        // reply, songs it adds
        {"{\"song\":[" + Song("1", base) + "]}", 1},
        {"{\"song\":[]}", 0},
        {"{\"song\":[" + Song("2", base, 1.0) + "]}", 0}, // the rating filter drops it
        {"<html>busy</html>", 0},
        {"", 0}, // no reply
    };
    for (const auto& [reply, added] : rows) {
        SCOPED_TRACE(reply);
        target.Clear();
        {
            std::lock_guard<std::mutex> guard(service.lock);
            service.reply = reply;
        }
        auto client = MakeClient();
        client->RequestMore();
        for (int i = 0; i < 500 && client->FetchBusy(); ++i)
            std::this_thread::sleep_for(10ms);
        client->Shutdown(); // joins the worker, so its last message is in
        EXPECT_EQ(target.SongsAppended(), added);
        EXPECT_EQ(target.EmptyPlaylists(), added ? 0 : 1);
    }
}

} // namespace
