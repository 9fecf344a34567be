#include "lyrics/LrcSearcher.h"
#include "platform/CodePage.h"
#include "platform/TextEncoding.h"
#include "service/ChannelList.h"
#include "service/ServiceRequests.h"
#include "service/SignInReply.h"
#include "service/SongList.h"
#include "service/WebClient.h"
#include "settings/AppSettings.h"
#include "tests/support/MediaChecks.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tools/DemoStation.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <json/json.h>

#include <filesystem>
#include <future>
#include <mutex>

namespace {

constexpr const char* kForm = "application/x-www-form-urlencoded";

DemoStationOptions TestOptions() {
    DemoStationOptions o = TestStationOptions(1);
    o.stallMs = 20000;
    o.trickleBytes = 64;
    o.trickleIntervalMs = 5;
    o.hugeBytes = 1 << 20;
    o.hugeCoverBytes = 3 << 20;
    return o;
}

bool ParseJson(const std::string& text, Json::Value& out) {
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), &out, nullptr);
}

std::string Query(const std::string& type, int channel, const std::string& more = {},
                  const std::string& token = DemoCatalog::kToken) {
    return std::string("/j/app/radio/people?app_name=radio_desktop_win&version=100&type=") + type +
           (type == "e" ? "&status=r" : "") + "&user_id=" + DemoCatalog::kUserId +
           "&expire=" + DemoCatalog::kExpire + "&token=" + token + more +
           "&channel=" + std::to_string(channel);
}

class DemoStationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(station.Start(0)); }

    httplib::Result Get(const std::string& path) {
        httplib::Client c("127.0.0.1", station.Port());
        c.set_connection_timeout(2);
        c.set_read_timeout(10);
        return c.Get(path);
    }
    httplib::Result Post(const std::string& path, const std::string& body) {
        httplib::Client c("127.0.0.1", station.Port());
        c.set_connection_timeout(2);
        c.set_read_timeout(10);
        return c.Post(path, body, kForm);
    }
    Json::Value GetJson(const std::string& path) {
        auto res = Get(path);
        Json::Value v;
        EXPECT_TRUE(res && ParseJson(res->body, v)) << path;
        return v;
    }
    // A download the way the client builds the URL from a site's link.
    std::string FetchLink(const std::string& link) {
        auto res = Get(link.front() == '/' ? link : "/" + link);
        return res && res->status == 200 ? res->body : std::string();
    }

    DemoStation station{TestOptions()};
};

TEST_F(DemoStationTest, SignInAcceptsTheDemoAccountOnly) {
    struct Case {
        const char* body;
        bool ok;
    } cases[] = {
        {"email=demo%40lantor.fm&password=lantor%2Bdemo&app_name=radio_desktop_win&version=100",
         true},
        {"email=DEMO%40Lantor.FM&password=lantor%2Bdemo&app_name=radio_desktop_win&version=100",
         true},
        // A "+" that was not encoded arrives as a blank.
        {"email=demo%40lantor.fm&password=lantor+demo&app_name=radio_desktop_win&version=100",
         false},
        {"email=demo%40lantor.fm&password=lantor%2BDemo&app_name=radio_desktop_win&version=100",
         false},
        {"email=other%40lantor.fm&password=lantor%2Bdemo&app_name=radio_desktop_win&version=100",
         false},
        {"email=demo%40lantor.fm&password=lantor%2Bdemo&app_name=radio_desktop_mac&version=100",
         false},
        {"", false},
    };
    for (const auto& c : cases) {
        auto res = Post("/j/app/login", c.body);
        ASSERT_TRUE(res) << c.body;
        Json::Value v;
        ASSERT_TRUE(ParseJson(res->body, v)) << res->body;
        EXPECT_EQ(v["err"].asString() == "ok", c.ok) << c.body;
        if (c.ok) {
            EXPECT_EQ(v["user_id"].asString(), DemoCatalog::kUserId);
            EXPECT_EQ(v["token"].asString(), DemoCatalog::kToken);
            EXPECT_EQ(v["expire"].asString(), DemoCatalog::kExpire);
        } else {
            EXPECT_FALSE(v["err"].asString().empty());
        }
    }
    auto logged = station.RequestsTo("/j/app/login");
    ASSERT_EQ(logged.size(), std::size(cases));
    EXPECT_EQ(logged[0].body, cases[0].body);
    EXPECT_EQ(logged[0].Param("password"), "lantor+demo");
}

