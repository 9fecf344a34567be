#include "platform/Log.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Captured {
    std::vector<std::string> lines;
    Captured() {
        Log::SetSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~Captured() {
        Log::SetSink({});
        Log::Configure("");
    }
};

TEST(Log, OnlyConfiguredCategoriesWriteOneEscapedLineEach) {
    Captured out;
    Log::Configure("net,lyrics,bogus");
    Log(Log::kNet) << "GET " << 404;
    Log(Log::kPlayer) << "not written";
    Log(Log::kLyrics) << "title\r\n[Server]\x01";
    ASSERT_EQ(out.lines.size(), 2u);
    EXPECT_NE(out.lines[0].find(" [net] t"), std::string::npos) << out.lines[0];
    EXPECT_NE(out.lines[0].find(": GET 404"), std::string::npos) << out.lines[0];
    EXPECT_NE(out.lines[1].find("title\\x0d\\x0a[Server]\\x01"), std::string::npos);

    Log::Configure("all");
    Log(Log::kDesktop) << std::string(10'000, 'x');
    ASSERT_EQ(out.lines.size(), 3u);
    EXPECT_LT(out.lines[2].size(), Log::kMaxLineBytes + 64);
    Log::Configure("");
    Log(Log::kNet) << "off";
    EXPECT_EQ(out.lines.size(), 3u);
}

TEST(Log, RedactedHidesSecretsAndKeepsTheRest) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"http://h/j/mine/playlist?type=n&token=ab12&channel=1",
         "http://h/j/mine/playlist?type=n&token=***&channel=1"},
        {"email=a%40b&password=s3cret", "email=a%40b&password=***"},
        {"POST x Authorization: Token abc\r\nHost: h", "POST x Authorization: ***\r\nHost: h"},
        {"Cookie: sid=1; a=2", "Cookie: ***"},
        // Names that merely end in a secret's name are not secrets.
        {"monkey=1&tokens=2&xpass=3", "monkey=1&tokens=2&xpass=3"},
        {"TOKEN=x", "TOKEN=***"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Log::Redacted(c.in), c.out) << c.in;
}

} // namespace
