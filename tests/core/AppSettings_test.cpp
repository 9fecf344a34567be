#include "settings/AppSettings.h"
#include "tests/support/TempDir.h"

#include "tests/support/WaitUntil.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kHuayu = "\xBB\xAA\xD3\xEF\xC6\xB5\xB5\xC0"; // 华语频道

TEST(AppSettings, EmptyFileGivesDefaultsAndTakesWrites) {
    TempDir dir(true);
    dir.WriteFile("config.ini", "");
    {
        AppSettings s;
        EXPECT_TRUE(s.IsLoaded());
        EXPECT_EQ(s.LoadVolume(), 50);
        int id = -5;
        std::string name;
        EXPECT_TRUE(s.LoadChannel(id, name));
        EXPECT_EQ(id, 1);
        EXPECT_EQ(name, kHuayu);
        EXPECT_FALSE(s.LoadRememberState());
        std::string history = "x";
        EXPECT_TRUE(s.LoadHistory(history));
        EXPECT_EQ(history, "");
        EXPECT_EQ(s.ServiceBase(), AppSettings::kDefaultServiceBase);
    }
    EXPECT_TRUE(AppSettings().SaveVolume(70));
    EXPECT_EQ(dir.ReadFile("config.ini"), "[AppSet]\r\nvolume=70\r\n\r\n");
    EXPECT_EQ(AppSettings().LoadVolume(), 70);
}

