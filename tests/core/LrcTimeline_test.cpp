#include "lyrics/LrcTimeline.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;
using Timeline = LrcTimeline::Timeline;

Timeline Parse(const std::string& text) {
    LrcTimeline lrc;
    lrc.SetLrcText(text);
    lrc.ParseLrc();
    EXPECT_TRUE(lrc.IsLoaded());
    return lrc.GetTimeline();
}

TEST(LrcTimeTag, Table) {
    struct Case {
        const char* tag;
        int seconds;
    } cases[] = {
        {"00:01.00", 1},
        {"01:02.99", 62}, // the fraction is ignored, not rounded
        {"02:31.45", 151},
        {"00:05", -1}, // no full stop
        {"ti:Song", -1},
        {"ar:Singer", -1},
        {"al:Album", -1},
        {"by:someone", -1},
        {"offset:500", -1},
        {"x ti:00:01.00", -1}, // metadata markers count anywhere
        {"xyz", -1},
        {"", -1},
        {" 2:3.x", 123}, // atoi skips blanks
        {"1x:05.0", 65}, // ... and stops at the first non-digit
        {"a:b.c", 0},    // no digits read as 0
        {"1:2:3.4", 62}, // first colon, first full stop after it
        {"-1:00.00", -60},
        {"0:-1.00", -1}, // a computed -1 looks like no time tag
        {"+1:+1.0", 61},
        {"99999999999:00.00", -1}, // outside the 32-bit range
        {"35791394:07.00", 2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LrcTimeline::ParseTimeTag(c.tag), c.seconds) << c.tag;
}

TEST(LrcParse, Table) {
    struct Case {
        std::string text;
        Timeline timeline;
    } cases[] = {
        {"[ti:Song]\n[ar:Singer]\n[offset:500]\n[00:01.00]A\n[00:03.50]B\n", {{1, "A"}, {3, "B"}}},
        {"[00:05]Text\n", {}},
        {"[01:02.99]x", {{62, "x"}}},
        {"[00:10.00][00:20.00]Same\n", {{10, "Same"}, {20, "Same"}}},
        {"[00:10.00]\n[00:20.00]Same\n", {{10, ""}, {20, "Same"}}},
        {"[00:10.00]First\n[00:10.50]Second\n", {{10, "First"}}},
        {"[00:01.00]Hello[00:02.00]World", {{1, "Hell"}, {2, "World"}}},
        {"[00:10.00]A\n[xyz]\n[00:12.00]B\n", {{10, "B"}, {12, "B"}}},
        {"[00:49.00]Before\n[00:50.00]Last\n[by:someone]\n", {{49, "Before"}}},
        {"no tags at all\n", {}},
        {"", {}},
        {"[00:01.00]A\n[00:02.00]B [unclosed\nC", {{1, "A"}, {2, "B [unclosed"}}},
        {"[00:03.00]C\n[00:01.00]A\n", {{1, "A"}, {3, "C"}}}, // map order, not file order
        {"[00:01.00]A\r\n[00:02.00]B\r\n", {{1, "A"}, {2, "B"}}},
        {"[00:01.00]A\rjunk\n", {{1, "A"}}},
        {"]]][00:01.00]A", {{1, "A"}}},
        {"[[00:01.00]A", {{1, "A"}}}, // atoi reads "[00" as 0
        // A bracketed word is metadata: the text around it is lost, the time carried over.
        {"[00:01.00]A [word] B\n[00:02.00]C", {{1, "C"}, {2, "C"}}},
        // GBK: "\x81[" and "\x81]" are characters, not brackets.
        {"[00:01.00]A\x81[B\n[00:02.00]C", {{1, "A\x81[B"}, {2, "C"}}},
        {"[ti:\x81]x]\n[00:01.00]A", {{1, "A"}}},
        // Text right before a tag loses its whole last character, never half of one.
        {"[00:01.00]\xC4\xE3\xBA\xC3[00:02.00]x", {{1, "\xC4\xE3"}, {2, "x"}}},
        {"[00:01.00]A\n\x81", {{1, "A"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.text), c.timeline) << c.text;
}

TEST(LrcParse, ReparseReplacesTimelineAndResetsCursors) {
    LrcTimeline lrc;
    lrc.SetLrcText("[00:01.00]A\n[00:02.00]B\n");
    lrc.ParseLrc();
    lrc.SetPlayTime(2);
    EXPECT_EQ(lrc.CurLineText(), "B");
    lrc.SetLrcText("[00:05.00]C\n"s + '\0' + "[00:06.00]D");
    lrc.ParseLrc();
    EXPECT_EQ(lrc.GetTimeline(), (Timeline{{5, "C"}}));
    EXPECT_FALSE(lrc.CurLineKey());
    EXPECT_FALSE(lrc.PrevLineKey());
    EXPECT_FALSE(lrc.NextLineKey());
    EXPECT_EQ(lrc.CurLineText(), "");
}

TEST(LrcCursors, MoveOnlyOnSecondsWithALine) {
    int redraws = 0;
    LrcTimeline lrc([&] { ++redraws; });
    lrc.SetLrcText("[00:10.00]Ten\n[00:12.00]Twelve\n[00:15.00]Fifteen\n");
    lrc.ParseLrc();
    EXPECT_EQ(redraws, 0);
    lrc.SetPlayTime(11);
    EXPECT_FALSE(lrc.CurLineKey());
    EXPECT_EQ(redraws, 0);

    struct Step {
        int seconds;
        std::optional<int> prev, cur, next;
        int redraws;
    } steps[] = {
        {10, std::nullopt, 10, 12, 1},
        {11, std::nullopt, 10, 12, 1}, // no line: nothing changes, no redraw
        {12, 10, 12, 15, 2},
        {12, 10, 12, 15, 3}, // the second tick of the same second redraws again
        {15, 12, 15, std::nullopt, 4},
        {99, 12, 15, std::nullopt, 4},
        {10, std::nullopt, 10, 12, 5}, // seeking back
    };
    for (const auto& s : steps) {
        lrc.SetPlayTime(s.seconds);
        EXPECT_EQ(lrc.PrevLineKey(), s.prev) << s.seconds;
        EXPECT_EQ(lrc.CurLineKey(), s.cur) << s.seconds;
        EXPECT_EQ(lrc.NextLineKey(), s.next) << s.seconds;
        EXPECT_EQ(redraws, s.redraws) << s.seconds;
    }
    EXPECT_EQ(lrc.PrevLineText(), "");
    EXPECT_EQ(lrc.CurLineText(), "Ten");
    EXPECT_EQ(lrc.NextLineText(), "Twelve");

    lrc.ClearLrc();
    EXPECT_FALSE(lrc.IsLoaded());
    EXPECT_TRUE(lrc.GetTimeline().empty());
    EXPECT_FALSE(lrc.CurLineKey());
    EXPECT_EQ(lrc.CurLineText(), "");
    EXPECT_EQ(redraws, 6);
    lrc.SetPlayTime(10);
    EXPECT_EQ(redraws, 6);
}

class LrcFileTest : public ::testing::Test {
protected:
    TempDir dir{true};
    void SetUp() override { dir.MakeCacheFolders(); }
};

TEST_F(LrcFileTest, LoadsCacheFileAsText) {
    // As the lyrics search writes it: CR LF line ends and one NUL at the end.
    dir.WriteFile("Temp/Lyrics/1234.lrc", "[ti:T]\r\n[00:01.00]A\r\n[00:02.00]B\r\n"s + '\0');
    LrcTimeline lrc;
    ASSERT_TRUE(lrc.LoadLrcFile("1234"));
    EXPECT_EQ(lrc.LrcPath(), "Temp/Lyrics/1234.lrc");
    EXPECT_EQ(lrc.LrcText(), "[ti:T]\n[00:01.00]A\n[00:02.00]B\n");
    EXPECT_FALSE(lrc.IsLoaded()) << "loaded only once parsed";
    lrc.ParseLrc();
    EXPECT_EQ(lrc.GetTimeline(), (Timeline{{1, "A"}, {2, "B"}}));
}

TEST_F(LrcFileTest, LoadStopsAtFirstNulAndKeepsLoneCr) {
    dir.WriteFile("Temp/Lyrics/7.lrc", "[00:01.00]A\rB\n"s + '\0' + "[00:02.00]hidden");
    LrcTimeline lrc;
    ASSERT_TRUE(lrc.LoadLrcFile("7"));
    EXPECT_EQ(lrc.LrcText(), "[00:01.00]A\rB\n");
}

TEST_F(LrcFileTest, MissingEmptyOrUnsafeFilesFail) {
    dir.WriteFile("Temp/Lyrics/empty.lrc", "");
    dir.WriteFile("Temp/secret.lrc", "[00:01.00]x");
    LrcTimeline lrc;
    lrc.SetLrcText("[00:01.00]A");
    lrc.ParseLrc();
    ASSERT_TRUE(lrc.IsLoaded());
    const std::string tooLong(300, 'x');
    for (const char* sid : {"missing", "empty", "../secret", "", tooLong.c_str()}) {
        EXPECT_FALSE(lrc.LoadLrcFile(sid)) << sid;
        EXPECT_FALSE(lrc.IsLoaded()) << sid;
    }
    // A file of NULs loads as empty text: loaded, with an empty timeline.
    dir.WriteFile("Temp/Lyrics/nul.lrc", "\0\0"s);
    ASSERT_TRUE(lrc.LoadLrcFile("nul"));
    lrc.ParseLrc();
    EXPECT_TRUE(lrc.IsLoaded());
    EXPECT_TRUE(lrc.GetTimeline().empty());
}

} // namespace
