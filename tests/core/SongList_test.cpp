#include "service/SongList.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

std::string Song(const std::string& sid, double rating = 4.5, int like = 0) {
    return "{\"title\":\"t" + sid + "\",\"artist\":\"a" + sid + "\",\"albumtitle\":\"al\"," +
           "\"rating_avg\":" + std::to_string(rating) + ",\"sid\":\"" + sid +
           "\",\"aid\":\"9\",\"url\":\"http://x/" + sid +
           ".mp3\",\"like\":" + std::to_string(like) + "}";
}

std::string Reply(const std::vector<std::string>& songs) {
    std::string text = "{\"r\":0,\"song\":[";
    for (size_t i = 0; i < songs.size(); ++i)
        text += (i ? "," : "") + songs[i];
    return text + "]}";
}

TEST(SongList, AppendsKeptSongsWithIndexesAndHandsOutCopies) {
    SongList list;
    std::vector<SongRecord> added;
    EXPECT_TRUE(list.AppendFromReply(
        Reply({Song("1", 4.5, 1), Song("2", 1.0), Song("3", 0), Song("4", 2.0)}), &added));
    EXPECT_EQ(list.Count(), 2);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].index, 0);
    EXPECT_EQ(added[0].title + added[0].like, "t11");
    EXPECT_EQ(added[1].index, 1);
    EXPECT_EQ(added[1].title + added[1].like, "t40");
    EXPECT_EQ(list.At(1).sid, "4");
    EXPECT_EQ(list.At(1).index, 1);
    EXPECT_EQ(list.At(1).status, 0);
    // A reply whose songs are all filtered out adds none; the count stays.
    const SongList::Appended none =
        list.AppendFor(list.Generation(), Reply({Song("x", 0.5), Song("y", 1.0)}));
    EXPECT_TRUE(none.parsed);
    EXPECT_TRUE(none.songs.empty());
    EXPECT_EQ(none.count, 2);
}

TEST(SongList, BadRepliesAppendNothingAndDoNotCrash) {
    SongList list;
    EXPECT_FALSE(list.AppendFromReply("<html>502</html>"));
    EXPECT_FALSE(list.AppendFromReply(""));
    EXPECT_TRUE(list.AppendFromReply("{\"song\":7}"));
    EXPECT_TRUE(list.AppendFromReply("[1,2]"));
    // A number where a text belongs skips that song only.
    std::vector<SongRecord> added;
    EXPECT_TRUE(list.AppendFromReply(
        Reply({"{\"sid\":5,\"rating_avg\":3}", Song("ok"), "17", "{\"rating_avg\":\"high\"}"}),
        &added));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).sid, "ok");
    EXPECT_EQ(added.size(), 1u);
}

TEST(SongList, GrowsByDoublingUpToItsCaps) {
    SongList list;
    EXPECT_EQ(list.Capacity(), 50u);
    std::vector<std::string> songs;
    for (int i = 0; i < 51; ++i)
        songs.push_back(Song(std::to_string(i)));
    list.AppendFromReply(Reply(songs));
    EXPECT_EQ(list.Count(), 51);
    EXPECT_EQ(list.Capacity(), 100u);
    for (int i = 0; i < 51; ++i) {
        ASSERT_EQ(list.At(i).sid, std::to_string(i));
        ASSERT_EQ(list.At(i).index, i);
    }
    // A reply keeps its first 500 songs and the list stops at 5,000; songs it held before
    // are not fresh.
    songs.clear();
    for (int i = 0; i < 600; ++i)
        songs.push_back(Song(std::to_string(1000 + i)));
    const std::string big = Reply(songs);
    EXPECT_EQ(list.AppendFor(list.Generation(), big).fresh, 500);
    SongList::Appended again;
    for (int n = 0; n < 12; ++n)
        again = list.AppendFor(list.Generation(), big);
    EXPECT_EQ(again.fresh, 0);
    EXPECT_TRUE(again.songs.empty());
    EXPECT_EQ(list.Count(), 5000);
    EXPECT_EQ(list.At(550).sid, "1499");
    EXPECT_EQ(list.At(4999).index, 4999);
}

