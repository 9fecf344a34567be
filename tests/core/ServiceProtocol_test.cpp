#include "service/ChannelList.h"
#include "service/JsonNode.h"
#include "service/ServiceRequests.h"
#include "service/SignInReply.h"
#include "service/SongReply.h"
#include "service/WebClient.h"
#include "session/FolderSettings.h"
#include "tests/support/TempDir.h"
#include "tools/LoopbackServer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::string kApp = "app_name=radio_desktop_win&version=100";
const std::string kHuayuUtf8 = "\xE5\x8D\x8E\xE8\xAF\xAD"; // 华语
const std::string kHuayuGbk = "\xBB\xAA\xD3\xEF";

PlaylistQuery Query(std::optional<std::string_view> sid = std::nullopt) {
    PlaylistQuery q;
    q.user_id = "1001";
    q.expire = "1700000000";
    q.token = "ab12";
    q.sid = sid;
    q.channel = 7;
    return q;
}

// ---- requests ----

// The playlist and report forms are checked as the server receives them, below.
TEST(ServiceRequests, UrlsJoinTheBaseAndThePath) {
    const std::string base = "http://radio.test:8080";
    EXPECT_EQ(SignInUrl(base), base + "/j/app/login");
    EXPECT_EQ(ChannelListUrl(base), base + "/j/app/radio/channels");
    EXPECT_EQ(ChannelListUrl(base + "/"), base + "/j/app/radio/channels");
    EXPECT_EQ(PlaylistUrl(base + "/", Query()).rfind(base + "/j/app/radio/people?" + kApp, 0), 0u);
    EXPECT_EQ(PlaylistUrl(base, Query(), ""), PlaylistUrl(base, Query()) + "&h=");
}

TEST(ServiceRequests, SignInBodyIsEncodedAndLimited) {
    EXPECT_EQ(SignInBody("me+radio@mail.com", "p@ss word"),
              "email=me%2Bradio%40mail.com&password=p%40ss%20word&" + kApp);
    EXPECT_EQ(SignInBody("", ""), "email=&password=&" + kApp);
    // The fixed parts take 63 characters; the rest is for the two encoded values.
    const size_t room = kMaxSignInBodyLength - SignInBody("", "")->size();
    EXPECT_EQ(SignInBody(std::string(room, 'a'), "")->size(), kMaxSignInBodyLength);
    EXPECT_FALSE(SignInBody(std::string(room + 1, 'a'), ""));
    EXPECT_FALSE(SignInBody("", std::string(room / 3 + 1, '@'))); // each @ takes three
    EXPECT_FALSE(SignInBody(std::string(254, '\xC4'), std::string(254, '\xE3')));
}

// The texts exactly as the server receives them.
TEST(ServiceRequests, ReachTheServerUnchanged) {
    LoopbackServer server{[](LoopbackServer& s) {
        s.Post("/j/app/login", [](const auto&, auto& res) {
            res.set_content(R"({"err":"ok","user_id":"1","token":"t","expire":"9"})",
                            "application/json");
        });
        s.Get("/j/app/radio/people", [](const auto&, auto& res) {
            res.set_content(R"({"r":0,"song":[]})", "application/json");
        });
    }};
    WebClient web;

    auto reply = RequestSignIn(web, server.Base(), "me+radio@mail.com", "secret");
    ASSERT_TRUE(reply);
    SignInReply signIn;
    EXPECT_TRUE(ReadSignInReply(*reply, signIn));
    auto login = server.LastRequest();
    EXPECT_EQ(login.method, "POST");
    EXPECT_EQ(login.target, "/j/app/login");
    EXPECT_EQ(login.body, "email=me%2Bradio%40mail.com&password=secret&" + kApp);
    EXPECT_EQ(login.Header("Content-Type"), "application/x-www-form-urlencoded");

    const std::string people = "/j/app/radio/people?" + kApp;
    const std::string values = "&user_id=1001&expire=1700000000&token=ab12";
    struct Case {
        std::string url, target;
    } cases[] = {
        {PlaylistUrl(server.Base(), Query()),
         people + "&type=n" + values + "&sid=(null)&channel=7"},
        {PlaylistUrl(server.Base(), Query("2233"), "103:s|102:s|101:p"),
         people + "&type=n" + values + "&sid=2233&channel=7&h=103:s|102:s|101:p"},
        {LikeReportUrl(server.Base(), Query("2233")),
         people + "&type=e&status=r" + values + "&sid=2233&channel=7"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(web.Get(c.url));
        auto req = server.LastRequest();
        EXPECT_EQ(req.method, "GET");
        EXPECT_EQ(req.target, c.target);
        EXPECT_EQ(req.body, "");
    }
    EXPECT_EQ(server.RequestCount(), 4u);

    // An over-long body refuses the sign-in before anything is sent.
    EXPECT_FALSE(RequestSignIn(web, server.Base(), std::string(400, '@'), "x"));
    EXPECT_EQ(server.RequestCount(), 4u);
}

TEST(ServiceRequests, GoToTheConfiguredServiceBase) {
    LoopbackServer server{[](LoopbackServer& s) {
        s.Post("/j/app/login", [](const auto&, auto& res) {
            res.set_content(R"({"err":"ok","user_id":"5","token":"t","expire":"9"})",
                            "application/json");
        });
        s.Get("/j/app/radio/channels", [](const auto&, auto& res) {
            res.set_content(R"({"channels":[{"name":"One","seq_id":0,"channel_id":1}]})",
                            "application/json");
        });
    }};
    TempDir dir(true);
    dir.WriteFile("config.ini", "[Server]\r\nservice=" + server.Base() + "/\r\n");

    const std::string base = FolderSettings().ServiceBase();
    auto reply = RequestSignIn(WebClient(), base, "a@b", "pw");
    ASSERT_TRUE(reply);
    SignInReply signIn;
    EXPECT_TRUE(ReadSignInReply(*reply, signIn));
    EXPECT_EQ(signIn.user_id, "5");
    ChannelList list;
    EXPECT_TRUE(list.Fetch(WebClient(), base));
    EXPECT_EQ(list.Count(), 1);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "email=a%40b&password=pw&" + kApp);
    EXPECT_EQ(requests[1].target, "/j/app/radio/channels");
}