TEST_F(DemoStationTest, ChannelsAreNumberedInOrderWithTheirOwnIds) {
    Json::Value v = GetJson("/j/app/radio/channels");
    const Json::Value& list = v["channels"];
    ASSERT_GE(list.size(), 8u);
    bool chinese = false, english = false;
    std::set<int> ids;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const std::string name = list[i]["name"].asString();
        EXPECT_EQ(list[i]["seq_id"].asInt(), static_cast<int>(i));
        EXPECT_NE(list[i]["channel_id"].asInt(), list[i]["seq_id"].asInt());
        ids.insert(list[i]["channel_id"].asInt());
        std::string gbk;
        EXPECT_TRUE(CodePage::Utf8ToAnsiStrict(name, gbk)) << name;
        chinese |= gbk.size() != name.size();
        english |= std::isalpha(static_cast<unsigned char>(name[0])) != 0;
    }
    EXPECT_EQ(ids.size(), list.size());
    EXPECT_TRUE(chinese);
    EXPECT_TRUE(english);
}

TEST_F(DemoStationTest, PlaylistSongsCarryEveryMemberAndPointBackHere) {
    Json::Value v = GetJson(Query("n", 1, "&sid=(null)"));
    const Json::Value& songs = v["song"];
    ASSERT_EQ(songs.size(), 5u);
    int kept = 0;
    for (const Json::Value& s : songs) {
        for (const char* key : {"title", "artist", "albumtitle", "public_time", "company",
                                "picture", "url", "aid", "sid"})
            EXPECT_TRUE(s[key].isString()) << key;
        ASSERT_TRUE(s["rating_avg"].isDouble());
        ASSERT_TRUE(s["like"].isInt());
        EXPECT_EQ(s["url"].asString(),
                  station.BaseUrl() + "/music/" + s["sid"].asString() + ".mp3");
        EXPECT_EQ(s["picture"].asString(),
                  station.BaseUrl() + "/cover/" + s["sid"].asString() + ".jpg");
        kept += s["rating_avg"].asDouble() > 1.0;
    }
    // The client keeps only ratings above 1.0; this channel's first playlist has two below.
    EXPECT_EQ(kept, 3);

    auto mp3 = Get("/music/" + songs[0]["sid"].asString() + ".mp3");
    ASSERT_TRUE(mp3);
    EXPECT_EQ(mp3->get_header_value("Content-Type"), "audio/mpeg");
    EXPECT_EQ(ScanMp3Frames(mp3->body).layer, 3);
}

TEST_F(DemoStationTest, PlaylistsCoverLowRatingsAndLikesAndRotate) {
    bool low = false, liked = false, unliked = false;
    std::set<std::string> sids;
    for (const DemoChannel& c : DemoCatalog::Channels()) {
        const std::string first = GetJson(Query("n", c.channel_id))["song"][0]["sid"].asString();
        Json::Value second = GetJson(Query("n", c.channel_id, "&h=2800101:p|2800102:s"))["song"];
        if (c.songs.size() > 5) {
            EXPECT_NE(second[0]["sid"].asString(), first) << c.name;
        }
        for (const Json::Value& s : second) {
            low |= s["rating_avg"].asDouble() <= 1.0;
            liked |= s["like"].asInt() == 1;
            unliked |= s["like"].asInt() == 0;
            sids.insert(s["sid"].asString());
        }
    }
    EXPECT_TRUE(low);
    EXPECT_TRUE(liked);
    EXPECT_TRUE(unliked);
    EXPECT_GE(sids.size(), 12u);
    // A channel the station does not know still plays.
    EXPECT_EQ(GetJson(Query("n", 999))["song"].size(), 5u);
}

TEST_F(DemoStationTest, PlaylistRefusesOtherSignInValues) {
    Json::Value v = GetJson(Query("n", 1, "", "forged"));
    EXPECT_EQ(v["r"].asInt(), 1);
    EXPECT_EQ(v["err"].asString(), "invalid_token");
    EXPECT_FALSE(v.isMember("song"));
}

TEST_F(DemoStationTest, LikeReportIsRecordedAndLaterPlaylistsShowIt) {
    const DemoSong& song = DemoCatalog::Songs()[2]; // not liked at first, on channel 1
    ASSERT_EQ(song.like, 0);
    EXPECT_FALSE(station.LikedNow(song.sid));
    auto res = Get(Query("e", 1, "&sid=" + song.sid));
    ASSERT_TRUE(res);
    EXPECT_LT(res->body.size(), 64u);
    EXPECT_TRUE(station.LikedNow(song.sid));
    bool seen = false;
    for (int k = 0; k < 3; ++k) {
        const Json::Value reply = GetJson(Query("n", 1));
        for (const Json::Value& s : reply["song"]) {
            if (s["sid"].asString() == song.sid) {
                EXPECT_EQ(s["like"].asInt(), 1);
                seen = true;
            }
        }
    }
    EXPECT_TRUE(seen);
    auto logged = station.RequestsTo("/j/app/radio/people");
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0].Param("type"), "e");
    EXPECT_EQ(logged[0].Param("status"), "r");
}

