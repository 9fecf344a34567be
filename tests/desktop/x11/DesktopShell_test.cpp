// The player on the desktop, on a private bus and X server, with fakes of what the desktop runs:
// a StatusNotifierWatcher (the test is the panel: it reads the tray item, activates it and
// clicks its dbusmenu), the screen savers, logind and the portal; the player is a fake that
// writes down its commands.
#include "app/CMainDlg.h"
#include "app/DesktopShell.h"
#include "app/MainDlgControl.h"
#include "app/PreferencesDlg.h"
#include "session/FolderSettings.h"
#include "settings/AppSettings.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/PumpUntil.h"
#include "tests/support/qt/TestScreen.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QKeyEvent>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <unistd.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}

namespace {

using Playback = DesktopControl::Playback;
using Holder = SleepInhibitor::Holder;
using Commands = std::vector<std::string>;
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");
const QString kOurSession = QStringLiteral("/org/freedesktop/login1/session/_32");
const QString kRequest = QStringLiteral("/org/freedesktop/portal/desktop/request/1_2/t");

QDBusMessage Signal(const QString& path, const QString& interface, const QString& name,
                    const QVariantList& args = {}) {
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(args);
    return signal;
}

// The player: writes its commands down and changes as the real one would.
class FakeControl : public DesktopControl {
public:
    State Snapshot() const override { return state; }
    void Play() override { state.playback = Playback::kPlaying, Did("Play"); }
    void Pause() override { state.playback = Playback::kPaused, Did("Pause"); }
    void Next() override { Did("Next"); }
    void Like() override { Did("Like"); }
    void Dislike() override { Did("Dislike"); }
    void SwitchChannel(int id) override {
        state.channelId = id, Did("SwitchChannel " + std::to_string(id));
    }
    void SetVolume(int volume) override {
        state.volume = volume, Did("SetVolume " + std::to_string(volume));
    }
    void Quit() override { Did("Quit"); }
    void Set(const State& now) { state = now, emit changed(); }
    void Did(const std::string& command) { commands.push_back(command), emit changed(); }

    State state;
    Commands commands;
};

// The panel's watcher. Qt asks it with blocking calls while it makes the icon, so it answers
// from a thread of its own.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ Host)
    Q_PROPERTY(int ProtocolVersion READ Host)
public:
    FakeWatcher() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher")) {
        bus.registerObject("/StatusNotifierWatcher", this,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
        bus.registerService("org.kde.StatusNotifierWatcher");
        moveToThread(&thread);
        thread.start();
    }
    ~FakeWatcher() override {
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus("watcher");
    }
    bool Host() const { return true; }
    QString Item() const {
        std::lock_guard<std::mutex> hold(mutex);
        return item;
    }

public slots:
    // A bus name with the item at the usual path, or a path on the caller's connection.
    void RegisterStatusNotifierItem(const QString& name, const QDBusMessage& call) {
        std::lock_guard<std::mutex> hold(mutex);
        item = name.startsWith('/') ? call.service() + name : name + "/StatusNotifierItem";
    }

private:
    QDBusConnection bus;
    QThread thread;
    mutable std::mutex mutex; // guards item
    QString item;
};

// logind (on the private bus in place of the system bus) and the portal when wanted. It writes
// down the calls it gets; logind's inhibitor is a pipe whose far end it keeps.
class FakeServices : public QDBusVirtualObject {
public:
    explicit FakeServices(bool portal)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "services")) {
        bus.registerVirtualObject("/org/freedesktop", this, QDBusConnection::SubPath);
        bus.registerService("org.freedesktop.login1");
        if (portal)
            bus.registerService("org.freedesktop.portal.Desktop");
    }
    ~FakeServices() override {
        QDBusConnection::disconnectFromBus("services");
        close(held);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const QString method = call.member(), first = call.arguments().value(0).toString();
        QDBusMessage reply = call.createReply();
        if (method == "GetSession") {
            reply = call.createReply(QVariant::fromValue(QDBusObjectPath(kOurSession)));
        } else if (method == "Inhibit" && call.interface().endsWith("Manager")) {
            calls.push_back("logind " + first + " " + call.arguments().value(3).toString());
            int ends[2];
            EXPECT_EQ(pipe(ends), 0);
            close(std::exchange(held, ends[0]));
            reply = call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1])));
            close(ends[1]);
        } else if (method == "Inhibit") {
            calls.push_back("portal " + call.arguments().value(1).toString());
            reply = call.createReply(QVariant::fromValue(QDBusObjectPath(kRequest)));
        } else if (method == "Close" && call.path() == kRequest) {
            calls.push_back("portal Close");
        }
        return connection.send(reply);
    }
    bool LogindHeld() const { // the program still holds its end open
        pollfd p{held, POLLIN, 0};
        return held >= 0 && poll(&p, 1, 0) == 0;
    }
    // Everything sent so far, both ways, has been handled once this returns.
    void Settle() {
        QDBusPendingCall ping =
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                bus.baseService(), "/", "org.freedesktop.DBus.Peer", "Ping"));
        EXPECT_TRUE(PumpUntil([&] { return ping.isFinished(); }));
        QApplication::processEvents();
    }

    QDBusConnection bus;
    QStringList calls;
    int held = -1;
};