// ---- sign-in reply ----

TEST(SignInReply, ReadsTheFourTextsAndAcceptsOnlyOk) {
    struct Case {
        const char* text;
        bool result;
        const char* user_id; // null: the reply is left untouched
    } cases[] = {
        {R"({"err":"ok","user_id":"42","token":"tk","expire":"99"})", true, "42"},
        {R"({"err":"wrong_password","user_id":"42","token":"tk","expire":"99"})", false, "42"},
        {R"({"err":"OK","user_id":"42"})", false, "42"},
        {R"({"err":"ok "})", false, ""},
        {R"({"user_id":"42","token":"tk"})", false, "42"},
        {R"({"err":null,"user_id":"7"})", false, "7"},
        {"not json", false, nullptr},
        {"", false, nullptr},
        {R"({"err":"ok","user_id":42})", false, nullptr},
        {R"(["ok"])", false, nullptr},
    };
    for (const auto& c : cases) {
        SignInReply reply{"before", "before", "before", "before"};
        EXPECT_EQ(ReadSignInReply(c.text, reply), c.result) << c.text;
        EXPECT_EQ(reply.user_id, c.user_id ? c.user_id : "before") << c.text;
    }
    SignInReply reply;
    ASSERT_TRUE(
        ReadSignInReply(R"({"err":"ok","user_id":"42","token":"tk","expire":"99"})", reply));
    EXPECT_EQ(reply.err, "ok");
    EXPECT_EQ(reply.token, "tk");
    EXPECT_EQ(reply.expire, "99");
}

// ---- channel list ----

TEST(ChannelList, ReadsChannelsInReplyOrderAndSkipsBadElements) {
    ChannelList list;
    EXPECT_TRUE(list.AppendFromReply(R"({"channels":[
        {"name":")" + kHuayuUtf8 + R"(","seq_id":0,"channel_id":1},
        {"name":"Bad","seq_id":"one","channel_id":2},
        {"name":7,"seq_id":1,"channel_id":3},
        "not an object",
        {"name":"Rock","seq_id":1,"channel_id":9,"extra":[1]},
        {"seq_id":2}
    ]})"));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.At(0).name, kHuayuGbk);
    EXPECT_EQ(list.At(0).seq_id, 0);
    EXPECT_EQ(list.At(0).channel_id, 1);
    EXPECT_EQ(list.At(1).name, "Rock");
    EXPECT_EQ(list.At(1).channel_id, 9);
    EXPECT_EQ(list.At(2).name, "");
    EXPECT_EQ(list.At(2).seq_id, 2);
    for (int i : {-1, 3, 5}) {
        ChannelRecord none = list.At(i);
        EXPECT_EQ(none.name, "");
        EXPECT_EQ(none.seq_id, 0);
        EXPECT_EQ(none.channel_id, 0);
    }
}

