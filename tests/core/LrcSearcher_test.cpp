#include "lyrics/LrcSearcher.h"
#include "service/WebClient.h"
#include "session/FolderSettings.h"
#include "tests/support/TempDir.h"
#include "tools/LoopbackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

// 你好 and 歌手 in GBK and in UTF-8.
const std::string kTitleGbk = "\xC4\xE3\xBA\xC3";
const std::string kArtistGbk = "\xB8\xE8\xCA\xD6";
const std::string kTitleUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";
const std::string kArtistUtf8 = "\xE6\xAD\x8C\xE6\x89\x8B";
const std::string kLrc = "[ti:x]\n[00:01.00]A\n[00:02.00]B\n";
const std::string kLrcAsStored = "[ti:x]\r\n[00:01.00]A\r\n[00:02.00]B\r\n"s + '\0';

std::string SecondSiteItem(const std::string& title, const std::string& artist,
                           const std::string& link) {
    return "<li><div class=\"slmc\"><a href=\"/lrc/x.htm\">" + title +
           "</A></div><div class=\"acll\"><a href=\"/singer/\">" + artist +
           "</A></div><div class=\"slczt\"><a href=\"" + link +
           "\"><img src=\"/d.gif\">DL</A></div></li>\n";
}

std::string FirstSiteItem(const std::string& title, const std::string& artist,
                          const std::string& link) {
    return "<li><div class=\"wmc\"><a href=\"/song/\"><font color=\"red\">" + title +
           "</font></a></div><div class=\"wgs\"><a href=\"/singer/\"><font>" + artist +
           "</font></a></div><div class=\"w50\"><a href=\"" + link + "\">LRC</a></div></li>\n";
}

std::string Page(const std::string& items) {
    return "<html><body><div class=\"list\"><ul>\n" + items + "</ul></div></body></html>";
}

class LrcSearcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.MakeCacheFolders();
        WebClient::SetDefaultTimeoutsForTesting(2'000, 2);
    }
    void TearDown() override { WebClient::ResetDefaultsForTesting(); }

    // Both sites serve their result page and every ".lrc" path with the LRC text.
    void Serve(std::string firstPage, std::string secondPage) {
        first.Get("/s/", [firstPage](const auto&, auto& res) {
            res.set_content(firstPage, "text/html; charset=utf-8");
        });
        second.Post("/so.asp", [secondPage](const auto&, auto& res) {
            res.set_content(secondPage, "text/html; charset=gbk");
        });
        for (LoopbackServer* s : {&first, &second}) {
            s->Get(".*\\.lrc", [](const auto&, auto& res) { res.set_content(kLrc, "text/plain"); });
            s->Start();
        }
    }

    LrcSearcher Searcher() const { return LrcSearcher(first.Base(), second.Base()); }

    std::vector<std::string> Targets(const LoopbackServer& s) const {
        std::vector<std::string> targets;
        for (const auto& r : s.Requests())
            targets.push_back(r.method + " " + r.target);
        return targets;
    }

    bool Cached(const std::string& sid) const {
        return std::filesystem::exists(dir.Path() / ("Temp/Lyrics/" + sid + ".lrc"));
    }

    TempDir dir{true};
    LoopbackServer first;
    LoopbackServer second;
};

TEST_F(LrcSearcherTest, SecondSiteGbkPageWithUpperCaseAnchors) {
    Serve(Page(""), Page(SecondSiteItem("Other", kArtistGbk, "/down/1.lrc") +
                         SecondSiteItem(kTitleGbk, kArtistGbk, "/down/2.lrc?a=1&amp;b=2")));
    EXPECT_TRUE(Searcher().FindLyrics(kTitleGbk, kArtistGbk, "s1"));
    // Only the title is posted; the non-matching first item is passed over; "&amp;" in the
    // link is decoded.
    EXPECT_EQ(Targets(second),
              (std::vector<std::string>{"POST /so.asp", "GET /down/2.lrc?a=1&b=2"}));
    EXPECT_EQ(second.Requests()[0].body, "key=%C4%E3%BA%C3&y=1");
    EXPECT_EQ(first.RequestCount(), 0u);
    EXPECT_EQ(dir.ReadFile("Temp/Lyrics/s1.lrc"), kLrcAsStored);
}

TEST_F(LrcSearcherTest, FirstSiteUtf8PageAfterSecondSiteFindsNothing) {
    Serve(Page(FirstSiteItem(kTitleUtf8 + "x", kArtistUtf8, "/download/6.lrc") +
               FirstSiteItem(kTitleUtf8, kArtistUtf8, "download/7.lrc")),
          Page(SecondSiteItem(kTitleGbk, "Somebody", "/down/1.lrc")));
    EXPECT_TRUE(Searcher().FindLyrics(kTitleGbk, kArtistGbk, "s2"));
    EXPECT_EQ(Targets(second), (std::vector<std::string>{"POST /so.asp"}));
    // Artist, a blank, title; a link without its leading slash gets one.
    EXPECT_EQ(Targets(first),
              (std::vector<std::string>{"GET /s/?key=%B8%E8%CA%D6%20%C4%E3%BA%C3&mf=1&qf=1",
                                        "GET /download/7.lrc"}));
    EXPECT_EQ(dir.ReadFile("Temp/Lyrics/s2.lrc"), kLrcAsStored);
}

