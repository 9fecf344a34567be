// The screen lock and the sleep inhibitor on a private bus: the screen savers, logind and the
// portal are small fakes the test drives, the player a fake that writes down its commands.
#include "app/DesktopShell.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/FakeDesktopControl.h"
#include "tests/support/qt/PumpUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QWidget>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Playback = DesktopControl::Playback;
using Holder = SleepInhibitor::Holder;

const QString kOurSession = QStringLiteral("/org/freedesktop/login1/session/_32");
const QString kOtherSession = QStringLiteral("/org/freedesktop/login1/session/c7");
const QString kRequest = QStringLiteral("/org/freedesktop/portal/desktop/request/1_2/lantor");

// logind (on the private bus in place of the system bus) and, when asked, the portal. It writes
// down the calls it gets; logind's inhibitor is a pipe whose far end it keeps.
class FakeServices : public QDBusVirtualObject {
public:
    FakeServices(const QString& name, bool portal)
        : name(name), bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {
        bus.registerVirtualObject(QStringLiteral("/org/freedesktop"), this,
                                  QDBusConnection::SubPath);
        bus.registerService(QStringLiteral("org.freedesktop.login1"));
        if (portal)
            bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    ~FakeServices() override {
        QDBusConnection::disconnectFromBus(name);
        if (held >= 0)
            close(held);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const QString method = call.member();
        const QVariantList args = call.arguments();
        QDBusMessage reply =
            call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), {});
        if (method == "GetSession") {
            reply = call.createReply(QVariant::fromValue(QDBusObjectPath(kOurSession)));
        } else if (method == "Inhibit" && call.interface().endsWith("Manager")) {
            calls.push_back("logind Inhibit " + args[0].toString().toStdString() + " " +
                            args[3].toString().toStdString());
            int ends[2];
            if (pipe(ends) == 0) {
                if (held >= 0)
                    close(held);
                held = ends[0];
                reply = call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1])));
                close(ends[1]);
            }
        } else if (method == "Inhibit") {
            calls.push_back("portal Inhibit " + std::to_string(args[1].toUInt()));
            reply = call.createReply(QVariant::fromValue(QDBusObjectPath(kRequest)));
        } else if (method == "Close" && call.path() == kRequest) {
            calls.push_back("portal Close");
            reply = call.createReply();
        }
        return connection.send(reply);
    }
    // Whether the program still holds logind's inhibitor open.
    bool LogindHeld() const {
        pollfd p{held, POLLIN, 0};
        return held >= 0 && poll(&p, 1, 0) == 0;
    }
    void Signal(const QString& path, const QString& interface, const QString& member,
                const QVariantList& args = {}) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, member);
        signal.setArguments(args);
        bus.send(signal);
    }
    // Everything sent so far, both ways, has been handled once this returns.
    void Settle() {
        QDBusPendingCall ping =
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                bus.baseService(), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
                QStringLiteral("Ping")));
        EXPECT_TRUE(PumpUntil([&] { return ping.isFinished(); }, 30000));
        QApplication::processEvents();
    }

    std::vector<std::string> calls;

private:
    QString name;
    QDBusConnection bus;
    int held = -1;
};

struct Row {
    const char* name;
    const char* config; // [AppSet] lines
    bool portal;
    Playback start;
    std::vector<const char*> steps; // bus signals, or the listener's play and pause elsewhere
    std::vector<std::string> commands;
    std::vector<std::string> calls;
    Holder held; // at the end
};