TEST(ChannelList, RepliesWithoutChannelsAddNothing) {
    ChannelList list;
    EXPECT_FALSE(list.AppendFromReply("<html>500</html>"));
    EXPECT_TRUE(list.AppendFromReply(R"({"err":"x"})"));
    EXPECT_TRUE(list.AppendFromReply(R"({"channels":{"name":"x"}})"));
    EXPECT_TRUE(list.AppendFromReply(R"({"channels":"x"})"));
    EXPECT_TRUE(list.AppendFromReply("[1,2]"));
    EXPECT_EQ(list.Count(), 0);
}

TEST(ChannelList, KeepsEveryAppendedChannel) {
    ChannelList list;
    for (int i = 0; i <= 20; ++i)
        list.Append({"c" + std::to_string(i), i, i + 100});
    EXPECT_EQ(list.Count(), 21);
    EXPECT_EQ(list.At(0).name, "c0");
    EXPECT_EQ(list.At(20).channel_id, 120);
}

TEST(ChannelList, FetchesFromTheService) {
    LoopbackServer server{[](LoopbackServer& s) {
        s.Get("/j/app/radio/channels", [](const auto&, auto& res) {
            res.set_content(R"({"channels":[{"name":"One","seq_id":0,"channel_id":1}]})",
                            "application/json");
        });
    }};
    WebClient web;
    ChannelList list;
    EXPECT_TRUE(list.Fetch(web, server.Base()));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).name, "One");
    EXPECT_EQ(server.LastRequest().target, "/j/app/radio/channels");
    // A 404 and a URL that reaches nothing leave the list as it was.
    EXPECT_FALSE(list.Fetch(web, server.Url("/elsewhere")));
    EXPECT_FALSE(list.Fetch(web, ""));
    EXPECT_EQ(list.Count(), 1);
}

// ---- songs ----

std::string Song(const std::string& members) {
    return "{" + members + "}";
}

std::vector<SongRecord> Songs(const std::string& reply, bool* parsed = nullptr) {
    std::vector<SongRecord> out;
    bool ok = ParseSongReply(reply, [&](SongRecord&& s) { out.push_back(std::move(s)); });
    if (parsed)
        *parsed = ok;
    return out;
}

TEST(SongReply, MapsEveryMemberOfASong) {
    auto songs = Songs(R"({"r":0,"song":[{
        "title":")" + kHuayuUtf8 +
                       R"(","artist":"A","albumtitle":"Al","public_time":"2009",
        "company":"C","rating_avg":4.5,"picture":"http://p/1.jpg","url":"http://s/1.mp3",
        "aid":"77","sid":"1234","like":1,"length":200}]})");
    ASSERT_EQ(songs.size(), 1u);
    const SongRecord& s = songs[0];
    EXPECT_EQ(s.title, kHuayuGbk);
    EXPECT_EQ(s.artist, "A");
    EXPECT_EQ(s.albumtitle, "Al");
    EXPECT_EQ(s.public_time, "2009");
    EXPECT_EQ(s.company, "C");
    EXPECT_EQ(s.rating_avg, 4.5);
    EXPECT_EQ(s.picture, "http://p/1.jpg");
    EXPECT_EQ(s.url, "http://s/1.mp3");
    EXPECT_EQ(s.aid, "77");
    EXPECT_EQ(s.sid, "1234");
    EXPECT_EQ(s.like, "1");
    EXPECT_EQ(s.index, 0);
    EXPECT_EQ(s.status, 0);
}