// The panel: reads the tray item and its menu on a connection of its own. Calls are
// asynchronous, since the item answers on this same thread.
class Panel {
public:
    explicit Panel(const QString& item)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "panel")),
          service(item.section('/', 0, 0)), path('/' + item.section('/', 1)) {}
    ~Panel() { QDBusConnection::disconnectFromBus("panel"); }

    QVariantList Call(const QString& method, const QVariantList& args = {},
                      const QString& interface = kItem, QString at = {}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, at.isEmpty() ? path : at, interface, method);
        call.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(call);
        EXPECT_TRUE(PumpUntil([&] { return pending.isFinished(); }));
        QApplication::processEvents(); // a menu entry's action is triggered through the queue
        return pending.reply().arguments();
    }
    QVariant Get(const QString& property) {
        const QVariantList reply =
            Call("Get", {kItem, property}, "org.freedesktop.DBus.Properties");
        return reply.value(0).value<QDBusVariant>().variant();
    }
    QString ToolTip() { // (icon name, pixels a(iiay), title, text): the title
        const auto in = Get("ToolTip").value<QDBusArgument>();
        QString icon, title;
        in.beginStructure();
        in >> icon;
        in.beginArray();
        for (int width, height; !in.atEnd(); in.endStructure()) {
            QByteArray pixels;
            in.beginStructure();
            in >> width >> height >> pixels;
        }
        in.endArray();
        in >> title;
        return title;
    }
    using Entry = std::pair<int, QVariantMap>; // id, properties
    // The menu's entries by label, a submenu's as "menu/entry".
    std::map<QString, Entry> Menu() {
        menu = Get("Menu").value<QDBusObjectPath>().path();
        std::map<QString, Entry> entries;
        const QVariantList layout = Call("GetLayout", {0, -1, QStringList()}, kMenu, menu);
        Read(layout.value(1).value<QDBusArgument>(), {}, entries);
        return entries;
    }
    void Click(int id) {
        Call("Event", {id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u}, kMenu, menu);
    }

private:
    static void Read(const QDBusArgument& in, const QString& prefix,
                     std::map<QString, Entry>& out) {
        Entry entry;
        in.beginStructure();
        in >> entry.first >> entry.second;
        const QString label = entry.second.value("label").toString().remove('_');
        if (!label.isEmpty())
            out[prefix + label] = entry;
        in.beginArray();
        for (QDBusVariant child; !in.atEnd();) {
            in >> child;
            Read(child.variant().value<QDBusArgument>(),
                 label.isEmpty() ? prefix : prefix + label + '/', out);
        }
        in.endArray();
        in.endStructure();
    }

    QDBusConnection bus;
    QString service, path, menu;
};

// A main window whose close box would end the program.
class Window : public QWidget {
public:
    bool closed = false;

protected:
    void closeEvent(QCloseEvent*) override { closed = true; }
};

