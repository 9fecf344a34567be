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

    const char* doomed[] = {"Temp/Music/1.mp3", "Temp/Music/.mp3", "Temp/Album/1.jpg",
                            "Temp/Lyrics/1.lrc", "Temp/Lyrics/2.lrc"};
    const char* kept[] = {"Temp/Music/1.jpg",  "Temp/Music/1.mp3.part", "Temp/Album/1.mp3",
                          "Temp/Lyrics/1.LRC", "Temp/keep.mp3",         "Temp/Music/sub/3.mp3"};
    for (const char* f : doomed)
        dir.WriteFile(f, "x");
    for (const char* f : kept)
        dir.WriteFile(f, "x");
    fs::create_directories("Temp/Album/folder.jpg");

    DeleteCachedFiles();
    for (const char* f : doomed)
        EXPECT_FALSE(fs::exists(f)) << f;
    for (const char* f : kept)
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