// Which item of a result page the client takes is tested against these pages in
// DemoStationClientTest; here, what the pages hold.
TEST_F(DemoStationTest, EachSiteListsDecoysFirstAndLinksItsOwnLrcFiles) {
    const struct {
        unsigned site;
        const char* folder;
        const char* mark; // the site's own way of writing its pages
    } sites[] = {{DemoCatalog::kSecondSite, "lrc/", "</A>"},
                 {DemoCatalog::kFirstSite, "d/", "</font></a>"}};
    for (const auto& site : sites) {
        std::set<bool> slashes;
        for (const DemoSong& song : DemoCatalog::Songs()) {
            SCOPED_TRACE(song.title);
            const std::string title = Utf8ToAnsi(DemoCatalog::SearchTitle(song.title));
            const std::string artist = Utf8ToAnsi(DemoCatalog::SearchArtist(song.artist));
            auto res = site.site == DemoCatalog::kSecondSite
                           ? Post("/so.asp", "key=" + UrlEncode(title) + "&y=1")
                           : Get("/s/?key=" + UrlEncode(artist + " " + title) + "&mf=1&qf=1");
            ASSERT_TRUE(res);
            EXPECT_NE(res->body.find(site.mark), std::string::npos);
            const std::string link =
                std::string(song.linkWithSlash ? "/" : "") + site.folder + song.sid + ".lrc";
            const std::size_t at = res->body.find("href=\"" + link + "\"");
            const std::size_t firstItemEnd = res->body.find("</li>", res->body.find("<li><div"));
            EXPECT_NE(res->body.find("<li><div", firstItemEnd), std::string::npos); // two or more
            if (!(song.sites & site.site)) {
                EXPECT_EQ(at, std::string::npos);
                continue;
            }
            ASSERT_NE(at, std::string::npos);
            EXPECT_GT(at, firstItemEnd); // after a decoy
            slashes.insert(song.linkWithSlash);
            EXPECT_EQ(FetchLink(link), station.LyricsGbk(song.sid));
        }
        EXPECT_EQ(slashes.size(), 2u);
    }
    EXPECT_NE(Get("/s/?key=x")->get_header_value("Content-Type").find("utf-8"), std::string::npos);
    // The title with a bracketed remark is searched as the words before it, blank included.
    auto logged = station.RequestsTo("/so.asp");
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(),
                            [](const auto& r) { return r.body == "key=Blue%20River%20&y=1"; }));
}

TEST_F(DemoStationTest, LyricsFilesAreGbkWithTheTagsTheParserKnows) {
    for (const DemoSong& song : DemoCatalog::Songs()) {
        const std::string& lrc = station.Media(song.sid)->lrc;
        std::string gbk;
        ASSERT_TRUE(CodePage::Utf8ToAnsiStrict(lrc, gbk)) << song.title;
        for (const std::string& tag : {"[ti:" + song.title + "]", "[ar:" + song.artist + "]",
                                       "[al:" + song.albumtitle + "]", std::string("[offset:")})
            EXPECT_NE(lrc.find(tag), std::string::npos) << tag;
        EXPECT_NE(lrc.find("[00:00.00]"), std::string::npos);
    }
    // A song on neither site has no lyrics file there; the decoys do exist.
    EXPECT_EQ(Get("/d/2800104.lrc")->status, 404);
    EXPECT_EQ(Get("/lrc/2800104.lrc")->status, 404);
    EXPECT_EQ(Get("/lrc/x2800104.lrc")->status, 200);
}