TEST(AppSettings, NoFileMeansDefaultsAndTheFirstWriteCreatesIt) {
    TempDir dir(true);
    AppSettings s;
    EXPECT_FALSE(s.IsLoaded());
    int id = 0;
    std::string name = "kept";
    EXPECT_FALSE(s.LoadChannel(id, name));
    EXPECT_EQ(name, "kept");
    EXPECT_EQ(s.LoadVolume(), 50);
    EXPECT_TRUE(s.SaveVolume(10));
    EXPECT_EQ(AppSettings().LoadVolume(), 10);
    EXPECT_EQ(std::filesystem::status("config.ini").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // One that is there but cannot be read is never saved over.
    std::filesystem::remove("config.ini");
    std::filesystem::create_directory("config.ini");
    EXPECT_FALSE(AppSettings().SaveVolume(20));
    EXPECT_TRUE(std::filesystem::is_directory("config.ini"));
}

TEST(AppSettings, NegativeValuesAndMissingNameStoreDefaults) {
    TempDir dir(true);
    dir.WriteFile("config.ini", "");
    EXPECT_TRUE(AppSettings().SaveVolume(-4));
    EXPECT_TRUE(AppSettings().SaveChannel(-2, nullptr));
    AppSettings s;
    EXPECT_EQ(s.LoadVolume(), 0);
    int id = 0;
    std::string name;
    s.LoadChannel(id, name);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(name, kHuayu);
    EXPECT_TRUE(AppSettings().SaveChannel(12, "Jazz"));
    AppSettings().LoadChannel(id, name);
    EXPECT_EQ(id, 12);
    EXPECT_EQ(name, "Jazz");
}

TEST(AppSettings, AccountIsHexEncodedAndTheFileBecomesPrivate) {
    TempDir dir(true);
    dir.WriteFile("config.ini", "");
    std::filesystem::permissions("config.ini", std::filesystem::perms(0644));
    EXPECT_TRUE(AppSettings().SaveRememberState(true));
    EXPECT_TRUE(AppSettings().SaveAccount("abc", "p\tw"));
    EXPECT_EQ(dir.ReadFile("config.ini"),
              "[Account]\r\nremstate=on\r\nemail=616263\r\npass=70 977\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(stat("config.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Unticking "remember" keeps the stored account.
    EXPECT_TRUE(AppSettings().SaveRememberState(false));
    AppSettings s;
    EXPECT_FALSE(s.LoadRememberState());
    std::string email = "untouched", pass;
    s.LoadAccount(email, pass);
    EXPECT_EQ(email, "abc");
    EXPECT_EQ(pass, "p\tw");
}

TEST(AppSettings, OnlyExactlyOnCountsAsOn) {
    TempDir dir(true);
    for (const char* value : {"On", "on ", "ON", "1", ""}) {
        dir.WriteFile("config.ini", std::string("[Account]\r\nremstate=") + value +
                                        "\r\nautologin=" + value + "\r\n");
        AppSettings s;
        EXPECT_FALSE(s.LoadRememberState()) << value;
        EXPECT_FALSE(s.LoadAutoLogin()) << value;
    }
    dir.WriteFile("config.ini", "[Account]\r\nremstate=on\r\nautologin=on\r\n");
    EXPECT_TRUE(AppSettings().LoadRememberState());
    EXPECT_TRUE(AppSettings().LoadAutoLogin());
}

TEST(AppSettings, NotificationsAreOffOnlyWithExactlyOff) {
    TempDir dir(true);
    EXPECT_TRUE(AppSettings().LoadNotify()); // no file
    const struct {
        const char* file;
        bool on;
    } cases[] = {
        {"", true},
        {"[AppSet]\r\nvolume=3\r\n", true},
        {"[AppSet]\r\nnotify=off\r\n", false},
        {"[AppSet]\r\nnotify=on\r\n", true},
        {"[AppSet]\r\nnotify=Off\r\n", true},
        {"[Account]\r\nnotify=off\r\n", true}, // another section's key
    };
    for (const auto& c : cases) {
        dir.WriteFile("config.ini", c.file);
        EXPECT_EQ(AppSettings().LoadNotify(), c.on) << c.file;
    }
    // Other writes keep the key.
    EXPECT_TRUE(AppSettings().SaveVolume(20));
    EXPECT_EQ(dir.ReadFile("config.ini"),
              "[Account]\r\nnotify=off\r\n\r\n[AppSet]\r\nvolume=20\r\n\r\n");
    dir.WriteFile("config.ini", "[AppSet]\r\nnotify=off\r\n");
    EXPECT_TRUE(AppSettings().SaveVolume(20));
    EXPECT_FALSE(AppSettings().LoadNotify());
}

TEST(AppSettings, AbsentAccountLeavesOutputsAndBadHexStopsEarly) {
    TempDir dir(true);
    dir.WriteFile("config.ini", "[Account]\r\nemail=6162zz\r\n");
    std::string email, pass = "kept";
    AppSettings().LoadAccount(email, pass);
    EXPECT_EQ(email, "ab");
    EXPECT_EQ(pass, "kept");
}

TEST(AppSettings, ServerBasesComeFromTheServerSection) {
    TempDir dir(true);
    dir.WriteFile("config.ini",
                  "[Server]\r\nservice=http://127.0.0.1:8080/\r\nlyrics2=http://127.0.0.1:9\r\n");
    AppSettings s;
    EXPECT_EQ(s.ServiceBase(), "http://127.0.0.1:8080");
    EXPECT_EQ(s.Lyrics1Base(), AppSettings::kDefaultLyrics1Base);
    EXPECT_EQ(s.Lyrics2Base(), "http://127.0.0.1:9");
}

TEST(AppSettings, HistoryAndChannelAreSeparateSavesThatKeepOtherKeys) {
    // In memory where it can: a kill leaves the same there, and the loop's many syncs would only
    // slow the disk for every other test.
    TempDir dir(true, std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    dir.WriteFile("config.ini", "[Account]\r\nremstate=on\r\n\r\n[AppSet]\r\nvolume=33\r\n\r\n");
    EXPECT_TRUE(AppSettings().SaveChannel(5, kHuayu.c_str()));
    EXPECT_TRUE(AppSettings().SaveHistory("103:s|102:s|101:p"));
    EXPECT_EQ(dir.ReadFile("config.ini"),
              "[Account]\r\nremstate=on\r\n\r\n[AppSet]\r\nvolume=33\r\nchid=5\r\nchname=" +
                  kHuayu + "\r\nhistory=103:s|102:s|101:p\r\n\r\n");
}

// This test run again with LANTOR_SAVE_LOOP set is a child that saves in a loop; killed at random
// moments, it must always leave the old config.ini or a new one, whole.
TEST(AppSettings, AKillDuringSavesNeverLeavesTheFileEmptyOrCut) {
    if (const char* folder = std::getenv("LANTOR_SAVE_LOOP")) {
        std::filesystem::current_path(folder);
        for (int i = 1;; ++i) {
            AppSettings().SaveChannel(i, "x");
            AppSettings().SaveHistory(std::string(static_cast<std::size_t>(i % 3000), 'h'));
        }
    }
    // In memory where it can: a kill leaves the same there, and the loop's many syncs would only
    // slow the disk for every other test.
    TempDir dir(true, std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    dir.WriteFile("config.ini", "[Account]\r\nremstate=on\r\nemail=61\r\npass=62\r\n\r\n"
                                "[AppSet]\r\nvolume=30\r\nchid=0\r\nchname=x\r\nhistory=\r\n\r\n");
    const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + test.test_suite_name() + "." + test.name();
    const std::string loop = "LANTOR_SAVE_LOOP=" + dir.Path().string();
    char* argv[] = {const_cast<char*>("child"), const_cast<char*>(filter.c_str()), nullptr};
    char* env[] = {const_cast<char*>(loop.c_str()), nullptr};
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 20; ++round) {
        const std::string before = dir.ReadFile("config.ini");
        const pid_t child = fork();
        if (child == 0) {
            dup2(open("/dev/null", O_WRONLY), 1);
            execve("/proc/self/exe", argv, env);
            _exit(127);
        }
        // Once it has saved, at a random moment of its loop.
        EXPECT_TRUE(WaitUntil([&] { return dir.ReadFile("config.ini") != before; },
                              std::chrono::seconds(60)));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string text = dir.ReadFile("config.ini");
        IniFile ini;
        ini.Parse(text);
        // Whole, with its seven keys (no value holds "=").
        ASSERT_EQ(ini.Serialize(), text) << "round " << round;
        EXPECT_EQ(std::count(text.begin(), text.end(), '='), 7) << text;
    }
}

} // namespace