class DesktopShellTest : public ::testing::Test {
protected:
    DesktopShellTest() : dir(true) {
        QCoreApplication::setApplicationName("LantorFM");
        Configure("");
        control.state = {Playback::kPlaying,
                         "Song <b>1</b>",
                         "Singer",
                         50,
                         1,
                         {{1, QStringLiteral("华语")}, {2, "R&B"}}};
        window.setWindowTitle("LantorFM test window");
    }
    void Configure(const std::string& lines) {
        dir.WriteFile("config.ini", "[AppSet]\r\n" + lines);
    }
    void Open() {
        shell.reset();
        shell = std::make_unique<DesktopShell>(
            control, window, stored, QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
    }
    // The close box, as the window manager sends it: true once the window closed or hid.
    bool CloseBox() {
        window.show();
        TestScreen().Close(TestScreen().FindWindow("LantorFM test", std::chrono::seconds(30)));
        return PumpUntil([&] { return window.closed || window.isHidden(); });
    }

    TempDir dir;
    FolderSettings stored;
    // Before any tray icon: Qt looks for a watcher once per process.
    std::unique_ptr<FakeWatcher> watcher = std::make_unique<FakeWatcher>();
    FakeControl control;
    Window window;
    std::unique_ptr<DesktopShell> shell;
};

TEST_F(DesktopShellTest, TrayItemAndMenuAct) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return !watcher->Item().isEmpty(); }));
    Panel panel(watcher->Item());
    EXPECT_EQ(panel.Get("Title").toString(), "LantorFM");
    EXPECT_EQ(panel.Get("IconName").toString(), "lantorfm");
    const QString song = QStringLiteral("Song <\u2060b>1<\u2060/b> - Singer");
    const QString paused = song + QStringLiteral(" (已暂停)");
    struct Row {
        const char* act; // a menu entry, a method of the item or a step of the test
        int toggle;      // the entry's toggle-state: -1 none, 0 off, 1 on
        Commands commands;
        QString toolTip;
        std::function<bool()> holds = {};
    };
    const std::vector<Row> rows = {
        {"暂停", -1, {"Pause"}, paused},
        {"播放", -1, {"Play"}, song},
        {"下一首", -1, {"Next"}, song},
        {"喜欢", -1, {"Like"}, song},
        {"不喜欢", -1, {"Dislike"}, song},
        {"频道/华语", 1, {"SwitchChannel 1"}, song},
        {"频道/R&B", 0, {"SwitchChannel 2"}, song},
        {"频道/R&B", 1, {"SwitchChannel 2"}, song},
        {"显示主窗口",
         -1,
         {},
         song,
         [&] { return PumpUntil([&] { return window.isActiveWindow(); }); }},
        {"Activate", -1, {}, song, [&] { return PumpUntil([&] { return window.isHidden(); }); }},
        {"Activate", -1, {}, song, [&] { return PumpUntil([&] { return window.isVisible(); }); }},
        {"SecondaryActivate", -1, {"Pause"}, paused},
        {"wheel up", -1, {"SetVolume 55"}, paused}, // as the XEmbed icon passes it on
        {"wheel down", -1, {"SetVolume 50"}, paused},
        {"设置...",
         -1,
         {},
         paused,
         [&] { return shell->Dialog() && shell->Dialog()->isVisible(); }},
        {"退出", -1, {"Quit"}, paused},
        {"stop", -1, {}, "LantorFM"},
        {"下一首", -1, {}, "LantorFM"}, // disabled: nothing to skip
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.act);
        control.commands.clear();
        const QString act = QString::fromUtf8(row.act);
        if (act.endsWith("Activate")) {
            panel.Call(act, {0, 0});
        } else if (act.startsWith("wheel")) {
            QWheelEvent wheel({}, {}, {}, {0, act.endsWith("up") ? 120 : -120}, {}, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(&shell->Tray().Icon(), &wheel);
        } else if (act == "stop") {
            control.Set({});
        } else {
            const auto entries = panel.Menu();
            ASSERT_TRUE(entries.contains(act));
            const QVariantMap& properties = entries.at(act).second;
            EXPECT_EQ(properties.value("enabled", true).toBool(),
                      control.state.playback != Playback::kStopped);
            EXPECT_EQ(properties.value("toggle-state", -1).toInt(), row.toggle);
            panel.Click(entries.at(act).first);
        }
        EXPECT_TRUE(PumpUntil([&] { return control.commands == row.commands; }, 10000));
        EXPECT_TRUE(PumpUntil([&] { return panel.ToolTip() == row.toolTip; }, 10000));
        if (row.holds) {
            EXPECT_TRUE(row.holds());
        }
    }
}