TEST(SongReply, FiltersByRatingAndSkipsBadElementsOnly) {
    struct Case {
        std::string element;
        const char* sid; // null: skipped
        const char* like = "0";
        const char* company = "";
    } cases[] = {
        {Song(R"("sid":"a","rating_avg":4.5)"), "a"},
        {Song(R"("sid":"b","rating_avg":1.0)"), nullptr},
        {Song(R"("sid":"c","rating_avg":0)"), nullptr},
        {Song(R"("sid":"d")"), nullptr},
        {Song(R"("sid":"e","rating_avg":1.0001,"like":0)"), "e"},
        {Song(R"("sid":"f","rating_avg":2,"like":1,"company":null)"), "f", "1"},
        {Song(R"("sid":"g","rating_avg":2,"like":-3,"company":"Co")"), "g", "1", "Co"},
        {Song(R"("sid":1234,"rating_avg":3)"), nullptr},
        {Song(R"("sid":"h","rating_avg":"3")"), nullptr},
        {Song(R"("sid":"i","rating_avg":3,"like":"1")"), nullptr},
        {Song(R"("sid":"j","rating_avg":3,"title":["x"])"), nullptr},
        {Song(R"("sid":"k","rating_avg":3,"like":true)"), "k", "1"},
        // A control character in the sid would become structure in the history setting.
        {Song(R"("sid":"1002\n[Server]\nservice=http://x","rating_avg":3)"), nullptr},
        {Song(R"("sid":"m\u0000","rating_avg":3)"), nullptr},
        {Song(R"("sid":"n\u007f","rating_avg":3)"), nullptr},
        {Song(R"("sid":"o/..","rating_avg":3)"), "o/.."}, // the cache name rule judges it
        {"5", nullptr},
        {"\"text\"", nullptr},
        {"null", nullptr},
        {Song(R"("sid":"l","rating_avg":3)"), "l"},
    };
    std::string reply = R"({"song":[)";
    std::vector<const Case*> kept;
    for (const auto& c : cases) {
        if (&c != cases)
            reply += ",";
        reply += c.element;
        if (c.sid)
            kept.push_back(&c);
    }
    reply += "]}";
    auto songs = Songs(reply);
    ASSERT_EQ(songs.size(), kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(songs[i].sid, kept[i]->sid);
        EXPECT_EQ(songs[i].like, kept[i]->like) << kept[i]->element;
        EXPECT_EQ(songs[i].company, kept[i]->company) << kept[i]->element;
        EXPECT_EQ(songs[i].title, "");
    }
}

TEST(SongReply, RepliesWithoutSongsYieldNothing) {
    bool parsed = false;
    EXPECT_TRUE(Songs(R"({"r":1,"err":"expired"})", &parsed).empty());
    EXPECT_TRUE(parsed);
    EXPECT_TRUE(Songs(R"({"song":{"sid":"1","rating_avg":5}})", &parsed).empty());
    EXPECT_TRUE(parsed);
    EXPECT_TRUE(Songs("<html>502 Bad Gateway</html>", &parsed).empty());
    EXPECT_FALSE(parsed);

    SongRecord untouched;
    untouched.sid = "keep";
    EXPECT_FALSE(ReadSongElement(JsonNode(), untouched));
    EXPECT_EQ(untouched.sid, "keep");
}

// Only the songs kept are built, yet every reply reads as the whole document does through the
// JSON reader: the same songs, and refused when the reader refuses it, wherever the fault lies.
TEST(SongReply, ReadsEveryReplyAsTheJsonReaderDoes) {
    const std::string a = Song(R"("sid":"a","rating_avg":2,"title":"]}[{\"\\")");
    const std::string b = Song(R"("sid":"b","rating_avg":3)");
    const std::string low = Song(R"("sid":"low","rating_avg":1)");
    const std::string deep = std::string(997, '[') + std::string(997, ']');
    const std::string replies[] = {
        "\xEF\xBB\xBF{\"song\":[" + low + "," + a + "/*,*/ ," + b + ",]} junk",
        "{\"song\":[" + a + "],\"song\":null}",
        "{\"so\\u006eg\":[" + a + "," + b + "]}",
        "{\"r\":1/**/2,\"song\":[" + a + "]}", // the reader takes a token after a comment as ","
        "{\"song\":[" + a + "," + b + ",",
        "{\"song\":[" + a + "," + Song(R"("sid":"\q")") + "]}",
        "{\"song\":[" + a + "," + Song(R"("sid":"\ud800")") + "]}",
        "{\"song\":[" + a + "," + Song(R"("x":1e400)") + "]}",
        "{\"song\":[" + a + "," + Song(R"("x":-,"y":+1.)") + "]}",
        "{\"song\":[" + a + "," + b + "," + deep + "]}",
        "{\"song\":[" + a + "," + b + ",[" + deep + "]]}",
        "{\"song\":[" + a + "][1/**/x]}",
        std::string("{\"song\":[") + '\0' + "]}",
        "{\"song\":[" + a + "]}" + '\0' + "[",
    };
    for (const std::string& reply : replies) {
        for (const std::size_t max : {std::size_t{1}, SIZE_MAX}) {
            std::vector<std::string> want, got;
            JsonNode doc;
            const bool wantOk = doc.Parse(reply);
            SongRecord song;
            for (int i = 0; want.size() < max && doc.Member("song").Element(i).IsValid(); ++i)
                if (ReadSongElement(doc.Member("song").Element(i), song))
                    want.push_back(song.sid + song.title);
            const bool ok = ParseSongReply(
                reply, [&](SongRecord&& s) { got.push_back(s.sid + s.title); }, max);
            EXPECT_EQ(ok, wantOk) << reply.substr(0, 200);
            EXPECT_EQ(got, want) << reply.substr(0, 200);
        }
    }
}

} // namespace
