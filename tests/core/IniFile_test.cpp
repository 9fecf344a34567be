#include "platform/Log.h"
#include "settings/IniFile.h"
#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace {

std::string Reserialized(const std::string& text) {
    IniFile ini;
    ini.Parse(text);
    return ini.Serialize();
}

TEST(IniFile, RoundTripWritesCrLfAndAnEmptyLineAfterEachSection) {
    TempDir dir;
    std::string path = (dir.Path() / "config.ini").string();
    dir.WriteFile("config.ini", "[Account]\nremstate=on\n\n[AppSet]\nvolume=80\n");
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    ASSERT_EQ(ini.Sections().size(), 2u);
    EXPECT_EQ(ini.Sections()[0].entries.size(), 1u);
    EXPECT_EQ(ini.Sections()[1].entries.size(), 1u);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(dir.ReadFile("config.ini"),
              "[Account]\r\nremstate=on\r\n\r\n[AppSet]\r\nvolume=80\r\n\r\n");
}

TEST(IniFile, GbkChannelNameSurvivesLoadAndSaveByteForByte) {
    TempDir dir;
    const std::string file =
        "[AppSet]\r\nchid=1\r\nchname=\xBB\xAA\xD3\xEF\xC6\xB5\xB5\xC0\r\n\r\n";
    dir.WriteFile("config.ini", file);
    IniFile ini;
    ASSERT_TRUE(ini.Load((dir.Path() / "config.ini").string()));
    std::string name;
    EXPECT_TRUE(ini.GetString("AppSet", "chname", name, ""));
    EXPECT_EQ(name, "\xBB\xAA\xD3\xEF\xC6\xB5\xB5\xC0");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(dir.ReadFile("config.ini"), file);
}

TEST(IniFile, LinesAreTakenLiterally) {
    IniFile ini;
    ini.Parse("k=before any section\n[A]x\n[B\n=1\na=b=c\nvolume = 80\n;comment\n#x=1\n[]\nz=\n");
    ASSERT_EQ(ini.Sections().size(), 2u);
    EXPECT_EQ(ini.Sections()[0].name, "A");
    std::string v;
    EXPECT_TRUE(ini.GetString("A", "a", v, ""));
    EXPECT_EQ(v, "b=c");
    EXPECT_FALSE(ini.GetString("A", "volume", v, "dflt"));
    EXPECT_EQ(v, "dflt");
    EXPECT_TRUE(ini.GetString("A", "volume ", v, ""));
    EXPECT_EQ(v, " 80");
    EXPECT_TRUE(ini.GetString("A", "#x", v, ""));
    EXPECT_EQ(v, "1");
    EXPECT_FALSE(ini.GetString("A", "k", v, ""));
    EXPECT_EQ(ini.Sections()[1].name, "");
    EXPECT_TRUE(ini.GetString("", "z", v, "x"));
    EXPECT_EQ(v, "");
    EXPECT_EQ(ini.Serialize(), "[A]\r\na=b=c\r\nvolume = 80\r\n#x=1\r\n\r\n[]\r\nz=\r\n\r\n");
}

TEST(IniFile, DuplicatesArePreservedAndTheFirstMatchWins) {
    IniFile ini;
    ini.Parse("[AppSet]\r\nv=1\r\nv=2\r\n[AppSet]\r\nw=3\r\n");
    std::string v;
    EXPECT_TRUE(ini.GetString("AppSet", "v", v, ""));
    EXPECT_EQ(v, "1");
    EXPECT_FALSE(ini.GetString("AppSet", "w", v, ""));
    ini.SetString("AppSet", "v", "9");
    EXPECT_EQ(ini.Serialize(), "[AppSet]\r\nv=9\r\nv=2\r\n\r\n[AppSet]\r\nw=3\r\n\r\n");
}

TEST(IniFile, GetIntReadsLikeAtoi) {
    IniFile ini;
    ini.Parse("[S]\na=12abc\nb=abc\nc=  -7\nd=99999999999\n");
    struct Case {
        const char* key;
        int expect;
    } cases[] = {{"a", 12}, {"b", 0}, {"c", -7}, {"d", 2147483647}};
    for (const auto& c : cases) {
        int out = -1;
        EXPECT_TRUE(ini.GetInt("S", c.key, out, 5)) << c.key;
        EXPECT_EQ(out, c.expect) << c.key;
    }
    int out = 0;
    EXPECT_FALSE(ini.GetInt("S", "missing", out, 5));
    EXPECT_EQ(out, 5);
}

