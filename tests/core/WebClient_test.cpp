#include "platform/Connectivity.h"
#include "platform/Log.h"
#include "service/WebClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"
#include "tools/LoopbackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

const std::string kErrorPage = "<html><body><h1>404 Not Found</h1></body></html>";

// Bytes "/endless" managed to send before the client hung up.
std::atomic<std::size_t> gEndlessSent{0};

// Routes shared by the tests below.
void Routes(LoopbackServer& s) {
    s.Get("/empty", [](const auto&, auto& res) { res.set_content("", "text/plain"); });
    s.Post("/empty", [](const auto&, auto& res) { res.set_content("", "text/plain"); });
    s.Get("/text", [](const auto&, auto& res) { res.set_content("hello", "text/plain"); });
    s.Post("/echo", [](const httplib::Request& req, auto& res) {
        res.set_content("got:" + req.body, "text/plain");
    });
    s.Get("/chunked", [](const auto&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
                static const std::string all = Pattern(300'000);
                if (offset >= all.size()) {
                    sink.done();
                    return true;
                }
                size_t n = std::min<size_t>(1'000, all.size() - offset);
                return sink.write(all.data() + offset, n);
            });
    });
    s.Get("/missing", [](const auto&, auto& res) {
        res.status = 404;
        res.set_content(kErrorPage, "text/html");
    });
    s.Get("/server-error", [](const auto&, auto& res) {
        res.status = 500;
        res.set_content(kErrorPage, "text/html");
    });
    s.Get("/song", [](const auto&, auto& res) { res.set_content(Pattern(500'000), "audio/mpeg"); });
    s.Get("/moved", [](const auto&, auto& res) { res.set_redirect("/song"); });
    s.Get("/sized", [](const httplib::Request& req, auto& res) {
        res.set_content(Pattern(std::stoul(req.get_param_value("n"))), "text/plain");
    });
    // 64 MB without a length, as a stream that never ends would be.
    s.Get("/endless", [](const auto&, httplib::Response& res) {
        gEndlessSent = 0;
        res.set_chunked_content_provider("audio/mpeg", [](size_t offset, httplib::DataSink& sink) {
            static const std::string block(64 << 10, 'e');
            if (offset >= (64u << 20)) {
                sink.done();
                return true;
            }
            gEndlessSent = offset;
            return sink.write(block.data(), block.size());
        });
    });
}

// A body announced as 100,000 bytes that breaks off after 40,000, at once or after stalling.
void BrokenBody(LoopbackServer& s, const std::string& path, bool stall) {
    s.Get(path, [&s, stall](const auto&, httplib::Response& res) {
        res.set_content_provider(100'000, "audio/mpeg",
                                 [&s, stall](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0) {
                                         std::string part = Pattern(40'000);
                                         return sink.write(part.data(), part.size());
                                     }
                                     if (stall)
                                         s.Sleep(30s);
                                     return false;
                                 });
    });
}

class WebClientTest : public ::testing::Test {
protected:
    static int MusicFiles() {
        int n = 0;
        for (const auto& entry : fs::directory_iterator("Temp/Music"))
            n += entry.is_regular_file();
        return n;
    }

    void SetUp() override { cwd_.MakeCacheFolders(); }
    void TearDown() override { Connectivity::SetOfflineForTesting(false); }

    TempDir cwd_{true};
    LoopbackServer server_{[](LoopbackServer& s) {
        Routes(s);
        BrokenBody(s, "/dropped", false);
        BrokenBody(s, "/stalled-body", true);
        auto stalled = [&s](const auto&, auto& res) {
            s.Sleep(30s);
            res.set_content("late", "text/plain");
        };
        s.Get("/stalled", stalled);
        s.Post("/stalled", stalled);
    }};
    WebClient web_;
};

TEST_F(WebClientTest, EmptyBodyIsNoneWithLengthZero) {
    size_t length = 99;
    EXPECT_FALSE(web_.Get(server_.Url("/empty"), &length));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(web_.Post(server_.Url("/empty"), "a=b"));
}

TEST_F(WebClientTest, ChunkedBodyArrivesWholeWithTrailingZero) {
    size_t length = 0;
    auto body = web_.Get(server_.Url("/chunked"), &length);
    ASSERT_TRUE(body);
    EXPECT_EQ(length, 300'000u);
    ASSERT_EQ(body->size(), 300'000u);
    EXPECT_EQ(body->c_str()[300'000], '\0');
    EXPECT_EQ(*body, Pattern(300'000));
}

TEST_F(WebClientTest, GetSendsNoHeadersOfItsOwnAndPostSendsAForm) {
    auto text = web_.Get(server_.Url("/text"));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "hello");
    EXPECT_EQ(server_.LastRequest().Header("User-Agent"), "");

    auto reply = web_.Post(server_.Url("/echo"), "email=a%40b&x=1");
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, "got:email=a%40b&x=1");
    auto req = server_.LastRequest();
    EXPECT_EQ(req.method, "POST");
    EXPECT_EQ(req.body, "email=a%40b&x=1");
    EXPECT_EQ(req.Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(WebClientTest, ErrorPageIsReturnedByGetButFailsDownloadWithoutTouchingTheCache) {
    auto page = web_.Get(server_.Url("/missing"));
    ASSERT_TRUE(page);
    EXPECT_EQ(*page, kErrorPage);

    EXPECT_EQ(web_.Download(server_.Url("/missing"), "404", kCacheMusic), kDownloadHttpError);
    EXPECT_FALSE(fs::exists("Temp/Music/404.mp3"));
    // A song cached earlier survives a failed download of the same sid.
    cwd_.WriteFile("Temp/Music/500.mp3", "old song");
    EXPECT_EQ(web_.Download(server_.Url("/server-error"), "500", kCacheMusic), kDownloadHttpError);
    EXPECT_EQ(cwd_.ReadFile("Temp/Music/500.mp3"), "old song");
}

TEST_F(WebClientTest, DownloadWritesTheFileOfEachKind) {
    struct Case {
        int kind;
        const char* path;
    } cases[] = {
        {kCacheMusic, "Temp/Music/1234.mp3"},
        {kCacheAlbum, "Temp/Album/1234.jpg"},
        {kCacheLyrics, "Temp/Lyrics/1234.lrc"},
    };
    for (const auto& c : cases) {
        cwd_.WriteFile(c.path, std::string(600'000, 'x')); // replaced, not appended to
        EXPECT_EQ(web_.Download(server_.Url("/song"), "1234", c.kind), kDownloadOk) << c.path;
        EXPECT_EQ(cwd_.ReadFile(c.path), Pattern(500'000)) << c.path;
    }
    EXPECT_EQ(MusicFiles(), 1);
    auto req = server_.LastRequest();
    EXPECT_EQ(req.Header("Accept"), "*/*");
    EXPECT_TRUE(std::regex_match(req.Header("User-Agent"), std::regex("Agent[0-9]+")))
        << req.Header("User-Agent");
}

TEST_F(WebClientTest, DownloadFollowsRedirectsAndKeepsAnEmptyBody) {
    EXPECT_EQ(web_.Download(server_.Url("/moved"), "7", kCacheMusic), kDownloadOk);
    EXPECT_EQ(cwd_.ReadFile("Temp/Music/7.mp3"), Pattern(500'000));
    EXPECT_EQ(web_.Download(server_.Url("/empty"), "8", kCacheAlbum), kDownloadOk);
    EXPECT_TRUE(fs::exists("Temp/Album/8.jpg"));
    EXPECT_EQ(fs::file_size("Temp/Album/8.jpg"), 0u);
}

TEST_F(WebClientTest, DroppedConnectionLeavesNoFileAndKeepsAnOlderCopy) {
    EXPECT_EQ(web_.Download(server_.Url("/dropped"), "9", kCacheMusic), kDownloadReadFailed);
    EXPECT_FALSE(fs::exists("Temp/Music/9.mp3"));
    cwd_.WriteFile("Temp/Music/10.mp3", "old song");
    EXPECT_EQ(web_.Download(server_.Url("/dropped"), "10", kCacheMusic), kDownloadReadFailed);
    EXPECT_EQ(cwd_.ReadFile("Temp/Music/10.mp3"), "old song");
    EXPECT_EQ(MusicFiles(), 1); // and no temporary file
}

TEST_F(WebClientTest, DownloadRefusesWhatItCannotDoWithoutTheNetwork) {
    struct Case {
        std::string url, name;
        int kind, result;
    } cases[] = {
        {"", "1", kCacheMusic, kDownloadNoUrl},
        {server_.Url("/song"), "1", 0, kDownloadFileFailed},
        {server_.Url("/song"), "1", 4, kDownloadFileFailed},
        {server_.Url("/song"), "", kCacheMusic, kDownloadFileFailed},
        {server_.Url("/song"), "..", kCacheMusic, kDownloadFileFailed},
        {server_.Url("/song"), "../../x", kCacheAlbum, kDownloadFileFailed},
        {server_.Url("/song"), "a\\b", kCacheLyrics, kDownloadFileFailed},
        {server_.Url("/song"), std::string("a\0b", 3), kCacheMusic, kDownloadFileFailed},
        {server_.Url("/song"), "a\nb", kCacheMusic, kDownloadFileFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(web_.Download(c.url, c.name, c.kind), c.result) << c.name << " " << c.kind;
    EXPECT_EQ(server_.RequestCount(), 0u);
    EXPECT_TRUE(fs::is_empty("Temp/Music"));
    EXPECT_TRUE(fs::is_empty("Temp/Album"));
    EXPECT_TRUE(fs::is_empty("Temp/Lyrics"));
    EXPECT_TRUE(fs::exists("Temp")); // nothing outside the cache folders either
    EXPECT_FALSE(fs::exists("x.jpg"));
}

TEST_F(WebClientTest, OfflineDownloadOpensNothing) {
    Connectivity::SetOfflineForTesting(true);
    EXPECT_EQ(web_.Download(server_.Url("/song"), "1", kCacheMusic), kDownloadOffline);
    EXPECT_EQ(web_.Download("", "1", kCacheMusic), kDownloadNoUrl);
    EXPECT_EQ(server_.RequestCount(), 0u);
    Connectivity::SetOfflineForTesting(false);
    EXPECT_EQ(web_.Download(server_.Url("/song"), "1", kCacheMusic), kDownloadOk);
}

TEST_F(WebClientTest, FailuresAreNone) {
    int port;
    {
        LoopbackServer gone{[](LoopbackServer&) {}};
        port = gone.Port();
    }
    std::string refused = "http://127.0.0.1:" + std::to_string(port) + "/x";
    size_t length = 5;
    EXPECT_FALSE(web_.Get(refused, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(web_.Post(refused, "a=b"));
    EXPECT_FALSE(web_.Get(""));
    EXPECT_FALSE(web_.Get("not a url"));
    EXPECT_EQ(web_.Download(refused, "1", kCacheMusic), kDownloadOpenFailed);
    EXPECT_FALSE(fs::exists("Temp/Music/1.mp3"));
}

TEST_F(WebClientTest, OnlyHttpUrlsAreFollowed) {
    cwd_.WriteFile("secret.txt", "secret");
    std::string local = "file://" + (cwd_.Path() / "secret.txt").string();
    EXPECT_FALSE(web_.Get(local));
    EXPECT_EQ(web_.Download(local, "1", kCacheLyrics), kDownloadOpenFailed);
    EXPECT_FALSE(fs::exists("Temp/Lyrics/1.lrc"));
}

// A body over its cap is aborted, whether its length was announced or not, nothing of it is
// kept, and a line says so; a stream that never ends stops at the cap, not at its end.
TEST_F(WebClientTest, BodiesOverTheirCapAreAbortedKeepNothingAndAreLogged) {
    std::vector<std::string> lines;
    Log::SetSink([&](std::string_view line) { lines.emplace_back(line); });
    Log::Configure("net");
    WebClient::Options o;
    o.maxBodyBytes = 10'000;
    o.maxDownloadBytes = 100'000;
    WebClient capped(o);
    EXPECT_TRUE(capped.Get(server_.Url("/sized?n=10000")));
    EXPECT_FALSE(capped.Get(server_.Url("/sized?n=10001")));
    EXPECT_FALSE(capped.Get(server_.Url("/chunked"))); // no length announced
    const struct {
        const WebClient& web;
        const char* path;
        int kind, result;
    } cases[] = {
        {capped, "/sized?n=100000", kCacheMusic, kDownloadOk},
        {capped, "/sized?n=100001", kCacheMusic, kDownloadTooLarge},
        {capped, "/chunked", kCacheMusic, kDownloadTooLarge},
        {capped, "/endless", kCacheLyrics, kDownloadTooLarge},
        {web_, "/sized?n=16777216", kCacheAlbum, kDownloadOk}, // a cover: 16 MB
        {web_, "/sized?n=16777217", kCacheAlbum, kDownloadTooLarge},
        {web_, "/sized?n=16777217", kCacheMusic, kDownloadOk}, // a song may be bigger
    };
    int name = 0, aborted = 2;
    for (const auto& c : cases) {
        const std::string sid = std::to_string(++name);
        EXPECT_EQ(c.web.Download(server_.Url(c.path), sid, c.kind), c.result) << c.path;
        EXPECT_EQ(fs::exists(*CachePath(c.kind, sid)), c.result == kDownloadOk) << c.path;
        aborted += c.result == kDownloadTooLarge;
    }
    EXPECT_LT(gEndlessSent, 16u << 20) << "the endless body was read to its end";
    Log::SetSink({});
    Log::Configure("");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("over its cap") != l.npos; }),
              aborted);
    EXPECT_TRUE(fs::is_empty("Temp/Lyrics")); // no temporary file either
}

TEST_F(WebClientTest, StalledTransfersTimeOut) {
    WebClient::SetDefaultTimeoutsForTesting(2'000, 1);
    WebClient quick;
    WebClient::ResetDefaultsForTesting();
    EXPECT_EQ(quick.GetOptions().stallSeconds, 1);
    EXPECT_EQ(WebClient().GetOptions().stallSeconds, WebClient::kStallSeconds);

    // Side by side: each one waits for its own time-out.
    auto start = std::chrono::steady_clock::now();
    auto get = std::async(std::launch::async, [&] { return quick.Get(server_.Url("/stalled")); });
    auto post =
        std::async(std::launch::async, [&] { return quick.Post(server_.Url("/stalled"), "x"); });
    auto beforeBody = std::async(std::launch::async, [&] {
        return quick.Download(server_.Url("/stalled"), "3", kCacheMusic);
    });
    auto inBody = std::async(std::launch::async, [&] {
        return quick.Download(server_.Url("/stalled-body"), "4", kCacheMusic);
    });
    EXPECT_FALSE(get.get());
    EXPECT_FALSE(post.get());
    EXPECT_EQ(beforeBody.get(), kDownloadOpenFailed);
    EXPECT_FALSE(fs::exists("Temp/Music/3.mp3"));
    EXPECT_EQ(inBody.get(), kDownloadReadFailed);
    EXPECT_EQ(MusicFiles(), 0); // not even a temporary file
    // The server stalls for 30 s per request: only the time-outs can have ended these.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 25s);
}

TEST_F(WebClientTest, CancelEndsRunningTransfers) {
    std::atomic<bool> cancel{false};
    WebClient web(&cancel);
    std::optional<std::string> body = "unset";
    int result = -1;
    std::thread get([&] { body = web.Get(server_.Url("/stalled")); });
    std::thread download(
        [&] { result = web.Download(server_.Url("/stalled-body"), "5", kCacheMusic); });
    ASSERT_TRUE(server_.WaitForRequests(2, 10s));
    // Cancel once the download is part-way into its body: its temporary file is there.
    ASSERT_TRUE(WaitUntil([] { return MusicFiles() == 1; }, 10s));
    auto start = std::chrono::steady_clock::now();
    cancel = true;
    get.join();
    download.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_FALSE(body);
    EXPECT_EQ(result, kDownloadReadFailed);
    EXPECT_EQ(MusicFiles(), 0); // not even a temporary file
    // Once raised, nothing new starts.
    EXPECT_FALSE(web.Get(server_.Url("/text")));
    EXPECT_EQ(web.Download(server_.Url("/song"), "6", kCacheMusic), kDownloadOpenFailed);
    EXPECT_EQ(server_.RequestCount(), 2u);
}

TEST_F(WebClientTest, ThreadsShareOneClient) {
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                auto body = web_.Get(server_.Url("/chunked"));
                if (body && *body == Pattern(300'000))
                    ++good;
                if (web_.Download(server_.Url("/song"), "t" + std::to_string(t), kCacheMusic) == 0)
                    ++good;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(good, 40);
}

} // namespace