TEST_F(LrcSearcherTest, BracketedRemarkAndTwoArtistsAreCut) {
    Serve(Page(""), Page(SecondSiteItem("Word ", "Ann", "/down/3.lrc")));
    EXPECT_TRUE(Searcher().FindLyrics("Word (Live)", "Ann / Bob", "s3"));
    EXPECT_EQ(second.Requests()[0].body, "key=Word%20&y=1");
    EXPECT_EQ(Targets(second).back(), "GET /down/3.lrc");
}

TEST_F(LrcSearcherTest, PagesWithoutItemsGiveNothing) {
    Serve("<html><body>no results</body></html>",
          Page("<li><div class=\"slmc\"><a>" + kTitleGbk + "</a></div>"));
    EXPECT_FALSE(Searcher().FindLyrics(kTitleGbk, kArtistGbk, "s4"));
    EXPECT_EQ(second.RequestCount(), 1u);
    EXPECT_EQ(first.RequestCount(), 1u);
    EXPECT_FALSE(Cached("s4"));
}

TEST_F(LrcSearcherTest, CachedFileMeansNoRequest) {
    Serve(Page(""), Page(""));
    dir.WriteFile("Temp/Lyrics/s5.lrc", kLrc);
    EXPECT_TRUE(Searcher().FindLyrics("t", "a", "s5"));
    EXPECT_EQ(first.RequestCount() + second.RequestCount(), 0u);
    // A sid that is no file name is never searched for.
    EXPECT_FALSE(Searcher().FindLyrics("t", "a", "../s5"));
    EXPECT_EQ(first.RequestCount() + second.RequestCount(), 0u);
}

TEST_F(LrcSearcherTest, FailedDownloadEndsThatSiteOnly) {
    // The second site's first match links to a missing file (an empty 404): no later item of
    // that page is tried, and the first site is searched.
    Serve(Page(FirstSiteItem(kTitleUtf8, kArtistUtf8, "/ok.lrc")),
          Page(SecondSiteItem(kTitleGbk, kArtistGbk, "/missing.lrx?.lrc") +
               SecondSiteItem(kTitleGbk, kArtistGbk, "/down/9.lrc")));
    EXPECT_TRUE(Searcher().FindLyrics(kTitleGbk, kArtistGbk, "s6"));
    EXPECT_EQ(Targets(second), (std::vector<std::string>{"POST /so.asp", "GET /missing.lrx?.lrc"}));
    EXPECT_EQ(Targets(first).back(), "GET /ok.lrc");
}

TEST_F(LrcSearcherTest, ItemChecksInDocumentOrder) {
    Serve(Page(""), Page(""));
    const std::string t = "Title", a = "Artist";
    auto div = [](const std::string& cls, const std::string& inner) {
        return "<div class=\"" + cls + "\">" + inner + "</div>";
    };
    auto anchor = [](const std::string& href, const std::string& text) {
        return "<a href=\"" + href + "\">" + text + "</A>";
    };
    struct Case {
        std::string name, item, fetched; // fetched: "" when nothing is downloaded
    } cases[] = {
        {"match",
         div("slmc", anchor("/x", t)) + div("acll", anchor("/y", a)) +
             div("slczt", anchor("/l/1.lrc", "DL")),
         "/l/1.lrc"},
        {"title differs in case",
         div("slmc", anchor("/x", "title")) + div("slczt", anchor("/l/1.lrc", "DL")), ""},
        {"title with an entity",
         div("slmc", anchor("/x", "Ti&#116;le")) + div("slczt", anchor("/l/1.lrc", "DL")), ""},
        {"artist differs",
         div("slmc", anchor("/x", t)) + div("acll", anchor("/y", "Art")) +
             div("slczt", anchor("/l/1.lrc", "DL")),
         ""},
        {"title div without a", div("slmc", t) + div("slczt", anchor("/l/1.lrc", "DL")), ""},
        {"checks after the link are not made",
         div("slczt", anchor("/l/2.lrc", "DL")) + div("slmc", anchor("/x", "wrong")), "/l/2.lrc"},
        {"missing checks are not made", div("slczt", anchor("/l/3.lrc", "DL")), "/l/3.lrc"},
        {"a link without .lrc leaves the item open",
         div("slczt", anchor("/l/4.txt", "DL")) + div("other", "") + div("slczt", "no anchor") +
             div("slczt", anchor("/l/5.lrc", "DL")),
         "/l/5.lrc"},
        {"/A becomes /a in links", div("slczt", anchor("/Artist/6.lrc", "DL")), "/artist/6.lrc"},
        {"unclosed tags inside",
         div("slmc", "<a href=\"/x\"><b>" + t + "</A>") +
             div("slczt", anchor("/l/7.lrc", "<img src=x><br>DL")),
         ""}, // the unclosed b makes the anchor's content differ
        {"unclosed tags around",
         div("slmc", anchor("/x", t) + "<br>") +
             div("slczt", "<img src=\"a.gif\">" + anchor("/l/8.lrc", "DL")),
         "/l/8.lrc"},
    };
    for (const auto& c : cases) {
        second.ClearRequests();
        std::filesystem::remove(dir.Path() / "Temp/Lyrics/i.lrc");
        bool found = Searcher().ScrapeSecondSite(Page("<li>" + c.item + "</li>"), t, a, "i");
        EXPECT_EQ(found, !c.fetched.empty()) << c.name;
        EXPECT_EQ(Targets(second), c.fetched.empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{"GET " + c.fetched})
            << c.name;
        EXPECT_EQ(Cached("i"), found) << c.name;
    }
}

