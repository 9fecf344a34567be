#include "platform/Log.h"
#include "scrobble/Scrobbler.h"
#include "tests/support/FakeListenBrainz.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace {

using State = Scrobbler::State;
constexpr auto kPatience = std::chrono::seconds(60);

class ManualClock : public ScrobbleClock {
public:
    std::int64_t SteadyMs() const override { return ms; }
    std::int64_t UtcSeconds() const override { return 1'700'000'000 + ms / 1000; }
    std::atomic<std::int64_t> ms{5'000'000};
};

class ScrobblerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log::Configure("all");
        Log::SetSink([this](std::string_view line) {
            std::lock_guard<std::mutex> guard(logLock);
            log += std::string(line) + "\n";
        });
    }
    void TearDown() override {
        Log::SetSink({});
        Log::Configure("");
        EXPECT_EQ(Logged().find("good-token"), std::string::npos) << "a token in the log";
    }
    std::string Logged() {
        std::lock_guard<std::mutex> guard(logLock);
        return log;
    }

    std::unique_ptr<Scrobbler> Make(std::string token = "good-token",
                                    std::string queue = "listens.jsonl") {
        Scrobbler::Config config;
        config.server = server.Base();
        config.token = std::move(token);
        config.queuePath = (dir.Path() / queue).string();
        config.clock = &clock;
        config.observer = [this](const Scrobbler::Status& s) {
            std::lock_guard<std::mutex> guard(statusLock);
            reported = s;
        };
        auto s = std::make_unique<Scrobbler>(std::move(config));
        s->Start();
        return s;
    }
    // Plays a 3-minute song for 100 s (a listen) and leaves it; gives its listened_at.
    std::int64_t Play(Scrobbler& s, const std::string& title, const std::string& artist = "A") {
        const std::int64_t at = clock.UtcSeconds();
        s.SongStarted({artist, title, "Album", 180'000});
        clock.ms += 100'000;
        s.SongLeft();
        return at;
    }
    // Waits for what the observer last heard, nudging the worker after clock moves.
    bool Until(Scrobbler& s, const std::function<bool(const Scrobbler::Status&)>& done) {
        return WaitUntil(
            [&] {
                s.Wake();
                std::lock_guard<std::mutex> guard(statusLock);
                return done(reported);
            },
            kPatience);
    }
    int Lines(const std::string& file) {
        std::ifstream in(dir.Path() / file);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            ++n;
        return n;
    }
    Scrobbler::Status Last() {
        std::lock_guard<std::mutex> guard(statusLock);
        return reported;
    }
    bool Queued(Scrobbler& s, std::size_t n, State state) {
        return Until(s, [&](const auto& st) { return st.queued == n && st.state == state; });
    }

    TempDir dir;
    FakeListenBrainz server;
    ManualClock clock;
    std::mutex statusLock; // guards reported
    Scrobbler::Status reported;
    std::mutex logLock; // guards log
    std::string log;
};

TEST_F(ScrobblerTest, OutageAndKillLoseNothingAndDoubleNothing) {
    server.SetDown(true);
    auto first = Make();
    std::vector<std::int64_t> at{Play(*first, "One"), Play(*first, "Two", "\xC4\xE3\xBA\xC3"),
                                 Play(*first, "Three")};
    ASSERT_TRUE(Queued(*first, 3, State::kWaiting));
    ASSERT_TRUE(WaitUntil([&] { return Lines("listens.jsonl") == 3; }, kPatience));
    // What a kill would leave: the file as it is now, taken up by a new run.
    std::filesystem::copy_file(dir.Path() / "listens.jsonl", dir.Path() / "after-kill.jsonl");
    first.reset();
    server.SetDown(false);
    auto second = Make("good-token", "after-kill.jsonl");
    ASSERT_TRUE(Queued(*second, 0, State::kIdle));
    EXPECT_EQ(Lines("after-kill.jsonl"), 0) << "the delivered listens left the file";
    at.push_back(clock.UtcSeconds());
    second->SongStarted({"A", "Four", "Album", 180'000});
    ASSERT_TRUE(WaitUntil([&] { return server.PlayingNow().size() == 1; }, kPatience));
    clock.ms += 100'000;
    ASSERT_TRUE(WaitUntil([&] { return second->Wake(), server.Listens().size() == 4; }, kPatience))
        << "counted while playing, no need to leave";

    const auto listens = server.Listens();
    const char* titles[] = {"One", "Two", "Three", "Four"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(listens[i].track, titles[i]);
        EXPECT_EQ(listens[i].listenedAt, at[i]);
        EXPECT_EQ(listens[i].durationMs, 180'000);
    }
    EXPECT_EQ(listens[1].artist, "\xE4\xBD\xA0\xE5\xA5\xBD"); // GBK in, UTF-8 out
    EXPECT_EQ(server.Repeats(), 0u);
    EXPECT_EQ(server.Accepted(),
              (std::vector<std::string>{"import 3", "playing_now 1", "single 1"}));
    EXPECT_EQ(server.PlayingNow().size(), 1u) << "only the song played while it was up";
    EXPECT_TRUE(server.Problems().empty());
}

TEST_F(ScrobblerTest, BacksOffThenSendsOldestFirstInBatchesWithinTheRateLimit) {
    server.SetDown(true);
    auto s = Make("");
    for (int i = 0; i < 150; ++i)
        Play(*s, std::to_string(i));
    ASSERT_TRUE(Queued(*s, 150, State::kNoToken));
    s->SetToken("good-token");
    std::vector<std::int64_t> delays;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(Until(*s, [&](const auto& st) {
            return st.state == State::kWaiting && st.nextTryMs > clock.ms;
        }));
        delays.push_back(Last().nextTryMs - clock.ms);
        if (i < 5)
            clock.ms = Last().nextTryMs;
    }
    EXPECT_EQ(delays, (std::vector<std::int64_t>{1000, 2000, 4000, 8000, 10000, 10000}));

    server.SetDown(false);
    server.SetRateLimit(0, 7);
    clock.ms = Last().nextTryMs;
    ASSERT_TRUE(Until(*s, [&](const auto& st) { return st.queued == 50; }));
    ASSERT_TRUE(Queued(*s, 50, State::kWaiting));
    EXPECT_EQ(Last().nextTryMs - clock.ms, 7000) << "the rate limit's reset";
    clock.ms += 7000;
    ASSERT_TRUE(Queued(*s, 0, State::kIdle));
    EXPECT_EQ(server.Accepted(), (std::vector<std::string>{"import 100", "import 50"}));
    const auto listens = server.Listens();
    ASSERT_EQ(listens.size(), 150u);
    for (std::size_t i = 0; i < listens.size(); ++i)
        EXPECT_EQ(listens[i].track, std::to_string(i));
}

TEST_F(ScrobblerTest, ARefusedTokenStopsSendingAndARefusedListenAloneIsDropped) {
    auto s = Make("wrong-token");
    Play(*s, "One");
    ASSERT_TRUE(Queued(*s, 1, State::kTokenRefused));
    s->SetToken("good-token");
    ASSERT_TRUE(Queued(*s, 0, State::kIdle));

    server.SetDown(true);
    server.RefuseTrack("Bad");
    for (const char* title : {"A", "B", "Bad", "C", "D"})
        Play(*s, title);
    ASSERT_TRUE(Queued(*s, 5, State::kWaiting));
    server.SetDown(false);
    clock.ms += 10'000;
    ASSERT_TRUE(Queued(*s, 0, State::kIdle));
    std::vector<std::string> titles;
    for (const auto& listen : server.Listens())
        titles.push_back(listen.track);
    EXPECT_EQ(titles, (std::vector<std::string>{"One", "A", "B", "C", "D"}));
    EXPECT_NE(Logged().find("dropped: the server refused it"), std::string::npos);
}

TEST_F(ScrobblerTest, ALikedSongIsLovedOnceItsListenIsStored) {
    server.HideListens(1); // the first read back comes before the listen is stored
    auto s = Make();
    s->SongStarted({"A", "Skipped", "Album", 180'000});
    s->Liked();
    clock.ms += 10'000;
    s->SongStarted({"A", "LikedEarly", "Album", 180'000});
    s->Liked();
    clock.ms += 100'000;
    s->SongStarted({"A", "LikedLate", "Album", 180'000});
    clock.ms += 100'000;
    ASSERT_TRUE(WaitUntil([&] { return s->Wake(), server.Listens().size() == 2; }, kPatience));
    s->Liked();
    s->SongLeft();
    ASSERT_TRUE(WaitUntil([&] { return s->Wake(), clock.ms += 1000, server.Loves().size() == 2; },
                          kPatience));
    EXPECT_EQ(server.Loves(), (std::vector<std::string>{"LikedEarly 1", "LikedLate 1"}));
    EXPECT_NE(Logged().find("liked song not reported: it did not count"), std::string::npos);
}

TEST_F(ScrobblerTest, TokenCheck) {
    using TS = ListenBrainzClient::TokenState;
    struct Case {
        std::string token;
        bool down;
        std::string base; // "" for the fake server
        TS state;
        std::string answer; // the user name, or the reason
    } cases[] = {
        {"good-token", false, "", TS::kValid, "listener"},
        {"other-token", false, "", TS::kRefused, "Token invalid."},
        {"", false, "", TS::kRefused, "no token"},
        {"good-token\r\nX-Forged: 1", false, "", TS::kRefused, "the token is not well-formed"},
        {"good token", false, "", TS::kRefused, "the token is not well-formed"},
        {std::string(257, 'a'), false, "", TS::kRefused, "the token is not well-formed"},
        {"good-token", true, "", TS::kUnreachable, "unexpected answer (HTTP 503)"},
        {"good-token", false, "http://127.0.0.1:1", TS::kUnreachable,
         "no answer from http://127.0.0.1:1"},
        {"good-token", false, "file:///etc", TS::kUnreachable, "no http(s) server address"},
    };
    for (const auto& c : cases) {
        server.SetDown(c.down);
        const std::size_t before = server.Server().RequestCount();
        const auto check = ListenBrainzClient(c.base.empty() ? server.Base() + "/" : c.base)
                               .ValidateToken(c.token);
        EXPECT_EQ(check.state, c.state) << c.token;
        EXPECT_EQ(check.state == TS::kValid ? check.userName : check.error, c.answer) << c.token;
        if (c.state == TS::kRefused && c.answer != "Token invalid.") {
            EXPECT_EQ(server.Server().RequestCount(), before) << "sent " << c.token;
        }
    }
}

} // namespace