TEST(IniFile, SetAddsMissingSectionAtTheEnd) {
    IniFile ini;
    ini.Parse("[A]\na=1\n");
    ini.SetInt("B", "n", -3);
    ini.AddSection("A");
    EXPECT_EQ(ini.Serialize(), "[A]\r\na=1\r\n\r\n[B]\r\nn=-3\r\n\r\n");
    IniFile empty;
    EXPECT_EQ(empty.Serialize(), "");
}

TEST(IniFile, OverlongLinesAreCutAndEndTheLoading) {
    std::string longValue(5000, 'x');
    IniFile ini;
    ini.Parse("[S]\nk=" + longValue + "\nafter=1\n");
    std::string v;
    EXPECT_TRUE(ini.GetString("S", "k", v, ""));
    EXPECT_EQ(v.size(), IniFile::kMaxLineRead - 2);
    EXPECT_FALSE(ini.GetString("S", "after", v, ""));

    // What is saved is cut to fit, so it loads back whole together with the lines after it.
    IniFile big;
    big.SetString("S", "k", longValue);
    big.SetString("S", "after", "1");
    IniFile back;
    back.Parse(big.Serialize());
    EXPECT_TRUE(back.GetString("S", "after", v, ""));
    EXPECT_TRUE(back.GetString("S", "k", v, ""));
    EXPECT_EQ(v.size(), IniFile::kMaxLineWrite - 2);
    EXPECT_EQ(Reserialized(big.Serialize()), big.Serialize());
}

TEST(IniFile, MissingAndUnwritableFiles) {
    TempDir dir;
    IniFile ini;
    std::string path = (dir.Path() / "none.ini").string();
    EXPECT_FALSE(ini.Load(path));
    EXPECT_TRUE(ini.Sections().empty());
    ini.SetString("A", "k", "v");
    EXPECT_TRUE(ini.Save()); // the remembered path is used even after a failed Load
    EXPECT_EQ(dir.ReadFile("none.ini"), "[A]\r\nk=v\r\n\r\n");
    IniFile bad;
    bad.Load((dir.Path() / "no/such/dir.ini").string());
    std::string logged;
    Log::SetSink([&](std::string_view line) { logged += line; });
    Log::Configure("settings");
    EXPECT_FALSE(bad.Save());
    Log::SetSink({});
    Log::Configure("");
    EXPECT_NE(logged.find("dir.ini failed: cannot create"), logged.npos) << logged;
    EXPECT_NE(logged.find(std::strerror(ENOENT)), logged.npos) << logged;
}

} // namespace

namespace {

using namespace std::string_literals;

// Whatever SetString takes comes back from Save and Load as itself: no value, key or section
// can add a line, a key or a section.
TEST(IniFile, ValuesAreDataNeverStructure) {
    const std::string gbk = "\xBB\xAA\xD3\xEF"; // 华语
    const std::string ascii(2001, 'x');
    const struct {
        std::string section, key, value;
        const char* why;
        std::optional<std::string> stored; // none: refused
    } cases[] = {
        {"AppSet", "history", "1002\n[Server]\nservice=http://h", "",
         "1002[Server]service=http://h"},
        {"AppSet", "chname", "a\r\nb\rc\0d\te\x7Fz"s, "", "abcdez"},
        {"AppSet", "chname", gbk + "=[x]", "GBK bytes stay", gbk + "=[x]"},
        {"", "k", "v", "", "v"},
        {"S", "k", ascii + std::string(2000, '\xB0'), "cut to a line between characters",
         ascii + std::string(1994, '\xB0')},
        {"S", "key=x", "v", "", std::nullopt},
        {"S", "[Server]x", "v", "", std::nullopt},
        {"S", "", "v", "", std::nullopt},
        {"S", "a\nb", "v", "", std::nullopt},
        {"S]\n[T", "k", "v", "", std::nullopt},
        {"S\r", "k", "v", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key + " " + c.why);
        IniFile ini;
        ini.Parse("[AppSet]\r\nvolume=3\r\n");
        EXPECT_EQ(ini.SetString(c.section, c.key, c.value), c.stored.has_value());
        IniFile back;
        back.Parse(ini.Serialize());
        ASSERT_EQ(back.Sections().size(), ini.Sections().size());
        EXPECT_EQ(back.Serialize(), ini.Serialize());
        std::string v;
        EXPECT_EQ(back.GetString(c.section, c.key, v, "<absent>"), c.stored.has_value());
        EXPECT_EQ(v, c.stored.value_or("<absent>"));
    }
}

} // namespace