TEST(SongList, ClearEmptiesAndRefusesWorkBegunOnTheOldSongs) {
    SongList list;
    list.AppendFromReply(Reply({Song("1"), Song("2")}));
    const std::uint64_t old = list.Generation();
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 50u);
    SongRecord none = list.At(0);
    EXPECT_TRUE(none.sid.empty() && none.title.empty() && none.like.empty());
    EXPECT_EQ(none.index, 0);
    list.AppendFromReply(Reply({Song("1"), Song("2")})); // the same songs again
    const std::uint64_t now = list.Generation();
    EXPECT_NE(now, old);
    // Each row once on a fresh record 0 ("1", status 0): only the new generation's work lands.
    const struct {
        const char* what;
        std::uint64_t generation;
        int status; // of record 0 afterwards
    } rows[] = {
        {"a download of the old list", old, 0},
        {"a download of this list", now, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        list.SetStatus(0, 0);
        list.BeginDownload(0, "1", row.generation);
        EXPECT_EQ(list.At(0).status, row.status);
    }
    EXPECT_EQ(list.BeginPlay(1, "2", old), -1);
    EXPECT_EQ(list.BeginPlay(1, "1", now), -1); // another song at that index
    EXPECT_EQ(list.BeginPlay(1, "2", now), 0);
    list.MarkPlayed(1, "2", now);
    EXPECT_EQ(list.At(1).status, 3);
    EXPECT_FALSE(list.BeginDownload(1, "2", now)); // the player's
    EXPECT_EQ(list.AppendFor(old, Reply({Song("3")})).songs.size(), 0u);
    EXPECT_EQ(list.AppendFor(now, Reply({Song("3")})).songs.size(), 1u);
    EXPECT_EQ(list.Count(), 3);
    // A song over its cap stays failed for the run.
    list.MarkFailed("3");
    list.Clear();
    list.AppendFromReply(Reply({Song("3")}));
    EXPECT_FALSE(list.BeginDownload(0, "3", list.Generation()));
}

TEST(SongList, EachReplyLandsAsOneBlockBesideOtherRepliesAndAClear) {
    std::vector<std::string> a, b;
    for (int i = 0; i < 300; ++i) {
        a.push_back(Song("a" + std::to_string(i)));
        b.push_back(Song("b" + std::to_string(i)));
    }
    for (int round = 0; round < 5; ++round) {
        SongList list;
        std::vector<SongRecord> fromA, fromB;
        std::thread fetch([&] { list.AppendFromReply(Reply(a), &fromA); });
        std::thread like([&] { list.AppendFromReply(Reply(b), &fromB); });
        std::thread channelSwitch([&] { list.Clear(); });
        fetch.join();
        like.join();
        channelSwitch.join();
        // Whole replies in reply order, never a mix and never half of one.
        const int count = list.Count();
        ASSERT_TRUE(count == 0 || count == 300 || count == 600) << count;
        for (int i = 0; i < count; ++i) {
            const std::string sid = list.At(i).sid;
            const int block = i / 300;
            ASSERT_EQ(sid.substr(1), std::to_string(i % 300)) << i;
            ASSERT_EQ(sid[0], list.At(block * 300).sid[0]) << i;
        }
        // Each reply's copies: its 300 songs in order, at consecutive indexes.
        for (const auto* copies : {&fromA, &fromB}) {
            ASSERT_EQ(copies->size(), 300u);
            for (std::size_t i = 0; i < 300; ++i) {
                ASSERT_EQ((*copies)[i].sid.substr(1), std::to_string(i));
                ASSERT_EQ((*copies)[i].index, (*copies)[0].index + static_cast<int>(i));
            }
        }
    }
}

} // namespace
