// The tray icon as a desktop panel sees it, on a private bus and X server: a
// StatusNotifierWatcher the test provides, and the test as the panel that reads the item's
// properties, activates it and clicks the entries of its dbusmenu. The preferences dialog's
// switches, with the effect of each.
#include "app/DesktopShell.h"
#include "app/PreferencesDlg.h"
#include "settings/AppSettings.h"
#include "settings/IniFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/FakeDesktopControl.h"
#include "tests/support/qt/PumpUntil.h"
#include "tests/support/qt/TestScreen.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QKeyEvent>
#include <QLabel>
#include <QThread>
#include <QWheelEvent>
#include <QWidget>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Failures show values, not bytes.
void PrintTo(const QVariant& value, std::ostream* out) {
    *out << value.toString().toStdString();
}

namespace {

using Playback = DesktopControl::Playback;
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

// The panel's watcher. Qt asks it with blocking calls while it makes the icon, so it answers
// from a thread of its own.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Items)
public:
    FakeWatcher() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher")) {
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        moveToThread(&thread);
        thread.start();
    }
    ~FakeWatcher() override {
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    }
    bool HostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList Items() const {
        std::lock_guard<std::mutex> hold(mutex);
        return items;
    }

public slots:
    // A bus name with the item at the usual path, or a path on the caller's connection.
    void RegisterStatusNotifierItem(const QString& item, const QDBusMessage& call) {
        std::lock_guard<std::mutex> hold(mutex);
        items << (item.startsWith('/') ? call.service() + item : item + "/StatusNotifierItem");
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QDBusConnection bus;
    QThread thread;
    mutable std::mutex mutex; // guards items
    QStringList items;
};

struct MenuNode {
    int id = 0;
    QVariantMap properties;
    std::vector<MenuNode> children;
};

MenuNode ReadNode(const QDBusArgument& in) {
    MenuNode node;
    in.beginStructure();
    in >> node.id >> node.properties;
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;
        node.children.push_back(ReadNode(child.variant().value<QDBusArgument>()));
    }
    in.endArray();
    in.endStructure();
    return node;
}