TEST(DesktopShellTest, ScreenLockAndSleepFollowTheBus) {
    const char* lockPause = "lockpause=on\r\n";
    const char* keepAwake = "keepawake=on\r\n";
    const std::vector<Row> rows = {
        {"freedesktop screen saver",
         lockPause,
         false,
         Playback::kPlaying,
         {"fdo on", "fdo off"},
         {"Pause", "Play"},
         {},
         Holder::kNone},
        {"GNOME screen saver",
         lockPause,
         false,
         Playback::kPlaying,
         {"gnome on", "gnome off"},
         {"Pause", "Play"},
         {},
         Holder::kNone},
        {"both tell the same lock",
         lockPause,
         false,
         Playback::kPlaying,
         {"fdo on", "gnome on", "gnome off", "fdo off"},
         {"Pause", "Play"},
         {},
         Holder::kNone},
        {"logind",
         lockPause,
         false,
         Playback::kPlaying,
         {"lock", "unlock"},
         {"Pause", "Play"},
         {},
         Holder::kNone},
        {"logind locks, the screen saver unlocks",
         lockPause,
         false,
         Playback::kPlaying,
         {"lock", "fdo off"},
         {"Pause", "Play"},
         {},
         Holder::kNone},
        {"another session",
         lockPause,
         false,
         Playback::kPlaying,
         {"lock other"},
         {},
         {},
         Holder::kNone},
        {"paused before the lock",
         lockPause,
         false,
         Playback::kPaused,
         {"fdo on", "fdo off"},
         {},
         {},
         Holder::kNone},
        {"played again while locked",
         lockPause,
         false,
         Playback::kPlaying,
         {"fdo on", "play", "fdo off"},
         {"Pause"},
         {},
         Holder::kNone},
        {"pause on lock off",
         "",
         false,
         Playback::kPlaying,
         {"fdo on", "fdo off"},
         {},
         {},
         Holder::kNone},
        {"portal keeps it awake",
         keepAwake,
         true,
         Playback::kPlaying,
         {},
         {},
         {"portal Inhibit 12"},
         Holder::kPortal},
        {"portal released on pause",
         keepAwake,
         true,
         Playback::kPlaying,
         {"pause"},
         {},
         {"portal Inhibit 12", "portal Close"},
         Holder::kNone},
        {"logind without a portal",
         keepAwake,
         false,
         Playback::kPlaying,
         {"pause", "play"},
         {},
         {"logind Inhibit sleep:idle block", "logind Inhibit sleep:idle block"},
         Holder::kLogind},
        {"nothing while paused", keepAwake, true, Playback::kPaused, {}, {}, {}, Holder::kNone},
        {"keep awake off", "", true, Playback::kPlaying, {}, {}, {}, Holder::kNone},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir(true);
        dir.WriteFile("config.ini", std::string("[AppSet]\r\n") + row.config);
        FakeServices services(QStringLiteral("services%1").arg(++n), row.portal);
        FakeDesktopControl control;
        control.state.playback = row.start;
        QWidget window;
        const QDBusConnection bus = QDBusConnection::sessionBus();
        DesktopShell shell(control, window, bus, bus);
        ASSERT_TRUE(PumpUntil([&] { return !shell.LockWatcher().SessionPath().isEmpty(); }));
        for (const std::string step : row.steps) {
            const auto saver = [&](const char* interface, bool on) {
                services.Signal(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                QString::fromLatin1(interface), QStringLiteral("ActiveChanged"),
                                {on});
            };
            const QString session = QStringLiteral("org.freedesktop.login1.Session");
            if (step.starts_with("fdo"))
                saver("org.freedesktop.ScreenSaver", step == "fdo on");
            else if (step.starts_with("gnome"))
                saver("org.gnome.ScreenSaver", step == "gnome on");
            else if (step == "lock" || step == "unlock")
                services.Signal(kOurSession, session, step == "lock" ? "Lock" : "Unlock");
            else if (step == "lock other")
                services.Signal(kOtherSession, session, QStringLiteral("Lock"));
            else { // the listener, elsewhere
                DesktopControl::State now;
                now.playback = step == "play" ? Playback::kPlaying : Playback::kPaused;
                control.Set(now);
            }
            services.Settle();
        }
        PumpUntil(
            [&] { return services.calls == row.calls && shell.Inhibitor().Held() == row.held; });
        services.Settle();
        EXPECT_EQ(control.commands, row.commands);
        EXPECT_EQ(services.calls, row.calls);
        EXPECT_EQ(shell.Inhibitor().Held(), row.held);
        EXPECT_EQ(services.LogindHeld(), row.held == Holder::kLogind);
    }
}

} // namespace
