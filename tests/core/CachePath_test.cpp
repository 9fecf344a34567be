#include "service/CachePath.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(CachePath, FormatsEachKindBelowTemp) {
    EXPECT_EQ(CachePath(kCacheMusic, "1234"), "Temp/Music/1234.mp3");
    EXPECT_EQ(CachePath(kCacheAlbum, "1234"), "Temp/Album/1234.jpg");
    EXPECT_EQ(CachePath(kCacheLyrics, "1234"), "Temp/Lyrics/1234.lrc");
    EXPECT_EQ(CachePath(kCacheMusic, "\xBB\xAA song"), "Temp/Music/\xBB\xAA song.mp3");
    EXPECT_FALSE(CachePath(0, "1234"));
    EXPECT_FALSE(CachePath(4, "1234"));
    EXPECT_FALSE(CachePath(-1, "1234"));
}

TEST(CachePath, RefusesSidsThatAreNoPlainFileName) {
    struct Case {
        std::string sid;
        bool safe;
    } cases[] = {
        {"1234", true},
        {"a.b", true},
        {"...", true},
        {".hidden", true},
        {"\xD6\xD0\xCE\xC4", true}, // GBK
        {"", false},
        {".", false},
        {"..", false},
        {"../x", false},
        {"a/b", false},
        {"/etc/passwd", false},
        {"..\\..\\x", false},
        {std::string("a\0b", 3), false},
        {"a\tb", false},
        {"a\nb", false},
        {"a\x1F", false},
        {"a\x7F", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeCacheName(c.sid), c.safe) << c.sid;
        for (int kind : {kCacheMusic, kCacheAlbum, kCacheLyrics})
            EXPECT_EQ(CachePath(kind, c.sid).has_value(), c.safe) << c.sid;
    }
}

TEST(CachePath, RefusesPathsOverTheLengthLimit) {
    // "Temp/Lyrics/" + sid + ".lrc" is 16 characters around the sid.
    std::string longest(kMaxCachePathLength - 16, '1');
    ASSERT_TRUE(CachePath(kCacheLyrics, longest));
    EXPECT_EQ(CachePath(kCacheLyrics, longest)->size(), kMaxCachePathLength);
    EXPECT_FALSE(CachePath(kCacheLyrics, longest + "1"));
    EXPECT_TRUE(CachePath(kCacheMusic, longest + "1")); // "Music" is one shorter
}

TEST(CacheFolders, AreCreatedAndOnlyMatchingFilesDeleted) {
    TempDir dir(true);
    EXPECT_TRUE(CreateCacheFolders());
    EXPECT_TRUE(CreateCacheFolders()); // already there
    for (const char* d : {"Temp/Music", "Temp/Album", "Temp/Lyrics"})
        EXPECT_TRUE(fs::is_directory(d)) << d;

    const std::string doomed[] = {
        "Temp/Music/1.mp3", "Temp/Music/.mp3", "Temp/Album/1.jpg", "Temp/Lyrics/1.lrc",
        "Temp/Lyrics/2.lrc",
        // What a download broken off by a crash leaves.
        CacheTempPath("Temp/Music/1.mp3"), CacheTempPath("Temp/Album/1.jpg"),
        CacheTempPath("Temp/Lyrics/1.lrc"), "Temp/Music/7.mp3.812-0.part"};
    const std::string kept[] = {"Temp/Music/1.jpg",
                                "Temp/Music/1.mp3.part",
                                "Temp/Album/1.mp3",
                                "Temp/Lyrics/1.LRC",
                                "Temp/keep.mp3",
                                "Temp/Music/sub/3.mp3",
                                "Temp/Music/1.mp3.x1.part",
                                "Temp/Music/1.jpg.1-2.part",
                                "Temp/1.mp3.1-2.part"};
    for (const std::string& f : doomed)
        dir.WriteFile(f, "x");
    for (const std::string& f : kept)
        dir.WriteFile(f, "x");
    fs::create_directories("Temp/Album/folder.jpg");

    DeleteCachedFiles();
    for (const std::string& f : doomed)
        EXPECT_FALSE(fs::exists(f)) << f;
    for (const std::string& f : kept)
        EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_TRUE(fs::is_directory("Temp/Album/folder.jpg"));
}

TEST(CacheFolders, CleanUpWithoutFoldersAndCreationOverAFileFail) {
    TempDir dir(true);
    DeleteCachedFiles(); // nothing there: no error, nothing made
    EXPECT_FALSE(fs::exists("Temp"));
    dir.WriteFile("Temp/Album", "a file where a folder belongs");
    EXPECT_FALSE(CreateCacheFolders());
    EXPECT_TRUE(fs::is_directory("Temp/Music"));
}

} // namespace