TEST_F(DesktopShellTest, PreferencesStoreAndApplyEachSwitch) {
    // The window's upper part offers them on a right click, where the cover and the list do not.
    Open();
    for (const auto& [at, offered] :
         {std::pair{QPoint(300, 50), true}, {QPoint(50, 50), false}, {QPoint(300, 200), false}}) {
        QTimer closer;
        QWidget* popup = nullptr;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if ((popup = QApplication::activePopupWidget()))
                popup->close();
        });
        closer.start(0);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, window.mapToGlobal(at));
        QApplication::sendEvent(&window, &event);
        EXPECT_EQ(popup != nullptr, offered) << at.x() << "," << at.y();
    }
    shell->ShowPreferences(); // its own shortcut is in the list
    const QTreeWidgetItem* shortcut = shell->Dialog()->ShortcutList()->topLevelItem(0);
    EXPECT_EQ(shortcut->text(0) + ' ' + shortcut->text(1),
              "设置... " + QKeySequence("Ctrl+,").toString(QKeySequence::NativeText));
    using P = Preferences;
    struct Row {
        P::Key key;
        const char* before; // the [AppSet] line; null: no config.ini at all
        const char* after;  // once Space toggled the box, which showed the other value before
        std::function<bool()> applied;
    };
    const auto lock = [&] {
        QDBusConnection::sessionBus().send(
            Signal("/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", {true}));
        return PumpUntil([&] { return control.commands == Commands{"Pause"}; });
    };
    const std::vector<Row> rows = {
        {P::kNotify, "", "notify=off", [] { return !AppSettings().LoadNotify(); }},
        {P::kNotify, "notify=off", "notify=on", [] { return AppSettings().LoadNotify(); }},
        {P::kNotify, "notify=On", "notify=off", [] { return !AppSettings().LoadNotify(); }},
        {P::kTrayIcon, "", "trayicon=off",
         [&] { return !shell->Tray().Shown() && window.isVisible(); }},
        {P::kCloseToTray, "", "closetotray=on", [&] { return CloseBox() && !window.closed; }},
        {P::kCloseToTray, "closetotray=on", "closetotray=off",
         [&] { return CloseBox() && window.closed; }},
        {P::kStartHidden, "", "starthidden=on", [&] { return shell->StartsHidden(); }},
        {P::kPauseOnLock, "lockpause=yes", "lockpause=on", lock},
        {P::kKeepAwake, "", "keepawake=on", [&] { return shell->Inhibitor().Wanted(); }},
        {P::kKeepAwake, nullptr, "keepawake=on",
         [&] { return shell->Inhibitor().Wanted() && !shell->Dialog()->Failure()->isVisible(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.after + std::string(" from ") + (row.before ? row.before : "no file"));
        std::filesystem::remove("config.ini");
        if (row.before)
            Configure(row.before + std::string("\r\n"));
        control.commands.clear();
        control.state.playback = Playback::kPlaying;
        window.closed = false;
        window.setVisible(row.key != P::kTrayIcon); // then its icon is the way back
        Open();
        shell->ShowPreferences();
        QCheckBox* box = shell->Dialog()->Box(row.key);
        EXPECT_EQ(box->isChecked(), std::string(row.after).ends_with("off"));
        // Reached with Tab, read out by its text, toggled with Space.
        EXPECT_TRUE(box->focusPolicy() & Qt::TabFocus);
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(box)
                        ->text(QAccessible::Name)
                        .startsWith(box->text().left(4)));
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier, " ");
            QApplication::sendEvent(box, &key);
        }
        EXPECT_EQ(box->isChecked(), std::string(row.after).ends_with("on"));
        // Without a config.ini the first switch creates it.
        EXPECT_NE(dir.ReadFile("config.ini").find(row.after + std::string("\r\n")),
                  std::string::npos);
        EXPECT_TRUE(row.applied());
    }
}

