// The desktop tests: widgets offscreen, SDL's silent dummy audio device, and a session bus of
// their own. The process runs itself again under dbus-run-session, so a test never sees or
// disturbs the desktop's players and notifications; without a private bus the tests fail
// instead of skipping. Built with LANTOR_TEST_XVFB, the widgets are on a private X server
// instead (TestScreen()), for what the offscreen platform lacks, such as a system tray.
#include <QApplication>
#include <QDBusConnection>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef LANTOR_TEST_XVFB
#include "tests/support/qt/TestScreen.h"

#include <memory>

namespace {
std::unique_ptr<XScreen> screen;
} // namespace

XScreen& TestScreen() {
    return *screen;
}
#endif

namespace {

const char* const kInsideMarker = "LANTOR_TEST_PRIVATE_BUS";

bool Listing(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            return true;
    return false;
}

int RunUnderPrivateBus(int argc, char** argv) {
    setenv(kInsideMarker, "1", 1);
    std::string config = std::string("--config-file=") + LANTOR_BUS_CONFIG;
    std::error_code error;
    std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (self.empty())
        self = argv[0];
    std::vector<char*> args{const_cast<char*>("dbus-run-session"), config.data(),
                            const_cast<char*>("--"), self.data()};
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::fprintf(stderr,
                 "cannot run dbus-run-session (%s): these tests need a private session bus; "
                 "scripts/setup installs dbus-daemon\n",
                 std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const bool listing = Listing(argc, argv);
    if (!listing && !std::getenv(kInsideMarker))
        return RunUnderPrivateBus(argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
#ifdef LANTOR_TEST_XVFB
    if (!listing) {
        screen = std::make_unique<XScreen>("/dev/null");
        if (!screen->Ready()) {
            std::fprintf(stderr, "no private X server: scripts/setup installs Xvfb\n");
            return 1;
        }
        setenv("DISPLAY", screen->Name().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // Qt's own generic desktop, whatever desktop runs the tests.
        for (const char* name : {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                                 "QT_QPA_PLATFORMTHEME", "KDE_FULL_SESSION"})
            unsetenv(name);
    }
#endif
    setenv("LANGUAGE", "zh_CN", 1); // the program's texts as the tests compare them
    QApplication app(argc, argv);
    if (!listing && !QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "the private session bus does not answer\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