TEST_F(LrcSearcherTest, StoredFileEndsAtFirstNulWithOneNul) {
    first.Get("/nul.lrc", [](const auto&, auto& res) {
        res.set_content("[00:01.00]A\nB\r\n\0rest"s, "text/plain");
    });
    first.Start();
    second.Start();
    EXPECT_TRUE(Searcher().DownloadLrc("/nul.lrc", "n", LrcSearcher::kFirstSite));
    EXPECT_EQ(dir.ReadFile("Temp/Lyrics/n.lrc"), "[00:01.00]A\r\nB\r\r\n\0"s);
    EXPECT_FALSE(Searcher().DownloadLrc("/nul.lrc", "n", 2)) << "no such site";
    // No lyrics folder: the file cannot be made.
    std::filesystem::remove_all(dir.Path() / "Temp/Lyrics");
    EXPECT_FALSE(Searcher().DownloadLrc("/nul.lrc", "n", LrcSearcher::kFirstSite));
}

TEST_F(LrcSearcherTest, ErrorStatusOrWebPageBehindALinkIsNoLyrics) {
    const std::string page = "<html><body><h1>Not Found</h1></body></html>";
    struct Case {
        const char* link;
        int status;
        std::string body;
        bool found;
    } cases[] = {
        {"/404.lrc", 404, page, false},
        {"/500.lrc", 500, "[00:01.00]an error page in LRC clothing", false},
        {"/page.lrc", 200, "\xEF\xBB\xBF\r\n  <!DOCTYPE html><html></html>", false},
        {"/late.lrc", 200, "Sorry!\n<HTML><body>moved</body></HTML>", false},
        {"/bom.lrc", 200, "\xEF\xBB\xBF[00:01.00]A <b>tag</b> in a line", true},
    };
    for (const Case& c : cases) {
        first.Get(c.link, [&c](const auto&, auto& res) {
            res.status = c.status;
            res.set_content(c.body, "text/html");
        });
    }
    first.Start();
    second.Start();
    for (const Case& c : cases) {
        std::filesystem::remove(dir.Path() / "Temp/Lyrics/e.lrc");
        EXPECT_EQ(Searcher().DownloadLrc(c.link, "e", LrcSearcher::kFirstSite), c.found) << c.link;
        EXPECT_EQ(Cached("e"), c.found) << c.link;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "Temp/Lyrics"),
                                std::filesystem::directory_iterator()),
                  c.found ? 1 : 0)
            << c.link; // no temporary file either
    }
}

TEST_F(LrcSearcherTest, UnreachableSitesGiveFalse) {
    std::string dead;
    {
        LoopbackServer gone;
        gone.Start();
        dead = gone.Base();
    }
    EXPECT_FALSE(LrcSearcher(dead, dead).FindLyrics("t", "a", "u"));
    EXPECT_FALSE(Cached("u"));
}