TEST_F(DesktopShellTest, ScreenLockAndSleepFollowTheBus) {
    const auto on = Playback::kPlaying, off = Playback::kPaused;
    struct Row {
        const char* name;
        QString setup;              // switches on, "portal" when one runs, "paused" to start paused
        std::vector<QString> steps; // bus signals, or the listener playing or pausing elsewhere
        Commands commands;
        QStringList calls = {};
        Holder held = Holder::kNone; // at the end
    };
    const std::vector<Row> rows = {
        {"freedesktop", "lockpause", {"fdo 1", "fdo 0"}, {"Pause", "Play"}},
        {"GNOME", "lockpause", {"gnome 1", "gnome 0"}, {"Pause", "Play"}},
        {"both", "lockpause", {"fdo 1", "gnome 1", "gnome 0", "fdo 0"}, {"Pause", "Play"}},
        {"logind", "lockpause", {"Lock _32", "Unlock _32"}, {"Pause", "Play"}},
        {"logind, then the saver", "lockpause", {"Lock _32", "fdo 0"}, {"Pause", "Play"}},
        {"another session", "lockpause", {"Lock c7"}, {}},
        {"paused before", "lockpause paused", {"fdo 1", "fdo 0"}, {}},
        {"played while locked", "lockpause", {"fdo 1", "play", "fdo 0"}, {"Pause"}},
        {"lockpause off", "", {"fdo 1", "fdo 0"}, {}},
        {"portal", "keepawake portal", {}, {}, {"portal 12"}, Holder::kPortal},
        {"portal released", "keepawake portal", {"pause"}, {}, {"portal 12", "portal Close"}},
        {"logind inhibitor",
         "keepawake",
         {"pause", "play"},
         {},
         QStringList(2, "logind sleep:idle block"),
         Holder::kLogind},
        {"paused", "keepawake portal paused", {}, {}},
        {"keepawake off", "portal", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        shell.reset(); // it releases what it holds
        std::string config;
        for (const char* key : {"lockpause", "keepawake"})
            if (row.setup.contains(key))
                config += key + std::string("=on\r\n");
        Configure(config);
        FakeServices services(row.setup.contains("portal"));
        control.commands.clear();
        control.state.playback = row.setup.contains("paused") ? off : on;
        Open();
        ASSERT_TRUE(PumpUntil([&] { return !shell->LockWatcher().SessionPath().isEmpty(); }));
        for (const QString& step : row.steps) {
            const QString word = step.section(' ', 0, 0), arg = step.section(' ', 1);
            const QString saver = word == "fdo" ? "org.freedesktop" : "org.gnome";
            if (word == "fdo" || word == "gnome")
                services.bus.send(Signal("/org/freedesktop/ScreenSaver", saver + ".ScreenSaver",
                                         "ActiveChanged", {arg == "1"}));
            else if (word.endsWith("ock"))
                services.bus.send(Signal("/org/freedesktop/login1/session/" + arg,
                                         "org.freedesktop.login1.Session", word));
            else // the listener, elsewhere
                control.state.playback = word == "play" ? on : off, emit control.changed();
            services.Settle();
        }
        PumpUntil(
            [&] { return services.calls == row.calls && shell->Inhibitor().Held() == row.held; });
        services.Settle();
        EXPECT_EQ(control.commands, row.commands);
        EXPECT_EQ(services.calls, row.calls);
        EXPECT_EQ(shell->Inhibitor().Held(), row.held);
        EXPECT_EQ(services.LogindHeld(), row.held == Holder::kLogind);
    }
}

TEST_F(DesktopShellTest, MainWindowStartsAndHidesInTheTrayUntilQuit) {
    Configure("closetotray=on\r\nstarthidden=on\r\n");
    CMainDlg main; // no account: it stays idle
    MainDlgControl real(main);
    DesktopShell desktop(real, main, stored, QDBusConnection::sessionBus(),
                         QDBusConnection::sessionBus());
    const auto entry = [&](const QString& text) {
        for (QAction* action : desktop.Tray().Menu().actions())
            if (action->text() == text)
                action->trigger();
    };
    bool hidden = false, quit = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(main.isHidden());
        entry(QStringLiteral("显示主窗口"));
        const auto id = TestScreen().FindWindow("LantorFM (", std::chrono::seconds(30));
        TestScreen().Close(id); // the close box: hidden, still running
        hidden = id && PumpUntil([&] { return main.isHidden(); });
        QTimer::singleShot(0, [&] { quit = true, entry(QStringLiteral("退出")); });
    });
    EXPECT_EQ(main.Run(!desktop.StartsHidden()), 0);
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(quit);
}

// Last: Qt looks for a watcher once per process, so a process must not start with this case
// (ctest runs each case in a process of its own).
TEST_F(DesktopShellTest, WithoutATrayTheWindowStaysTheWayBack) {
    watcher.reset();
    Configure("closetotray=on\r\nstarthidden=on\r\n");
    Open();
    EXPECT_FALSE(TrayIcon::Available());
    EXPECT_FALSE(shell->StartsHidden());
    EXPECT_TRUE(CloseBox());
    EXPECT_TRUE(window.closed);
}

} // namespace

#include "DesktopShell_test.moc"
