#include "platform/CodePage.h"
#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

const std::string kHuayuUtf8 = "\xE5\x8D\x8E\xE8\xAF\xAD"; // 华语
const std::string kHuayuGbk = "\xBB\xAA\xD3\xEF";

TEST(UrlEncode, UnreservedBytesPassAndOthersBecomeUppercaseEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a b", "a%20b"},
        {"A-Z_0.9~", "A-Z_0.9~"},
        {"\xC4\xE3", "%C4%E3"},
        {"me@x.com", "me%40x.com"},
        {"a+b&c=d/e:f%", "a%2Bb%26c%3Dd%2Fe%3Af%25"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlEncode(c.in), c.out) << c.in;
    EXPECT_EQ(UrlEncode(std::string(200, ' ')).size(), 600u);
    EXPECT_EQ(UrlEncode(static_cast<const char*>(nullptr)), "");
}

TEST(HexCoding, EncodesWithSpacePaddingAndDecodesBack) {
    EXPECT_EQ(HexEncode("abc"), "616263");
    EXPECT_EQ(HexEncode("\t"), " 9");
    EXPECT_EQ(HexDecode(" 9"), "\t");
    EXPECT_EQ(HexEncode(kHuayuGbk), "bbaad3ef");
    EXPECT_EQ(HexDecode("BBAAD3EF"), kHuayuGbk);
    EXPECT_EQ(HexDecode("6162zz63"), "ab");
    EXPECT_EQ(HexDecode("616"), "a");
    EXPECT_EQ(HexDecode(""), "");
    std::string all;
    for (int i = 1; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(HexDecode(HexEncode(all)), all);
}

TEST(Utf8ToAnsi, KeepsGbkBytesAndGivesEveryOtherCharacterItsGb18030Form) {
    struct Case {
        std::string utf8, ansi;
    } cases[] = {
        {kHuayuUtf8, kHuayuGbk},
        {"plain", "plain"},
        {"a\xF0\x9F\x98\x80z", "a\x94\x39\xFC\x36z"}, // U+1F600, four bytes
        {"Bj\xC3\xB6rk", "Bj\x81\x30\x8B\x32rk"},
        {"\xED\x95\x9C", "\x83\x36\x84\x33"}, // Hangul
        {"\xE2\x82\xAC!", "\x80!"},           // GBK's own euro byte, not GB18030's A2 E3
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
        EXPECT_EQ(CodePage::AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
    }
    // A malformed byte becomes the default character.
    EXPECT_EQ(Utf8ToAnsi("a\xFFz"), "a?z");
    EXPECT_EQ(Utf8ToAnsi("a\xE5\x8D"), "a?");
}

TEST(CodePage, GbkSitesAndLimitsSeeWholeCharacters) {
    const std::string mixed = "\x83\x36\x84\x33" + kHuayuGbk + "\x81\x30\x8B\x32!";
    EXPECT_EQ(CodePage::AnsiToGbk(mixed), kHuayuGbk + "!");
    for (auto [limit, kept] : {std::pair{3, 0}, {4, 4}, {7, 6}, {8, 8}, {11, 8}, {12, 12}}) {
        std::string cut = mixed;
        CodePage::CutAtCharacter(cut, limit);
        EXPECT_EQ(cut, mixed.substr(0, kept)) << limit;
    }
}

TEST(MeasureAndConvertUtf8, ReturnsLengthWithZeroPlusOne) {
    EXPECT_EQ(MeasureAndConvertUtf8("abc", nullptr), 5);
    std::string out;
    EXPECT_EQ(MeasureAndConvertUtf8(kHuayuUtf8.c_str(), &out), 6);
    EXPECT_EQ(out, kHuayuGbk);
    EXPECT_EQ(MeasureAndConvertUtf8(nullptr, &out), 2);
    EXPECT_EQ(out, "");
}

TEST(CodePage, CodePointsWithAndWithoutAnsiForm) {
    std::string out;
    EXPECT_TRUE(CodePage::CodePointToAnsi(0x534E, out)); // 华
    EXPECT_EQ(out, "\xBB\xAA");
    EXPECT_TRUE(CodePage::CodePointToAnsi('A', out));
    EXPECT_EQ(out, "A");
    EXPECT_TRUE(CodePage::CodePointToAnsi(0x1F600, out));
    EXPECT_EQ(out, "\x94\x39\xFC\x36");
    EXPECT_FALSE(CodePage::CodePointToAnsi(0xD800, out));
    EXPECT_FALSE(CodePage::CodePointToAnsi(0, out));
}

} // namespace
