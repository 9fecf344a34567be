// The installed program as a listener meets it: installed into a temporary root, started with
// its launchers under a private X server with HOME and the XDG folders in a temporary folder.
#include "app/CLoginDlg.h"
#include "platform/TextEncoding.h"
#include "settings/IniFile.h"
#include "tests/install/ChildProcess.h"
#include "tests/install/XScreen.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tests/support/WaitUntil.h"
#include "tools/DemoStation.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Generous: the machine may be busy with other builds.
constexpr auto kStartTimeout = 120s;
constexpr auto kPlayTimeout = 180s;
constexpr const char* kLoginTitle = "登录";
constexpr const char* kPlayingTitle = "正在播放";

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// For failure messages: what a program printed.
std::string Log(const fs::path& p) {
    return "\n---- " + p.filename().string() + "\n" + ReadAll(p);
}

std::string IniValue(const fs::path& file, const char* section, const char* key) {
    IniFile ini;
    std::string value;
    if (ini.Load(file.string()))
        ini.GetString(section, key, value, "");
    return value;
}

bool HoldsFile(const fs::path& dir, const std::string& extension) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == extension)
            return true;
    return false;
}

// Any process still running the given program file.
bool AnyProcessRuns(const fs::path& program) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        std::error_code gone;
        if (fs::read_symlink(e.path() / "exe", gone) == program)
            return true;
    }
    return false;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = std::make_unique<TempDir>();
        const fs::path log = root_->Path() / "install.log";
        ChildProcess install(
            {LANTOR_CMAKE_COMMAND, "--install", LANTOR_BINARY_DIR, "--prefix", "/usr"},
            {"PATH=/usr/bin:/bin", "DESTDIR=" + (root_->Path() / "root").string()}, log);
        installed_ = install.Wait(kStartTimeout) == 0;
        if (!installed_)
            std::fprintf(stderr, "%s\n", Log(log).c_str());
    }
    static void TearDownTestSuite() { root_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(installed_) << "cmake --install failed";
        screen_ = std::make_unique<XScreen>(home_.Path() / "xvfb.log");
        ASSERT_TRUE(screen_->Ready()) << Log(home_.Path() / "xvfb.log");
    }

    static fs::path Bin(const char* name) { return root_->Path() / "root/usr/bin" / name; }

    std::vector<std::string> Environment(std::vector<std::string> more) const {
        more.push_back("PATH=" + Bin("").string() + ":/usr/bin:/bin");
        more.push_back("HOME=" + home_.Path().string());
        more.push_back("DISPLAY=" + screen_->Name());
        more.push_back("SDL_AUDIODRIVER=dummy");
        more.push_back("LANG=C.UTF-8");
        more.push_back("LANGUAGE=zh_CN"); // the window titles looked for
        return more;
    }

    static std::unique_ptr<TempDir> root_;
    static bool installed_;
    TempDir home_;
    std::unique_ptr<XScreen> screen_;
};

std::unique_ptr<TempDir> InstallTest::root_;
bool InstallTest::installed_ = false;

TEST_F(InstallTest, LauncherKeepsTheAccountAndChannelInTheUsersFolders) {
    DemoStation station(TestStationOptions(15));
    ASSERT_TRUE(station.Start(0));
    const fs::path data = home_.Path() / "xdg-data/lantorfm";
    const fs::path cache = home_.Path() / "xdg-cache/lantorfm";
    const fs::path config = data / "config.ini";
    const auto env = Environment({"XDG_DATA_HOME=" + data.parent_path().string(),
                                  "XDG_CACHE_HOME=" + cache.parent_path().string()});
    // Where the login dialog's fields are, in its own coordinates.
    CLoginDlg layout;
    const QPoint emailAt = layout.EmailEdit()->geometry().center();
    const QPoint passwordAt = layout.PasswordEdit()->geometry().center();
    const QRect remember = layout.RememberBox()->geometry();
    const QPoint rememberAt(remember.left() + 8, remember.center().y());
    QPoint okAt;
    for (QPushButton* b : layout.findChildren<QPushButton*>())
        if (b->isDefault())
            okAt = b->geometry().center();

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const fs::path log = home_.Path() / ("lantorfm-" + std::to_string(run) + ".log");
        ChildProcess app({Bin("lantorfm").string()}, env, log);
        const unsigned long login = screen_->FindWindow(kLoginTitle, kStartTimeout);
        ASSERT_NE(login, 0u) << Log(log);
        if (run == 1) {
            ASSERT_TRUE(fs::is_regular_file(config));
            EXPECT_EQ(fs::file_size(config), 0u);
            EXPECT_TRUE(fs::is_regular_file(data / "res/album.jpg"));
            EXPECT_EQ(fs::canonical(data / "Temp"), fs::canonical(cache / "Temp"));
            // The listener's service is this station.
            std::ofstream(config) << "[Server]\r\nservice=" << station.BaseUrl()
                                  << "\r\nlyrics1=" << station.BaseUrl()
                                  << "\r\nlyrics2=" << station.BaseUrl() << "\r\n";
            screen_->Click(login, emailAt.x(), emailAt.y());
            screen_->Type(login, DemoCatalog::kEmail);
            screen_->Click(login, passwordAt.x(), passwordAt.y());
            screen_->Type(login, DemoCatalog::kPassword);
            screen_->Click(login, rememberAt.x(), rememberAt.y());
            // Ticking the box saves the account at once, into the file the launcher made.
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return IniValue(config, "Account", "email") == HexEncode(DemoCatalog::kEmail);
                },
                30s))
                << ReadAll(config) << Log(log);
        }
        // The second run finds the account filled in: OK is all it takes.
        screen_->Click(login, okAt.x(), okAt.y());
        const unsigned long main = screen_->FindWindow(kPlayingTitle, kPlayTimeout);
        ASSERT_NE(main, 0u) << Log(log);
        EXPECT_TRUE(WaitUntil([&] { return HoldsFile(cache / "Temp/Music", ".mp3"); }, 60s));
        screen_->Close(main);
        EXPECT_EQ(app.Wait(kStartTimeout), 0) << Log(log);
        EXPECT_EQ(IniValue(config, "Account", "remstate"), "on");
        EXPECT_FALSE(IniValue(config, "AppSet", "chid").empty()) << ReadAll(config);
        EXPECT_EQ(IniValue(config, "Server", "service"), station.BaseUrl());
    }
}

TEST_F(InstallTest, DemoLauncherPlaysAndStopsItsStation) {
    const fs::path tmp = home_.Path() / "tmp";
    fs::create_directories(tmp);
    const fs::path log = home_.Path() / "lantorfm-demo.log";
    ChildProcess demo({Bin("lantorfm-demo").string()},
                      Environment({"TMPDIR=" + tmp.string(), "LANTOR_DEMO_SONG_SECONDS=8"}), log);
    const unsigned long main = screen_->FindWindow(kPlayingTitle, kPlayTimeout);
    ASSERT_NE(main, 0u) << Log(log);
    EXPECT_TRUE(fs::is_directory(home_.Path() / ".cache/lantorfm/demo-station"));
    screen_->Close(main);
    EXPECT_EQ(demo.Wait(kStartTimeout), 0) << Log(log);
    EXPECT_FALSE(AnyProcessRuns(Bin("lantor-station")));
    for (const auto& e : fs::directory_iterator(tmp))
        EXPECT_EQ(e.path().filename().string().rfind("lantorfm-demo", 0), std::string::npos)
            << e.path() << " is left";
}

} // namespace