TEST_F(DemoStationTest, MediaAreMp3FramesAndJpegCoversOfManySizes) {
    bool small = false, oblong = false;
    for (const DemoSong& song : DemoCatalog::Songs()) {
        SCOPED_TRACE(song.title);
        auto mp3 = Get("/music/" + song.sid + ".mp3");
        ASSERT_TRUE(mp3);
        const Mp3Scan scan = ScanMp3Frames(mp3->body);
        EXPECT_EQ(scan.mpegVersion, 1);
        EXPECT_EQ(scan.layer, 3);
        EXPECT_EQ(scan.sampleRate, 44100);
        EXPECT_TRUE(scan.reachedEnd);
        EXPECT_GE(scan.frames, 38); // a second is 38.3 frames

        auto jpg = Get("/cover/" + song.sid + ".jpg");
        ASSERT_TRUE(jpg);
        EXPECT_EQ(jpg->get_header_value("Content-Type"), "image/jpeg");
        int w = 0, h = 0;
        ASSERT_TRUE(JpegSize(jpg->body, w, h));
        EXPECT_EQ(w, song.coverWidth);
        EXPECT_EQ(h, song.coverHeight);
        small |= std::min(w, h) < 120;
        oblong |= w != h;
    }
    EXPECT_TRUE(small);
    EXPECT_TRUE(oblong);
    EXPECT_EQ(Get("/music/nope.mp3")->status, 404);
    EXPECT_EQ(Get("/elsewhere")->status, 404);
}

TEST_F(DemoStationTest, FaultModesHitTheirPathTheirNumberOfTimes) {
    const std::string path = "/j/app/radio/channels";
    const std::string normal = Get(path)->body;
    ASSERT_GT(normal.size(), 200u);

    station.SetFault(StationFault::ServerError, path, 1);
    EXPECT_EQ(Get("/j/app/login")->status, 404); // a GET there is unknown, not faulted
    auto res = Get(path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
    EXPECT_NE(res->body.find("<html>"), std::string::npos);
    EXPECT_EQ(Get(path)->body, normal); // used up

    station.SetFault(StationFault::BadJson, path, 2);
    for (int k = 0; k < 2; ++k) {
        res = Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        Json::Value v;
        EXPECT_FALSE(ParseJson(res->body, v)) << res->body;
    }
    EXPECT_EQ(Get(path)->body, normal);

    station.SetFault(StationFault::DropMidBody, path);
    std::size_t received = 0;
    {
        httplib::Client c("127.0.0.1", station.Port());
        c.set_read_timeout(5);
        res = c.Get(path, [&](const char*, std::size_t n) {
            received += n;
            return true;
        });
    }
    EXPECT_FALSE(res);
    EXPECT_LT(received, normal.size());

    station.SetFault(StationFault::Trickle, path);
    int chunks = 0;
    std::string body;
    {
        httplib::Client c("127.0.0.1", station.Port());
        c.set_read_timeout(5);
        res = c.Get(path, [&](const char* d, std::size_t n) {
            body.append(d, n);
            ++chunks;
            return true;
        });
    }
    ASSERT_TRUE(res);
    EXPECT_EQ(body, normal);
    EXPECT_GE(chunks, 3);

    // Down refuses connections on the whole port until another mode replaces it.
    const int port = station.Port();
    station.SetFault(StationFault::Down, path, 1);
    res = Get("/j/app/radio/channels");
    ASSERT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::Connection);
    EXPECT_FALSE(Get("/music/2800101.mp3"));
    station.ClearFault();
    EXPECT_EQ(station.Port(), port);
    EXPECT_EQ(Get(path)->body, normal);
}

TEST_F(DemoStationTest, StallSendsNothingAndStopEndsIt) {
    station.SetFault(StationFault::Stall, "/music/");
    httplib::Client c("127.0.0.1", station.Port());
    c.set_read_timeout(0, 300000);
    auto res = c.Get("/music/2800101.mp3");
    EXPECT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::Read);
    // The client may give up before a slow (sanitised, loaded) station has logged the request.
    EXPECT_TRUE(station.WaitForRequests("/music/2800101.mp3", 1, std::chrono::seconds(10)));
    EXPECT_EQ(station.RequestsTo("/music/2800101.mp3").size(), 1u);
    // Other paths are served meanwhile.
    EXPECT_TRUE(Get("/j/app/radio/channels"));
    station.Stop(); // must not wait out the 20 s stall
}