// The panel: reads the item and its menu on a connection of its own. Calls are asynchronous,
// since the item answers on this same thread.
class Panel {
public:
    explicit Panel(const QString& item)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "panel")),
          service(item.section('/', 0, 0)), path('/' + item.section('/', 1)) {}
    ~Panel() { QDBusConnection::disconnectFromBus(QStringLiteral("panel")); }

    QDBusMessage Call(const QString& at, const QString& interface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, at, interface, method);
        call.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(call);
        EXPECT_TRUE(PumpUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    const QString& Path() const { return path; }
    QVariant Get(const QString& property) {
        const QVariantList reply = Call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {kItemInterface, property})
                                       .arguments();
        return reply.isEmpty() ? QVariant() : reply[0].value<QDBusVariant>().variant();
    }
    QString ToolTip() {
        const auto in = Get(QStringLiteral("ToolTip")).value<QDBusArgument>();
        QString icon, title, text;
        in.beginStructure();
        in >> icon;
        in.beginArray(); // the pixels, unread
        while (!in.atEnd()) {
            in.beginStructure();
            int width, height;
            QByteArray bytes;
            in >> width >> height >> bytes;
            in.endStructure();
        }
        in.endArray();
        in >> title >> text;
        return title;
    }
    // The menu's entries by their labels, a submenu's as "menu/entry".
    std::map<QString, MenuNode> Menu() {
        menuPath = Get(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
        const QDBusMessage reply =
            Call(menuPath, kMenu, QStringLiteral("GetLayout"), {0, -1, QStringList()});
        std::map<QString, MenuNode> entries;
        if (reply.arguments().size() == 2)
            Flatten(ReadNode(reply.arguments()[1].value<QDBusArgument>()), {}, entries);
        return entries;
    }
    void Click(int id) {
        Call(menuPath, kMenu, QStringLiteral("Event"),
             {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
        QApplication::processEvents(); // the entry's action is triggered through the queue
    }

private:
    static void Flatten(const MenuNode& node, const QString& prefix,
                        std::map<QString, MenuNode>& out) {
        for (const MenuNode& child : node.children) {
            QString label = child.properties.value("label").toString();
            label.remove('_');
            if (label.isEmpty())
                continue;
            out[prefix + label] = child;
            Flatten(child, prefix + label + '/', out);
        }
    }

    const QString kMenu = QStringLiteral("com.canonical.dbusmenu");
    QDBusConnection bus;
    QString service, path, menuPath;
};

// A main window whose close box would end the program.
class Window : public QWidget {
public:
    bool closed = false;

protected:
    void closeEvent(QCloseEvent*) override { closed = true; }
};

class TrayTest : public ::testing::Test {
protected:
    TrayTest() : dir(true) {
        QCoreApplication::setApplicationName(QStringLiteral("LantorFM"));
        dir.WriteFile("config.ini", "[AppSet]\r\n");
        control.state = {Playback::kPlaying,
                         QStringLiteral("Song <b>1</b>"),
                         QStringLiteral("Singer"),
                         50,
                         1,
                         {{1, QStringLiteral("华语")}, {2, QStringLiteral("R&B")}}};
        window.setWindowTitle(QStringLiteral("LantorFM tray test"));
        window.resize(200, 200);
    }

    // The panel has the item once the watcher knows it.
    std::unique_ptr<Panel> Registered() {
        EXPECT_TRUE(PumpUntil([&] { return !watcher->Items().isEmpty(); }));
        return std::make_unique<Panel>(watcher->Items().value(0));
    }

    bool Active() {
        return PumpUntil([&] { return window.isVisible() && window.isActiveWindow(); });
    }

    // The close box, as the window manager sends it.
    bool CloseBox() {
        window.show();
        const unsigned long id =
            TestScreen().FindWindow(window.windowTitle().toStdString(), std::chrono::seconds(30));
        TestScreen().Close(id);
        return id && PumpUntil([&] { return window.closed || window.isHidden(); });
    }

    TempDir dir;
    // Before any tray icon: Qt looks for a watcher once per process.
    std::unique_ptr<FakeWatcher> watcher = std::make_unique<FakeWatcher>();
    FakeDesktopControl control;
    Window window;
};

TEST_F(TrayTest, PanelSeesTheItemAndItsMenuActs) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    DesktopShell shell(control, window, bus, bus);
    ASSERT_TRUE(shell.Tray().Shown());
    auto panel = Registered();

    struct Row {
        const char* entry;
        bool enabled;
        int toggle;                        // dbusmenu's toggle-state: -1 none, 0 off, 1 on
        std::vector<std::string> commands; // after the click
        std::function<bool()> holds = {};
    };
    const std::vector<Row> rows = {
        {"暂停", true, -1, {"Pause"}},
        {"播放", true, -1, {"Play"}},
        {"下一首", true, -1, {"Next"}},
        {"喜欢", true, -1, {"Like"}},
        {"不喜欢", true, -1, {"Dislike"}},
        {"频道/华语", true, 1, {"SwitchChannel 1"}},
        {"频道/R&B", true, 0, {"SwitchChannel 2"}},
        {"显示主窗口", true, -1, {}, [&] { return Active(); }},
        {"设置...", true, -1, {}, [&] { return shell.Dialog() && shell.Dialog()->isVisible(); }},
        {"退出", true, -1, {"Quit"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        control.commands.clear();
        const auto entries = panel->Menu();
        const auto found = entries.find(QString::fromUtf8(row.entry));
        ASSERT_NE(found, entries.end());
        const QVariantMap& properties = found->second.properties;
        EXPECT_EQ(properties.value("enabled", true).toBool(), row.enabled);
        EXPECT_EQ(properties.value("toggle-state", -1).toInt(), row.toggle);
        panel->Click(found->second.id);
        EXPECT_TRUE(PumpUntil([&] { return control.commands == row.commands; }))
            << control.commands.size();
        if (row.holds) {
            EXPECT_TRUE(row.holds());
        }
    }
    EXPECT_EQ(panel->Menu().at("频道/R&B").properties.value("toggle-state"), 1);

    // While stopped there is nothing to play, skip or rate.
    control.Set({});
    control.commands.clear();
    const auto stopped = panel->Menu();
    for (const char* entry : {"播放", "下一首", "喜欢", "不喜欢"}) {
        const MenuNode& node = stopped.at(QString::fromUtf8(entry));
        EXPECT_FALSE(node.properties.value("enabled", true).toBool()) << entry;
        panel->Click(node.id);
    }
    EXPECT_EQ(control.commands, std::vector<std::string>());
}

TEST_F(TrayTest, ItemFollowsThePlayerAndTheClicks) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    DesktopShell shell(control, window, bus, bus);
    auto panel = Registered();
    EXPECT_EQ(panel->Get("Title"), "LantorFM");
    EXPECT_EQ(panel->Get("IconName"), "lantorfm");
    EXPECT_EQ(panel->Get("Status"), "Active");
    const QString song = QStringLiteral("Song <\u2060b>1<\u2060/b> - Singer");
    const auto wheel = [&](int delta) {
        QWheelEvent event({}, {}, {}, {0, delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&shell.Tray().Icon(), &event);
    };
    struct Row {
        const char* name;
        std::function<void()> act;
        std::vector<std::string> commands;
        QString toolTip;
        std::function<bool()> holds = {};
    };
    const std::vector<Row> rows = {
        {"Activate shows the hidden window",
         [&] {
             window.hide(), panel->Call(panel->Path(), kItemInterface, "Activate", {0, 0});
         },
         {},
         song,
         [&] { return Active(); }},
        {"Activate hides the active window",
         [&] {
             panel->Call(panel->Path(), kItemInterface, "Activate", {0, 0});
         },
         {},
         song,
         [&] { return PumpUntil([&] { return window.isHidden(); }); }},
        {"SecondaryActivate pauses",
         [&] {
             panel->Call(panel->Path(), kItemInterface, "SecondaryActivate", {0, 0});
         },
         {"Pause"},
         song + QStringLiteral(" (已暂停)")},
        {"SecondaryActivate plays",
         [&] {
             panel->Call(panel->Path(), kItemInterface, "SecondaryActivate", {0, 0});
         },
         {"Play"},
         song},
        {"wheel up, as the XEmbed icon passes it", [&] { wheel(120); }, {"SetVolume 55"}, song},
        {"wheel down", [&] { wheel(-120); }, {"SetVolume 50"}, song},
        {"stopped", [&] { control.Set({}); }, {}, QStringLiteral("LantorFM")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        control.commands.clear();
        row.act();
        EXPECT_TRUE(PumpUntil([&] { return control.commands == row.commands; }));
        EXPECT_TRUE(PumpUntil([&] { return panel->ToolTip() == row.toolTip; }, 10000))
            << panel->ToolTip().toStdString();
        if (row.holds) {
            EXPECT_TRUE(row.holds());
        }
    }
}

std::string Stored(const char* key) {
    IniFile ini;
    std::string value = "<absent>";
    if (ini.Load("config.ini"))
        ini.GetString("AppSet", key, value, "<absent>");
    return value;
}

TEST_F(TrayTest, PreferencesStoreAndApplyEachSwitch) {
    using P = Preferences;
    std::unique_ptr<DesktopShell> shell;
    const auto saver = [](bool on) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"));
        signal << on;
        QDBusConnection::sessionBus().send(signal);
    };
    struct Row {
        P::Key key;
        const char* before; // the [AppSet] line; null: no config.ini at all
        bool ticked;        // as the dialog opens
        const char* after;  // in config.ini once toggled
        std::function<bool()> applied;
    };
    const std::vector<Row> rows = {
        {P::kNotify, "", true, "off", [] { return !AppSettings().LoadNotify(); }},
        {P::kNotify, "notify=off", false, "on", [] { return AppSettings().LoadNotify(); }},
        {P::kNotify, "notify=On", true, "off", [] { return !AppSettings().LoadNotify(); }},
        {P::kTrayIcon, "", true, "off",
         [&] { return !shell->Tray().Shown() && window.isVisible(); }},
        {P::kCloseToTray, "", false, "on", [&] { return CloseBox() && !window.closed; }},
        {P::kCloseToTray, "closetotray=on", true, "off",
         [&] { return CloseBox() && window.closed; }},
        {P::kStartHidden, "", false, "on", [&] { return shell->StartsHidden(); }},
        {P::kPauseOnLock, "lockpause=yes", false, "on",
         [&] {
             saver(true);
             return PumpUntil(
                 [&] { return control.commands == std::vector<std::string>{"Pause"}; });
         }},
        {P::kKeepAwake, "", false, "on", [&] { return shell->Inhibitor().Wanted(); }},
        {P::kKeepAwake, nullptr, false, "<absent>",
         [&] { return shell->Inhibitor().Wanted() && shell->Dialog()->Failure()->isVisible(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(P::kKeys[row.key].name) + " from " +
                     (row.before ? row.before : "no file"));
        std::filesystem::remove("config.ini");
        if (row.before)
            dir.WriteFile("config.ini", std::string("[AppSet]\r\n") + row.before + "\r\n");
        control.commands.clear();
        control.state.playback = Playback::kPlaying;
        window.closed = false;
        window.hide();
        if (row.key == P::kTrayIcon)
            window.hide(); // its icon is the way back
        else
            window.show();
        shell = std::make_unique<DesktopShell>(control, window, QDBusConnection::sessionBus(),
                                               QDBusConnection::sessionBus());
        shell->ShowPreferences();
        QCheckBox* box = shell->Dialog()->Box(row.key);
        ASSERT_EQ(box->isChecked(), row.ticked);
        // Reached with Tab and read out by its text; Space toggles it.
        EXPECT_TRUE(box->focusPolicy() & Qt::TabFocus);
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(box)
                        ->text(QAccessible::Name)
                        .startsWith(box->text().left(4)));
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
            QApplication::sendEvent(box, &key);
        }
        EXPECT_EQ(box->isChecked(), !row.ticked);
        EXPECT_EQ(Stored(P::kKeys[row.key].name), row.after);
        EXPECT_TRUE(row.applied());
        shell.reset();
    }
}

// Last: Qt looks for a watcher once per process, so this case must not be the first of a process
// (ctest runs each in a process of its own).
TEST_F(TrayTest, WithoutATrayTheWindowStaysTheWayBack) {
    watcher.reset();
    dir.WriteFile("config.ini", "[AppSet]\r\nclosetotray=on\r\nstarthidden=on\r\n");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    DesktopShell shell(control, window, bus, bus);
    EXPECT_FALSE(TrayIcon::Available());
    EXPECT_FALSE(shell.StartsHidden());
    EXPECT_TRUE(CloseBox());
    EXPECT_TRUE(window.closed);
}

} // namespace

#include "Tray_test.moc"