TEST_F(LrcSearcherTest, SlowSitesGiveUpWithinSixSeconds) {
    using namespace std::chrono_literals;
    WebClient::ResetDefaultsForTesting(); // the transport's own 30 s stall rule
    enum Slow { kSilentPage, kTricklingPage, kSilentLrc };
    const struct {
        const char* name;
        Slow slow;
        bool found; // through the first site
    } cases[] = {
        {"second site's page silent for 20 s", kSilentPage, true},
        {"second site's page trickling for 20 s", kTricklingPage, true},
        {"first site's .lrc silent for 20 s", kSilentLrc, false},
    };
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    std::vector<std::future<std::pair<bool, std::chrono::steady_clock::duration>>> runs;
    for (const auto& c : cases) {
        const Slow slow = c.slow;
        auto& second = *servers.emplace_back(std::make_unique<LoopbackServer>());
        second.Post("/so.asp", [&second, slow](const auto&, httplib::Response& res) {
            if (slow == kSilentPage)
                second.Sleep(20s);
            if (slow != kTricklingPage)
                return res.set_content(Page(""), "text/html");
            res.set_chunked_content_provider("text/html", [&second](size_t, auto& sink) {
                for (int i = 0; i < 40 && second.Sleep(500ms); ++i)
                    if (!sink.write(" ", 1))
                        return false;
                sink.done();
                return true;
            });
        });
        auto& first = *servers.emplace_back(std::make_unique<LoopbackServer>());
        first.Get("/s/", [](const auto&, auto& res) {
            res.set_content(Page(FirstSiteItem(kTitleUtf8, kArtistUtf8, "/x.lrc")), "text/html");
        });
        first.Get("/x.lrc", [&first, slow](const auto&, auto& res) {
            if (slow == kSilentLrc)
                first.Sleep(20s);
            res.set_content(kLrc, "text/plain");
        });
        second.Start();
        first.Start();
        const std::string sid = "slow" + std::to_string(runs.size());
        runs.push_back(std::async(std::launch::async, [&first, &second, sid] {
            const auto start = std::chrono::steady_clock::now();
            const bool found =
                LrcSearcher(first.Base(), second.Base()).FindLyrics(kTitleGbk, kArtistGbk, sid);
            return std::make_pair(found, std::chrono::steady_clock::now() - start);
        }));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto [found, took] = runs[i].get();
        EXPECT_EQ(found, cases[i].found) << cases[i].name;
        // One request's 6 s, with room for a loaded machine; far below the 20 s of the site.
        EXPECT_LT(took, 10s) << cases[i].name;
    }
}

TEST(LrcSearchTerms, Table) {
    struct Case {
        const char* in;
        const char* title;
        const char* artist;
    } cases[] = {
        {"Word (Live)", "Word ", "Word (Live)"},
        {"(Intro)", "", "(Intro)"},
        {"Plain", "Plain", "Plain"},
        {"Ann / Bob", "Ann / Bob", "Ann"},
        {"Ann/Bob", "Ann/Bob", "Ann"},
        {"Ann;Bob", "Ann;Bob", "Ann"},
        {"Ann ;Bob / Cy", "Ann ;Bob / Cy", "Ann "},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LrcSearcher::SearchTitle(c.in), c.title) << c.in;
        EXPECT_EQ(LrcSearcher::SearchArtist(c.in), c.artist) << c.in;
    }
}

// --- One searcher for every song's lookup ----------------------------------------------------

TEST_F(LrcSearcherTest, OverlappingLookupsShareOneSearcher) {
    Serve(Page(""), Page(SecondSiteItem(kTitleGbk, kArtistGbk, "/down/o.lrc")));
    const LrcSearcher searcher = Searcher();
    std::vector<std::thread> workers;
    std::atomic<int> found{0};
    for (int k = 0; k < 4; ++k) {
        workers.emplace_back([&searcher, &found, k] {
            found += searcher.FindLyrics(kTitleGbk, kArtistGbk, "o" + std::to_string(k));
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(found, 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(dir.ReadFile("Temp/Lyrics/o" + std::to_string(k) + ".lrc"), kLrcAsStored);
}

TEST_F(LrcSearcherTest, CancelledSearcherAsksNoSite) {
    Serve(Page(""), Page(SecondSiteItem(kTitleGbk, kArtistGbk, "/down/c.lrc")));
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(
        LrcSearcher(first.Base(), second.Base(), &cancel).FindLyrics(kTitleGbk, kArtistGbk, "c"));
    EXPECT_EQ(first.RequestCount() + second.RequestCount(), 0u);
}

TEST_F(LrcSearcherTest, SiteBasesComeFromConfig) {
    Serve(Page(FirstSiteItem(kTitleUtf8, kArtistUtf8, "/cfg.lrc")), Page(""));
    dir.WriteFile("config.ini",
                  "[Server]\r\nlyrics1=" + first.Base() + "/\r\nlyrics2=" + second.Base() + "\r\n");
    FolderSettings stored;
    const LrcSearcher searcher(stored.Lyrics1Base(), stored.Lyrics2Base());
    EXPECT_EQ(searcher.FirstBase(), first.Base());
    EXPECT_EQ(searcher.SecondBase(), second.Base());
    EXPECT_TRUE(searcher.FindLyrics(kTitleGbk, kArtistGbk, "cfg"));
    EXPECT_EQ(dir.ReadFile("Temp/Lyrics/cfg.lrc"), kLrcAsStored);
}

} // namespace