TEST_F(DemoStationTest, BodyFaultsSendCompleteAnswersOfTheWrongKind) {
    const std::string channels = "/j/app/radio/channels";
    const std::string music = "/music/2800101.mp3";
    const std::string song = station.Media("2800101")->mp3;
    const std::string list = Get(channels)->body;
    struct Row {
        StationFault fault;
        std::string prefix, path;
        std::function<void(const std::string&)> check;
    };
    const Row rows[] = {
        {StationFault::Truncated, "/music/", music,
         [&](const std::string& body) { EXPECT_EQ(body, song.substr(0, song.size() / 2)); }},
        {StationFault::NoiseSong, "/music/", music,
         [&](const std::string& body) {
             EXPECT_EQ(body, station.NoiseMp3("2800101"));
             EXPECT_NE(body, song);
             DecodedAudio noise = DecodeMp3(body), melody = DecodeMp3(song);
             ASSERT_TRUE(noise.ok);
             EXPECT_NEAR(double(noise.pcm.size()), double(melody.pcm.size()), 2 * 1152 * 2);
         }},
        // Only songs turn into noise.
        {StationFault::NoiseSong, "", channels,
         [&](const std::string& body) { EXPECT_EQ(body, list); }},
        // The blanks keep a JSON reply valid: only its size is wrong.
        {StationFault::HugeBody, "/j/", channels,
         [&](const std::string& body) {
             ASSERT_EQ(body.size(), list.size() + (1u << 20));
             EXPECT_EQ(body.substr(0, list.size()), list);
             Json::Value v;
             EXPECT_TRUE(ParseJson(body, v));
         }},
        // Several prefixes.
        {StationFault::BadJson, "/x/,/j/app/radio/ch", channels,
         [&](const std::string& body) { EXPECT_EQ(body, DemoStation::BadJsonBody()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path + " " + row.prefix);
        station.ClearLog();
        station.SetFault(row.fault, row.prefix, 1);
        auto res = Get(row.path);
        ASSERT_TRUE(res);
        row.check(res->body);
        ASSERT_EQ(station.Requests().size(), 1u);
        EXPECT_EQ(station.Requests()[0].fault, row.fault); // the log says which fault it met
        EXPECT_EQ(Get(row.path)->body, row.path == music ? song : list); // used up
    }
}

// Each hostile mode as a client reads it; a body without end is read as far as a reply's cap.
TEST_F(DemoStationTest, HostileModesSendWhatAHostileServiceWould) {
    const std::string people = Query("n", 1);
    const struct {
        StationFault fault;
        std::string path;
        std::string holds;       // as sent: JSON writes a line feed as \n
        int songs = -1;          // of a playlist reply
        bool repeats = false;    // the next reply is the same
        std::size_t unsized = 0; // sent without a length, at least this long
    } rows[] = {
        {StationFault::Markup, "/j/app/radio/channels",
         R"(<img src=\"file:///dev/zero\">\n[Server]\nservice=)"},
        // One song more, whose sid ends with the lines.
        {StationFault::Markup, people, R"(\n[Server]\nservice=http://127.0.0.1:18299\n")", 6},
        {StationFault::Markup, "/d/2800101.lrc", "]<b>bold</b>"},
        {StationFault::EmptyList, people, "", 0, true},
        {StationFault::RepeatList, people, "", 5, true},
        {StationFault::HugeList, people, "", 100'000},
        {StationFault::HugeCover, "/cover/2800101.jpg", station.Media("2800101")->jpg, -1, false,
         3u << 20},
        {StationFault::EndlessSong, "/music/2800101.mp3", station.Media("2800101")->mp3, -1, false,
         WebClient::kMaxBodyBytes},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        station.SetFault(row.fault);
        httplib::Client c("127.0.0.1", station.Port());
        std::string body;
        bool sized = false;
        c.Get(
            row.path,
            [&](const httplib::Response& res) {
                sized = res.has_header("Content-Length");
                return true;
            },
            [&](const char* data, std::size_t n) {
                body.append(data, n);
                return body.size() < WebClient::kMaxBodyBytes;
            });
        EXPECT_NE(body.find(row.holds), body.npos);
        if (row.songs >= 0) {
            Json::Value v;
            ASSERT_TRUE(ParseJson(body, v));
            EXPECT_EQ(v["song"].size(), static_cast<Json::ArrayIndex>(row.songs));
        }
        if (row.repeats) {
            EXPECT_EQ(Get(row.path)->body, body);
        }
        EXPECT_EQ(sized, !row.unsized);
        EXPECT_GE(body.size(), row.unsized);
    }
}

TEST_F(DemoStationTest, SwitchingTheFaultOffEndsStallsAndTrickles) {
    const std::string path = "/j/app/radio/channels";
    const std::string normal = Get(path)->body;
    for (StationFault fault : {StationFault::Stall, StationFault::Trickle}) {
        DemoStationOptions o = TestOptions();
        o.trickleBytes = 8;
        o.trickleIntervalMs = 20000;
        DemoStation slow(o);
        ASSERT_TRUE(slow.Start(0));
        slow.SetFault(fault, path);
        auto reply = std::async(std::launch::async, [&] {
            httplib::Client c("127.0.0.1", slow.Port());
            c.set_read_timeout(10);
            auto res = c.Get(path);
            return res ? res->body : std::string("no answer");
        });
        ASSERT_TRUE(slow.WaitForRequests(path, 1, std::chrono::seconds(5)));
        EXPECT_EQ(reply.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        slow.SetFault(StationFault::DropMidBody, "/music/"); // any other setting ends it
        ASSERT_EQ(reply.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(reply.get(), normal);
    }
}

TEST(DemoStationPlaylistSize, RepliesGoRoundTheChannelOnlyWhenAskedTo) {
    const DemoChannel* channel = DemoCatalog::FindChannel(1);
    ASSERT_NE(channel, nullptr);
    const std::size_t pool = channel->songs.size();
    const struct {
        bool repeat;
        std::size_t songs;
    } cases[] = {{false, pool}, {true, 3 * pool + 1}};
    for (const auto& c : cases) {
        DemoStationOptions o = TestOptions();
        o.playlistSize = static_cast<int>(3 * pool + 1);
        o.repeatPool = c.repeat;
        DemoStation station(o);
        ASSERT_TRUE(station.Start());
        httplib::Client client("127.0.0.1", station.Port());
        auto res = client.Get(Query("n", 1));
        Json::Value v;
        ASSERT_TRUE(res && ParseJson(res->body, v));
        const Json::Value& songs = v["song"];
        ASSERT_EQ(songs.size(), c.songs) << c.repeat;
        for (Json::ArrayIndex k = 0; k < songs.size(); ++k)
            EXPECT_EQ(songs[k]["sid"], songs[static_cast<Json::ArrayIndex>(k % pool)]["sid"]) << k;
    }
}

TEST(DemoStationLog, KeepsEveryRequestLineAndBody) {
    std::mutex m;
    std::vector<std::string> lines;
    DemoStationOptions o = TestOptions();
    o.logLine = [&](const std::string& line) {
        std::lock_guard lock(m);
        lines.push_back(line);
    };
    DemoStation station(o);
    ASSERT_TRUE(station.Start());
    httplib::Client c("127.0.0.1", station.Port());
    ASSERT_TRUE(c.Post("/so.asp", "key=%C4%E3&y=1", kForm));
    ASSERT_TRUE(c.Get("/s/?key=a%20b&mf=1&qf=1"));
    EXPECT_TRUE(station.WaitForRequests("/s/", 1, std::chrono::seconds(1)));
    EXPECT_FALSE(station.WaitForRequests("/s/", 2, std::chrono::milliseconds(20)));
    {
        std::lock_guard lock(m);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "POST /so.asp HTTP/1.1 | key=%C4%E3&y=1");
        EXPECT_EQ(lines[1], "GET /s/?key=a%20b&mf=1&qf=1 HTTP/1.1");
    }
    auto all = station.Requests();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Param("key"), "\xC4\xE3");
    EXPECT_EQ(all[1].Param("key"), "a b");
    EXPECT_EQ(all[1].target, "/s/?key=a%20b&mf=1&qf=1");
    station.ClearLog();
    EXPECT_TRUE(station.Requests().empty());
}

TEST(DemoStationCache, GeneratesOnceAndReadsTheFilesBack) {
    TempDir dir;
    DemoStationOptions o = TestOptions();
    o.cacheDir = dir.Path().string();
    DemoStation first(o);
    ASSERT_TRUE(first.Prepare());
    const std::filesystem::path folder = first.MediaFolder();
    ASSERT_TRUE(std::filesystem::exists(folder / "complete"));
    const std::string sid = DemoCatalog::Songs()[0].sid;
    ASSERT_TRUE(std::filesystem::exists(folder / (sid + ".mp3")));

    // Marked files prove the second station reads instead of generating.
    {
        std::ofstream f(folder / (sid + ".jpg"), std::ios::binary | std::ios::trunc);
        f << "marked";
    }
    DemoStation second(o);
    ASSERT_TRUE(second.Prepare());
    EXPECT_EQ(second.Media(sid)->jpg, "marked");
    EXPECT_EQ(second.Media(sid)->mp3, first.Media(sid)->mp3);

    // Without the stamp the set counts as unfinished and is made again.
    std::filesystem::remove(folder / "complete");
    DemoStation third(o);
    ASSERT_TRUE(third.Prepare());
    EXPECT_EQ(third.Media(sid)->jpg, first.Media(sid)->jpg);

    o.songSeconds = 2;
    DemoStation other(o);
    ASSERT_TRUE(other.Prepare());
    EXPECT_NE(other.MediaFolder(), first.MediaFolder());
}

TEST(DemoStationClientFolder, ConfigPointsTheClientAtTheStation) {
    TempDir dir(true);
    const std::string base = "http://127.0.0.1:4321";
    ASSERT_TRUE(DemoStation::WriteClientFolder(dir.Path().string(), base));
    for (const char* sub : {"Temp/Music", "Temp/Album", "Temp/Lyrics"})
        EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / sub)) << sub;
    const std::string text = dir.ReadFile("config.ini");
    EXPECT_NE(text.find("[Server]\r\nservice=" + base + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("email=64656d6f406c616e746f722e666d\r\n"), std::string::npos);

    AppSettings settings;
    ASSERT_TRUE(settings.IsLoaded());
    EXPECT_EQ(settings.ServiceBase(), base);
    EXPECT_EQ(settings.Lyrics1Base(), base);
    EXPECT_EQ(settings.Lyrics2Base(), base);
    EXPECT_TRUE(settings.LoadRememberState());
    EXPECT_TRUE(settings.LoadAutoLogin());
    EXPECT_EQ(settings.LoadVolume(), 50);
    std::string email, password;
    settings.LoadAccount(email, password);
    EXPECT_EQ(email, DemoCatalog::kEmail);
    EXPECT_EQ(password, DemoCatalog::kPassword);
}

TEST(DemoStationStart, SecondStationCannotTakeABusyPort) {
    DemoStation a(TestOptions()), b(TestOptions());
    ASSERT_TRUE(a.Start());
    EXPECT_GT(a.Port(), 0);
    EXPECT_FALSE(b.Start(a.Port()));
    EXPECT_FALSE(a.Start()); // already serving
    a.Stop();
    EXPECT_TRUE(b.Start(a.Port()));
}

// The client's own transport and protocol code against the station, in a working folder with
// the cache folders, as the program runs.
class DemoStationClientTest : public DemoStationTest {
protected:
    void SetUp() override {
        DemoStationTest::SetUp();
        dir.MakeCacheFolders();
        options.connectTimeoutMs = 2000;
        options.stallSeconds = 1;
    }
    std::string Base() const { return station.BaseUrl(); }

    TempDir dir{true};
    WebClient::Options options;
};

TEST_F(DemoStationClientTest, SignInChannelsAndPlaylistThroughTheClientCode) {
    WebClient web(options);
    SignInReply reply;
    auto text = RequestSignIn(web, Base(), DemoCatalog::kEmail, DemoCatalog::kPassword);
    ASSERT_TRUE(text);
    ASSERT_TRUE(ReadSignInReply(*text, reply));
    EXPECT_EQ(reply.user_id, DemoCatalog::kUserId);
    const std::string body = station.RequestsTo("/j/app/login").back().body;
    EXPECT_NE(body.find("email=demo%40lantor.fm&password=lantor%2Bdemo&"), std::string::npos);

    SignInReply rejected;
    text = RequestSignIn(web, Base(), DemoCatalog::kEmail, "lantor demo");
    ASSERT_TRUE(text);
    EXPECT_FALSE(ReadSignInReply(*text, rejected));
    EXPECT_NE(rejected.err, "ok");

    ChannelList channels;
    ASSERT_TRUE(channels.Fetch(web, Base()));
    ASSERT_EQ(channels.Count(), static_cast<int>(DemoCatalog::Channels().size()));
    for (int i = 0; i < channels.Count(); ++i) {
        EXPECT_EQ(channels.At(i).seq_id, i);
        EXPECT_EQ(channels.At(i).name,
                  Utf8ToAnsi(DemoCatalog::Channels()[static_cast<std::size_t>(i)].name));
    }

    PlaylistQuery q{reply.user_id, reply.expire, reply.token, std::nullopt, 1};
    text = web.Get(PlaylistUrl(Base(), q));
    ASSERT_TRUE(text);
    EXPECT_EQ(station.RequestsTo("/j/app/radio/people").back().Param("sid"), "(null)");
    SongList list;
    ASSERT_TRUE(list.AppendFromReply(*text, nullptr));
    ASSERT_EQ(list.Count(), 3); // two of the five rate 1.0 or less
    const SongRecord first = list.At(0);
    EXPECT_EQ(first.title, Utf8ToAnsi(DemoCatalog::Songs()[0].title));
    EXPECT_EQ(first.like, "1");

    ASSERT_EQ(web.Download(first.url, first.sid, kCacheMusic), kDownloadOk);
    EXPECT_TRUE(ScanMp3Frames(dir.ReadFile("Temp/Music/" + first.sid + ".mp3")).reachedEnd);
    ASSERT_EQ(web.Download(first.picture, first.sid, kCacheAlbum), kDownloadOk);
    int w = 0, h = 0;
    EXPECT_TRUE(JpegSize(dir.ReadFile("Temp/Album/" + first.sid + ".jpg"), w, h));
}

TEST_F(DemoStationClientTest, LyricsSearcherFindsEachSitesSongs) {
    const LrcSearcher searcher(Base(), Base());
    for (const DemoSong& song : DemoCatalog::Songs()) {
        SCOPED_TRACE(song.title);
        station.ClearLog();
        const bool found =
            searcher.FindLyrics(Utf8ToAnsi(song.title), Utf8ToAnsi(song.artist), song.sid);
        EXPECT_EQ(found, song.sites != 0);
        // The second site is asked first; the first only when the second has nothing.
        EXPECT_EQ(station.RequestsTo("/so.asp").size(), 1u);
        EXPECT_EQ(station.RequestsTo("/s/").size(),
                  (song.sites & DemoCatalog::kSecondSite) ? 0u : 1u);
        if (!found)
            continue;
        std::string expected;
        for (char c : station.LyricsGbk(song.sid))
            expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        expected.push_back('\0');
        EXPECT_EQ(dir.ReadFile("Temp/Lyrics/" + song.sid + ".lrc"), expected);
    }
}

TEST_F(DemoStationClientTest, FaultModesAsTheClientSeesThem) {
    WebClient web(options);
    const std::string url = ChannelListUrl(Base());
    ChannelList channels;

    station.SetFault(StationFault::ServerError, "/j/app/radio/channels", 1);
    auto text = web.Get(url);
    ASSERT_TRUE(text); // an error page is a body like any other
    EXPECT_FALSE(channels.AppendFromReply(*text));

    station.SetFault(StationFault::BadJson, "/j/app/radio/channels", 1);
    EXPECT_FALSE(channels.Fetch(web, Base()));
    EXPECT_EQ(channels.Count(), 0);

    station.SetFault(StationFault::Trickle, "/j/app/radio/channels", 1);
    EXPECT_TRUE(channels.Fetch(web, Base()));
    EXPECT_EQ(channels.Count(), static_cast<int>(DemoCatalog::Channels().size()));

    const std::string mp3Url = Base() + "/music/2800101.mp3";
    station.SetFault(StationFault::DropMidBody, "/music/", 1);
    EXPECT_EQ(web.Download(mp3Url, "2800101", kCacheMusic), kDownloadReadFailed);
    EXPECT_TRUE(std::filesystem::is_empty("Temp/Music")); // nothing of the cut body is kept

    station.SetFault(StationFault::Stall, "/music/", 1);
    EXPECT_NE(web.Download(mp3Url, "2800101", kCacheMusic), kDownloadOk);
    EXPECT_EQ(web.Download(mp3Url, "2800101", kCacheMusic), kDownloadOk);
    EXPECT_EQ(dir.ReadFile("Temp/Music/2800101.mp3"), station.Media("2800101")->mp3);
}

TEST(DemoCatalog, SongsAndChannelsHaveTheVarietyTheClientIsTestedWith) {
    const auto& songs = DemoCatalog::Songs();
    ASSERT_GE(songs.size(), 12u);
    std::set<unsigned> sites;
    bool remark = false, twoNames = false;
    for (const DemoSong& s : songs) {
        sites.insert(s.sites);
        remark |= s.title.find(" (Live)") != std::string::npos;
        twoNames |= s.artist.find(" / ") != std::string::npos;
        EXPECT_GE(s.seconds, 20);
        EXPECT_LE(s.seconds, 40);
        // Raw bytes are compared by the client, so nothing may need escaping in a page.
        EXPECT_EQ(s.title.find_first_of("<>&\""), std::string::npos);
    }
    EXPECT_EQ(sites.size(), 4u); // both sites, each alone, neither
    EXPECT_TRUE(remark);
    EXPECT_TRUE(twoNames);
    EXPECT_EQ(DemoCatalog::SearchTitle("Blue River (Live)"), "Blue River ");
    EXPECT_EQ(DemoCatalog::SearchArtist("陈一 / Mia Stone"), "陈一");
    EXPECT_EQ(DemoCatalog::SearchArtist("Sunny Lake/Koi"), "Sunny Lake");
    EXPECT_EQ(DemoCatalog::SearchArtist("何雨;Lily Wen"), "何雨");
}

} // namespace
