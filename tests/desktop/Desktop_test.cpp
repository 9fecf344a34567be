// LantorFM on the desktop, against a private session bus, the demo station and SDL's dummy
// driver: the MPRIS player (its properties and methods, and playerctl as the real client), the
// song notifications with their buttons (against a stand-in notification service), one instance
// per folder and the remembered password in the keyring.
#include "app/CLoginDlg.h"
#include "app/CMainDlg.h"
#include "app/InstanceGuard.h"
#include "app/LantorApp.h"
#include "app/MainDlgControl.h"
#include "app/MprisService.h"
#include "app/SongNotifier.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CLantorListPage.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "platform/CodePage.h"
#include "platform/Log.h"
#include "platform/Messages.h"
#include "platform/TextEncoding.h"
#include "playback/CAudioPlayer.h"
#include "service/SongList.h"
#include "settings/IniFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tests/support/qt/PumpUntil.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

// Failures show values, not bytes.
void PrintTo(const QVariant& value, std::ostream* out) {
    QString text;
    QDebug(&text) << value;
    *out << text.toStdString();
}

namespace {

namespace fs = std::filesystem;

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.lantorfm");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr double kSongSeconds = 8;

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

std::string Setting(const char* section, const char* key) {
    IniFile ini;
    ini.Load("config.ini");
    std::string value;
    ini.GetString(section, key, value, "<absent>");
    return value;
}

void ClickAtRightEnd(QWidget* slider) {
    const QPointF at(slider->width() - 1, slider->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, slider->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, slider->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &press);
    QApplication::sendEvent(slider, &release);
}

QString Text(const std::string& gbk) {
    return Resources::AnsiToQString(gbk);
}

QString CoverUrl(const std::string& sid) {
    return QUrl::fromLocalFile(QString::fromStdString(fs::absolute("Temp/Album/" + sid + ".jpg")))
        .toString();
}

// What the bus delivered, as plain Qt values: nested a{sv} as maps, object paths as text.
QVariant Plain(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return Plain(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("as"))
            return qdbus_cast<QStringList>(argument);
        return Plain(qdbus_cast<QVariantMap>(argument));
    }
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = Plain(it.value());
        return map;
    }
    return value;
}

// A client of the player on a bus connection of its own. Calls are asynchronous, since the
// player answers on this same thread.
class BusClient : public QObject {
    Q_OBJECT
public:
    BusClient() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client")) {
        bus.connect(kName, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
        bus.connect(kName, kPath, kPlayer, QStringLiteral("Seeked"), this,
                    SLOT(OnSeeked(qlonglong)));
        // Changes told while the answer was on its way are newer than it.
        const QVariantMap all = GetAll(kPlayer);
        for (auto it = all.begin(); it != all.end(); ++it)
            if (!told.contains(it.key()))
                told.insert(it.key(), it.value());
    }
    ~BusClient() override { QDBusConnection::disconnectFromBus(QStringLiteral("client")); }

    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kName, kPath, interface, method);
        call.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(call);
        PumpUntil([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    }
    QVariant Get(const QString& interface, const QString& name) {
        QDBusMessage reply = Call(kProperties, QStringLiteral("Get"), {interface, name});
        return reply.arguments().isEmpty() ? QVariant() : Plain(reply.arguments().first());
    }
    QVariantMap GetAll(const QString& interface) {
        QDBusMessage reply = Call(kProperties, QStringLiteral("GetAll"), {interface});
        return reply.arguments().isEmpty() ? QVariantMap()
                                           : Plain(reply.arguments().first()).toMap();
    }
    // A property or, as "Metadata/key", one entry of the metadata.
    static QVariant Lookup(const QVariantMap& properties, const QString& key) {
        const qsizetype slash = key.indexOf('/');
        if (slash < 0)
            return properties.value(key);
        return properties.value(key.left(slash)).toMap().value(key.mid(slash + 1));
    }

    QVariantMap told; // the player's properties as GetAll and then PropertiesChanged told them
    std::vector<qlonglong> seeks;

private slots:
    void OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList&) {
        if (interface != kPlayer)
            return;
        for (auto it = changed.begin(); it != changed.end(); ++it)
            told[it.key()] = Plain(it.value());
    }
    void OnSeeked(qlonglong position) { seeks.push_back(position); }

private:
    QDBusConnection bus;
};

// The desktop's notification service, as far as LantorFM uses it.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString app;
        uint replaces;
        QString icon, summary, body;
        QVariantMap hints;
        uint id;
        QStringList actions;
    };

    FakeNotifications()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications")) {}
    ~FakeNotifications() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
    }
    bool Register() {
        return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    void Invoke(uint id, const QString& key) {
        bus.send(QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                            "org.freedesktop.Notifications", "ActionInvoked")
                 << id << key);
    }

    std::vector<Shown> shown;

public slots:
    QStringList GetCapabilities() { return {"actions", "body"}; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        const uint id = replaces ? replaces : nextId++;
        shown.push_back({app, replaces, icon, summary, body, Plain(hints).toMap(), id, actions});
        return id;
    }

private:
    QDBusConnection bus;
    uint nextId = 41;
};

class DesktopTest : public ::testing::Test {
protected:
    DesktopTest() : dir(true) {
        DemoStationOptions options = TestStationOptions(kSongSeconds);
        station = std::make_unique<DemoStation>(options);
        EXPECT_TRUE(station->Start(0));
        EXPECT_TRUE(DemoStation::WriteClientFolder(dir.Path().string(), station->BaseUrl()));
        fs::create_directories("res");
        for (const char* image : {"album.jpg", "vol.jpg"})
            fs::copy_file(fs::path(LANTOR_SOURCE_DIR) / "res" / image, fs::path("res") / image);
    }

    std::unique_ptr<CMainDlg> Open() {
        auto dlg = std::make_unique<CMainDlg>(songs);
        QObject::connect(dlg.get(), &CMainDlg::statusTextChanged,
                         [this](const QString& text) { statuses.push_back(text); });
        dlg->SetCredentials(DemoCatalog::kEmail, DemoCatalog::kPassword);
        dlg->OnInitDialog();
        dlg->show();
        return dlg;
    }

    bool WaitForSong(CMainDlg& dlg, int index) {
        bool ok = PumpUntil([&] {
            NowPlayingInfo info;
            if (!dlg.Player())
                return false;
            dlg.Player()->GetNowPlaying(info);
            return info.index == index && dlg.Player()->GetPosition() > 0.2f;
        });
        EXPECT_TRUE(ok) << "song " << index << " did not start";
        return ok;
    }

    // Playing, with its length and cover known.
    bool WaitForWholeSong(CMainDlg& dlg, int index) {
        return WaitForSong(dlg, index) && PumpUntil([&] {
                   return dlg.Player()->GetDuration() > 0.0f && !dlg.Adaptor().PlayingCoverUrl().isEmpty();
               });
    }

    // Whether the window has shown the status since statuses was cleared. Playlists that
    // arrive later put "正在播放" up by themselves, so the status of the moment says little.
    bool Showed(const QString& status) const {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }

    TempDir dir;
    std::unique_ptr<DemoStation> station;
    SongList songs;
    std::vector<QString> statuses;
};

TEST_F(DesktopTest, MprisPropertiesAndMethodsActThroughTheWindow) {
    auto dlg = Open();
    MprisService mpris(*dlg);
    ASSERT_TRUE(mpris.IsRegistered());
    BusClient client;

    const QVariantMap root{{"Identity", "LantorFM"},
                           {"DesktopEntry", "lantorfm"},
                           {"CanRaise", true},
                           {"CanQuit", true},
                           {"HasTrackList", false},
                           {"SupportedUriSchemes", QStringList()},
                           {"SupportedMimeTypes", QStringList()}};
    EXPECT_EQ(client.GetAll(kRoot), root);
    ASSERT_TRUE(WaitForWholeSong(*dlg, 0));
    ASSERT_EQ(songs.At(1).like, "0"); // liked in the table below

    const auto length = [&] { return double(dlg->Player()->GetDuration()); };
    const QString track0 = QStringLiteral("/org/lantorfm/track/0");
    struct Case {
        const char* name;
        std::function<void()> before = {}; // done in the window first
        QString interface = {};            // then this method, when given
        QString method = {};
        QVariantList args = {};
        std::vector<std::pair<QString, QVariant>> expect = {}; // as read and as told by signals
        std::function<bool()> holds = {};                      // in the window
        // Where a seek went (Seeked, and then Position while paused); none: no seek.
        std::function<double()> seeked = {};
        QString error = {};
    };
    const std::vector<Case> cases = {
        {"playing the first song",
         {},
         {},
         {},
         {},
         {{"PlaybackStatus", "Playing"},
          {"Rate", 1.0},
          {"MinimumRate", 1.0},
          {"MaximumRate", 1.0},
          {"CanControl", true},
          {"CanPlay", true},
          {"CanPause", true},
          {"CanGoNext", true},
          {"CanGoPrevious", false},
          {"CanSeek", true},
          {"Volume", 0.5},
          {"Metadata/mpris:trackid", track0},
          {"Metadata/xesam:title", Text(songs.At(0).title)},
          {"Metadata/mpris:artUrl", CoverUrl(songs.At(0).sid)},
          {"Metadata/mpris:length", qlonglong(std::llround(length() * 1e6))}}},
        {"Pause",
         {},
         kPlayer,
         "Pause",
         {},
         {{"PlaybackStatus", "Paused"}},
         [&] { return Showed(QStringLiteral("已暂停")); }},
        {"Pause while paused", {}, kPlayer, "Pause", {}, {{"PlaybackStatus", "Paused"}}},
        // Paused from here on, so that positions hold still.
        {"SetPosition for another song",
         {},
         kPlayer,
         "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/org/lantorfm/track/7")), qlonglong(3000000)}},
        // Outside the song: ignored, not clamped.
        {"SetPosition before the start",
         {},
         kPlayer,
         "SetPosition",
         {QVariant::fromValue(QDBusObjectPath(track0)), qlonglong(-1)}},
        {"SetPosition beyond the end",
         {},
         kPlayer,
         "SetPosition",
         {QVariant::fromValue(QDBusObjectPath(track0)), qlonglong(length() * 1e6) + 1000}},
        {"SetPosition",
         {},
         kPlayer,
         "SetPosition",
         {QVariant::fromValue(QDBusObjectPath(track0)), qlonglong(3000000)},
         {},
         {},
         [] { return 3.0; }},
        {"Seek back", {}, kPlayer, "Seek", {qlonglong(-1000000)}, {}, {}, [] { return 2.0; }},
        {"Seek before the start",
         {},
         kPlayer,
         "Seek",
         {qlonglong(-9000000)},
         {},
         {},
         [] { return 0.0; }},
        {"progress slider",
         [&] { dlg->OnSliderRelease(CMainDlg::kIdProgress, 50); },
         {},
         {},
         {},
         {},
         {},
         [&] { return length() / 2; }},
        {"Play",
         {},
         kPlayer,
         "Play",
         {},
         {{"PlaybackStatus", "Playing"}},
         [&] { return Showed(QStringLiteral("正在播放")); }},
        {"Stop pauses", {}, kPlayer, "Stop", {}, {{"PlaybackStatus", "Paused"}}},
        {"PlayPause", {}, kPlayer, "PlayPause", {}, {{"PlaybackStatus", "Playing"}}},
        {"OpenUri",
         {},
         kPlayer,
         "OpenUri",
         {"http://127.0.0.1/x.mp3"},
         {{"PlaybackStatus", "Playing"}},
         {},
         {},
         "org.freedesktop.DBus.Error.NotSupported"},
        {"Next",
         {},
         kPlayer,
         "Next",
         {},
         {{"Metadata/mpris:trackid", "/org/lantorfm/track/1"},
          {"Metadata/xesam:userRating", 0.0},
          {"CanGoPrevious", true}}},
        {"like", [&] { dlg->OnLike(); }, {}, {}, {}, {{"Metadata/xesam:userRating", 1.0}}},
        {"volume slider",
         [&] { ClickAtRightEnd(dlg->VolumeSlider()); },
         {},
         {},
         {},
         {{"Volume", 1.0}}},
        {"Volume",
         {},
         kProperties,
         "Set",
         {kPlayer, "Volume", QVariant::fromValue(QDBusVariant(0.25))},
         {{"Volume", 0.25}},
         [&] { return dlg->VolumeSlider()->Pos() == 25 && Setting("AppSet", "volume") == "25"; }},
        {"Previous",
         {},
         kPlayer,
         "Previous",
         {},
         {{"Metadata/mpris:trackid", track0}, {"CanGoPrevious", false}}},
        {"Raise",
         [&] { dlg->showMinimized(); },
         kRoot,
         "Raise",
         {},
         {},
         [&] { return !dlg->isMinimized() && dlg->isActiveWindow(); }},
        {"Quit",
         {},
         kRoot,
         "Quit",
         {},
         {},
         [&] { return dlg->isHidden() && dlg->result() == 0 && fs::is_empty("Temp/Album"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.seeks.clear();
        statuses.clear();
        if (c.before)
            c.before();
        if (!c.method.isEmpty()) {
            QDBusMessage reply = client.Call(c.interface, c.method, c.args);
            if (c.error.isEmpty())
                EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
                    << reply.errorMessage().toStdString();
            else
                EXPECT_EQ(reply.errorName(), c.error);
        }
        const auto matches = [&] {
            for (const auto& [key, value] : c.expect)
                if (BusClient::Lookup(client.told, key) != value)
                    return false;
            return true;
        };
        EXPECT_TRUE(PumpUntil(matches, 10000));
        const QVariantMap now = client.GetAll(kPlayer);
        for (const auto& [key, value] : c.expect) {
            EXPECT_EQ(BusClient::Lookup(client.told, key), value) << "told " << key.toStdString();
            EXPECT_EQ(BusClient::Lookup(now, key), value) << "read " << key.toStdString();
        }
        if (c.holds) {
            EXPECT_TRUE(PumpUntil(c.holds, 10000));
        }
        Pump(50);
        if (!c.seeked) {
            EXPECT_TRUE(client.seeks.empty());
            continue;
        }
        ASSERT_EQ(client.seeks.size(), 1u);
        const double target = c.seeked();
        EXPECT_NEAR(client.seeks[0] / 1e6, target, 0.001);
        const auto position = [&] { return client.Get(kPlayer, "Position").toLongLong() / 1e6; };
        EXPECT_TRUE(PumpUntil([&] { return std::abs(position() - target) < 0.05; }, 5000))
            << position();
    }
}

TEST_F(DesktopTest, PlayerctlShowsAndSteersThePlayingSong) {
    auto dlg = Open();
    MprisService mpris(*dlg);
    ASSERT_TRUE(mpris.IsRegistered());
    const auto playerctl = [&](QStringList args) {
        QProcess process;
        process.start(QStringLiteral("playerctl"), QStringList{"-p", "lantorfm"} + args);
        EXPECT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(process.exitCode(), 0)
            << args.join(' ').toStdString() << ": " << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    const auto position = [&] { return playerctl({"position"}).toDouble(); };

    ASSERT_TRUE(WaitForWholeSong(*dlg, 0));
    const SongRecord first = songs.At(0);
    const QStringList shown =
        playerctl({"metadata", "--format", "{{title}}|{{artist}}|{{album}}|{{mpris:length}}"})
            .split('|');
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], Text(first.title));
    EXPECT_EQ(shown[1], Text(first.artist));
    EXPECT_EQ(shown[2], Text(first.albumtitle));
    EXPECT_NEAR(shown[3].toLongLong() / 1e6, dlg->Player()->GetDuration(), 0.001);

    statuses.clear();
    playerctl({"play-pause"});
    EXPECT_TRUE(PumpUntil([&] { return Showed(QStringLiteral("已暂停")); }));
    EXPECT_EQ(playerctl({"status"}), "Paused");
    const double held = position();
    Pump(600);
    EXPECT_EQ(position(), held);
    statuses.clear();
    playerctl({"play-pause"});
    EXPECT_TRUE(PumpUntil([&] { return Showed(QStringLiteral("正在播放")); }));
    EXPECT_EQ(playerctl({"status"}), "Playing");
    EXPECT_TRUE(PumpUntil([&] { return position() > held + 0.3; }, 5000));

    playerctl({"next"});
    ASSERT_TRUE(WaitForSong(*dlg, 1));
    EXPECT_TRUE(PumpUntil(
        [&] {
            return playerctl({"metadata", "title"}) == Text(songs.At(1).title);
        },
        5000));

    playerctl({"volume", "0.3"});
    EXPECT_TRUE(PumpUntil([&] { return dlg->VolumeSlider()->Pos() == 30; }, 5000));
    EXPECT_EQ(Setting("AppSet", "volume"), "30");

    // The desktop file's actions reach the player the same way.
    QFile entry(QStringLiteral(LANTOR_SOURCE_DIR "/res/desktop/lantorfm.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
    const auto action = [&](const QString& name) {
        const qsizetype group = lines.indexOf("[Desktop Action " + name + "]");
        for (qsizetype i = group + 1; group >= 0 && i < lines.size() && !lines[i].startsWith('[');
             ++i)
            if (lines[i].startsWith("Exec="))
                return lines[i].mid(5);
        return QString();
    };
    const auto run = [&](const QString& name) {
        QProcess process;
        process.start(QStringLiteral("/bin/sh"), {"-c", action(name)});
        EXPECT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(process.exitCode(), 0) << name.toStdString();
    };
    run("Previous");
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    run("Next");
    ASSERT_TRUE(WaitForSong(*dlg, 1));
    statuses.clear();
    run("Play-Pause");
    EXPECT_TRUE(PumpUntil([&] { return Showed(QStringLiteral("已暂停")); }));
}

TEST_F(DesktopTest, SongNotificationsShowEachSongAndReplaceTheLastOne) {
    FakeNotifications service;
    ASSERT_TRUE(service.Register());
    auto dlg = Open();
    SongNotifier notifier(dlg->Adaptor(), *dlg);
    MainDlgControl control(*dlg);
    notifier.SetControl(&control);
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return elsewhere.isActiveWindow(); }, 5000));
    auto& shown = service.shown;

    // The song, then the same notification with its cover once that is in the cache.
    ASSERT_TRUE(WaitForWholeSong(*dlg, 0));
    const SongRecord first = songs.At(0);
    ASSERT_TRUE(PumpUntil([&] {
        return !shown.empty() && shown.back().hints.value("image-path") == CoverUrl(first.sid);
    }));
    for (const auto& n : shown) {
        EXPECT_EQ(n.app, "LantorFM");
        EXPECT_EQ(n.icon, "lantorfm");
        EXPECT_EQ(n.summary, Text(first.title));
        EXPECT_EQ(n.body, Text(first.artist) + QStringLiteral(" — ") + Text(first.albumtitle));
        EXPECT_EQ(n.hints.value("desktop-entry"), "lantorfm");
        EXPECT_EQ(n.id, shown.front().id);
    }
    EXPECT_EQ(shown.front().replaces, 0u);

    // The next song replaces it.
    std::size_t seen = shown.size();
    dlg->OnNext();
    ASSERT_TRUE(WaitForWholeSong(*dlg, 1));
    ASSERT_TRUE(PumpUntil([&] { return shown.size() > seen; }));
    EXPECT_EQ(shown[seen].summary, Text(songs.At(1).title));
    EXPECT_EQ(shown[seen].replaces, shown.front().id);
    ASSERT_TRUE(PumpUntil(
        [&] { return shown.back().hints.value("image-path") == CoverUrl(songs.At(1).sid); }));

    // Its buttons act on its song; an earlier song's or another notification's do nothing.
    EXPECT_EQ(shown.back().actions,
              QStringList({"next:2", "下一首", "like:2", "喜欢", "dislike:2", "不喜欢"}));
    int liked = 0;
    QObject::connect(&dlg->Adaptor(), &SessionAdaptor::songLiked, [&] { ++liked; });
    const uint id = shown.back().id;
    for (const auto& [to, key] : {std::pair{id, "like:1"}, {id + 1, "like:2"}, {id, "like:2"}})
        service.Invoke(to, key);
    EXPECT_TRUE(PumpUntil([&] { return liked > 0; }));
    EXPECT_EQ(liked, 1);
    service.Invoke(id, "next:2");
    ASSERT_TRUE(WaitForWholeSong(*dlg, 2));

    // None while the main window is the active one, none with notify=off.
    const auto expectNoneFor = [&](int index) {
        seen = shown.size();
        dlg->OnNext();
        ASSERT_TRUE(WaitForWholeSong(*dlg, index));
        Pump(300);
        EXPECT_EQ(shown.size(), seen) << "song " << index;
    };
    dlg->activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return dlg->isActiveWindow(); }, 5000));
    expectNoneFor(3);
    elsewhere.activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return elsewhere.isActiveWindow(); }, 5000));
    IniFile ini;
    ASSERT_TRUE(ini.Load("config.ini"));
    ini.SetString("AppSet", "notify", "off");
    ASSERT_TRUE(ini.Save());
    expectNoneFor(4);
}

TEST_F(DesktopTest, TitlesInEveryScriptShowEverywhereAndTheChannelNameRoundTrips) {
    struct Row {
        const char* script;
        std::string utf8;
    };
    const std::vector<Row> rows = {
        {"Korean", "\uC0AC\uB791\uD574\uC694"},        // 사랑해요
        {"Japanese", "\u3055\u304F\u3089 \u685C"},     // さくら 桜
        {"Traditional Chinese", "\u611B\u8207\u8AA0"}, // 愛與誠
        {"Latin", "Bj\u00F6rk Gu\u00F0mundsd\u00F3ttir \u20AC"},
        {"emoji", "Love \U0001F496\U0001F3B6"},
        {"mixed", "\u00DC \uC0AC\uB791 \u3055 \u611B \u534E \U0001F642"},
    };
    DemoStationOptions options = TestStationOptions(kSongSeconds);
    for (const Row& row : rows)
        options.titles.push_back(row.utf8);
    station = std::make_unique<DemoStation>(options);
    ASSERT_TRUE(station->Start(0));
    ASSERT_TRUE(DemoStation::WriteClientFolder(dir.Path().string(), station->BaseUrl()));
    IniFile ini;
    ASSERT_TRUE(ini.Load("config.ini"));
    ini.SetString("AppSet", "chid", "27"); // every song of the catalog, in its order
    ASSERT_TRUE(ini.Save());
    FakeNotifications service;
    ASSERT_TRUE(service.Register());
    auto dlg = Open();
    MprisService mpris(*dlg);
    SongNotifier notifier(dlg->Adaptor(), *dlg);
    MainDlgControl control(*dlg);
    notifier.SetControl(&control);
    QWidget elsewhere; // notifications are for a window in the background
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return elsewhere.isActiveWindow(); }, 5000));
    BusClient client;

    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QString text = QString::fromStdString(rows[i].utf8);
        if (i > 0)
            dlg->OnNext();
        ASSERT_TRUE(WaitForSong(*dlg, static_cast<int>(i))) << rows[i].script;
        EXPECT_TRUE(dlg->windowTitle().contains(text)) << rows[i].script;
        EXPECT_EQ(dlg->ListPage()->List()->ItemText(static_cast<int>(i), 1), text);
        EXPECT_TRUE(PumpUntil([&] {
            return !service.shown.empty() && service.shown.back().summary == text;
        })) << rows[i].script;
        EXPECT_EQ(client.Get(kPlayer, "Metadata").toMap().value("xesam:title"), text);
    }

    // The channel list names its channels the same way; the last one picked is stored and read
    // back as it came.
    dlg->OnChannelButton();
    ASSERT_TRUE(PumpUntil([&] { return dlg->ChannelPage()->ChannelName(13).has_value(); }));
    const std::string name = *dlg->ChannelPage()->ChannelName(13); // the sixth channel
    EXPECT_EQ(CodePage::AnsiToUtf8(name), rows[5].utf8);
    dlg->SwitchChannel(13, name);
    dlg->CloseWindow();
    EXPECT_EQ(Setting("AppSet", "chname"), name);
    EXPECT_EQ(Setting("AppSet", "chname"), Utf8ToAnsi(rows[5].utf8));
}

TEST(SongNotifierText, IsShownLiterallyAndCut) {
    const QString longTitle = QString(198, u'a') + QStringLiteral("\U0001F3B5z");
    const struct {
        QString text;
        bool markup;
        QString sent;
    } cases[] = {
        {"<b>A & B</b>", false, "<b>A & B</b>"},
        {"<b>A & B</b>", true, "&lt;b&gt;A &amp; B&lt;/b&gt;"},
        {"&amp; \"q\"", true, "&amp;amp; \"q\""},
        // Cut before the pair, not inside it.
        {longTitle, false, QString(198, u'a') + QStringLiteral("…")},
        {QString(201, u'<'), true, QString(199, u'<').replace("<", "&lt;") + QStringLiteral("…")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SongNotifier::Literal(c.text, c.markup).toStdString(), c.sent.toStdString());
}

struct HandOverCase {
    const char* name;
    bool bus; // the second start reaches the session bus
};

void PrintTo(const HandOverCase& c, std::ostream* out) {
    *out << c.name;
}

class SecondInstanceTest : public DesktopTest,
                           public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(SecondInstanceTest, ExitsWithZeroAndRaisesTheFirstWindow) {
    // A lock file a crashed run left behind is taken over.
    dir.WriteFile(InstanceGuard::kLockFile, "999999999\n");
    TempDir runtime; // a runtime folder without a user bus in it
    bool checked = false;
    const auto check = [&](CMainDlg& dlg) {
        ASSERT_TRUE(PumpUntil([&] { return dlg.Player() && dlg.Player()->GetPosition() > 0.2f; }));
        dlg.showMinimized();
        ASSERT_TRUE(PumpUntil([&] { return dlg.isMinimized(); }, 5000));

        QProcess second;
        second.setWorkingDirectory(dir.Path().string().c_str());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!GetParam().bus) {
            env.remove("DBUS_SESSION_BUS_ADDRESS");
            env.insert("XDG_RUNTIME_DIR", runtime.Path().string().c_str());
        }
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(LANTOR_PROGRAM), {});
        ASSERT_TRUE(PumpUntil([&] { return second.state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_TRUE(PumpUntil([&] { return !dlg.isMinimized() && dlg.isActiveWindow(); }, 5000));
        EXPECT_EQ(station->RequestsTo("/j/app/login").size(), 1u); // no second player
    };
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<CMainDlg*>(QApplication::activeModalWidget());
        if (!dlg || checked)
            return;
        checked = true;
        probe.stop();
        check(*dlg);
        dlg->close();
    });
    probe.start(100);
    EXPECT_EQ(RunLantorFM(), 0);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(fs::exists(InstanceGuard::kLockFile));
}

INSTANTIATE_TEST_SUITE_P(HandOver, SecondInstanceTest,
                         ::testing::Values(HandOverCase{"OverMpris", true},
                                           HandOverCase{"OverTheFolderSocket", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// What another program finds in the keyring: command (secret-tool ...) on the demo account.
std::string SecretTool(const QString& command) {
    QProcess tool;
    tool.start("/bin/sh", {"-c", command + " user demo@lantor.fm server lantorfm type plaintext"});
    tool.waitForFinished(30000);
    return tool.readAllStandardOutput().toStdString();
}

// A Secret Service whose collection is locked and whose unlock prompt stays open for good.
class StalledKeyring : public QDBusVirtualObject {
public:
    StalledKeyring() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "keyring")) {
        bus.registerVirtualObject("/org/freedesktop/secrets", this, QDBusConnection::SubPath);
        bus.registerService("org.freedesktop.secrets");
    }
    ~StalledKeyring() override { QDBusConnection::disconnectFromBus("keyring"); }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const auto path = [](const char* p) { return QVariant::fromValue(QDBusObjectPath(p)); };
        const auto paths = [](QList<QDBusObjectPath> p) { return QVariant::fromValue(p); };
        const QString method = call.member();
        QDBusMessage reply = call.createErrorReply("org.freedesktop.DBus.Error.NotSupported", {});
        if (method == "OpenSession" && call.arguments().value(0) == "plain")
            reply = call.createReply({QVariant::fromValue(QDBusVariant(QString())),
                                      path("/org/freedesktop/secrets/session/1")});
        else if (method == "SearchItems")
            reply = call.createReply(
                {paths({}), paths({QDBusObjectPath("/org/freedesktop/secrets/collection/a/1")})});
        else if (method == "Unlock")
            reply = call.createReply({paths({}), path("/org/freedesktop/secrets/prompt/1")});
        else if (method == "Prompt")
            reply = call.createReply(), prompted = true; // and Completed never comes
        return connection.send(reply);
    }
    bool prompted = false;

private:
    QDBusConnection bus;
};

enum Keyring { kGnome, kAbsent, kStalled };
enum Before { kNothing, kOldConfig, kInKeyring }; // where the password is at the start
enum Dialog { kNoDialog, kRemember, kUntick };    // what the listener does in it

struct KeyringCase {
    const char* name;
    Keyring keyring;
    Before before;
    Dialog dialog;
    // Afterwards: config.ini's pass, what the keyring holds, whether a second start signs in.
    std::string pass, inKeyring;
    bool restart;
};

void PrintTo(const KeyringCase& c, std::ostream* out) {
    *out << c.name;
}

class KeyringTest : public DesktopTest, public ::testing::WithParamInterface<KeyringCase> {
protected:
    ~KeyringTest() override {
        Log::SetSink({});
        Log::Configure("");
        daemon.terminate();
        daemon.waitForFinished(30000);
    }
    QProcess daemon;
    TempDir home;
};

TEST_P(KeyringTest, KeepsThePasswordWhereItBelongs) {
    static int casesRun = 0;
    if (++casesRun > 1)
        GTEST_SKIP() << "libsecret keeps its first keyring for the whole process: one case per "
                        "process, as ctest runs them";
    const KeyringCase& c = GetParam();
    // Whatever desktop runs the tests, qtkeychain is to use the Secret Service.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID"})
        unsetenv(name);
    std::string log;
    Log::Configure("settings");
    Log::SetSink([&](std::string_view line) { log.append(line); });
    auto stalled = c.keyring == kStalled ? std::make_unique<StalledKeyring>() : nullptr;
    if (c.keyring == kGnome) { // an unlocked login keyring, in a home of its own
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
            env.insert(name, QString::fromStdString(home.Path().string()));
        daemon.setProcessEnvironment(env);
        daemon.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
        daemon.write("unlock");
        daemon.closeWriteChannel();
        ASSERT_TRUE(PumpUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                "org.freedesktop.secrets");
        }));
        if (c.before == kInKeyring)
            SecretTool("printf lantor+demo | secret-tool store --label=x");
    }
    IniFile ini;
    ASSERT_TRUE(ini.Load("config.ini"));
    ini.SetString("Account", "autologin", c.dialog == kNoDialog ? "on" : "off");
    ini.SetString("Account", "remstate", c.before == kNothing ? "off" : "on");
    if (c.before != kOldConfig)
        ini.SetString("Account", "pass", "");
    ASSERT_TRUE(ini.Save());

    // The program as started by the listener, who acts in the login dialog and the main window.
    const auto run = [](std::function<void(CLoginDlg&)> atLogin,
                        std::function<void(CMainDlg&)> atMain) {
        bool loginSeen = false, mainSeen = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* login = qobject_cast<CLoginDlg*>(modal); login && !loginSeen) {
                loginSeen = true;
                if (atLogin)
                    return atLogin(*login);
                ADD_FAILURE() << "a login dialog";
                login->reject();
            } else if (auto* main = qobject_cast<CMainDlg*>(modal); main && !mainSeen) {
                mainSeen = true;
                atMain(*main);
                main->close();
            }
        });
        probe.start(50);
        EXPECT_EQ(RunLantorFM(), 0);
    };
    const auto atLogin = [&](CLoginDlg& login) {
        if (c.dialog == kUntick) { // once the remembered password came from the keyring
            EXPECT_TRUE(PumpUntil([&] { return login.PasswordEdit()->text() == "lantor+demo"; }));
        } else {
            login.EmailEdit()->setText(DemoCatalog::kEmail);
            login.PasswordEdit()->setText(DemoCatalog::kPassword);
            login.AutoLoginBox()->setChecked(true);
        }
        login.RememberBox()->click();
        login.accept();
    };
    // Signed in, and the keyring's answers in, before the window closes.
    const auto signsIn = [&](CMainDlg& main) {
        EXPECT_TRUE(PumpUntil([&] { return !main.Session().UserId().empty(); }) && main.Session().UserId() != "0");
        EXPECT_TRUE(PumpUntil([&] { return Setting("Account", "pass") == c.pass; }));
    };
    run(c.dialog == kNoDialog ? nullptr : std::function<void(CLoginDlg&)>(atLogin),
        [&](CMainDlg& main) {
            if (!stalled)
                return signsIn(main);
            // Waiting for the listener at the keyring's prompt, and still answering.
            ASSERT_TRUE(PumpUntil([&] { return stalled->prompted; }));
            Pump(200);
            EXPECT_EQ(main.StatusText(), QStringLiteral("正在登录..."));
            EXPECT_TRUE(station->RequestsTo("/j/app/login").empty());
        });
    if (stalled)
        return;
    if (c.keyring == kGnome)
        EXPECT_TRUE(PumpUntil([&] { return SecretTool("secret-tool lookup") == c.inKeyring; }));
    else
        EXPECT_NE(log.find("org.freedesktop.secrets"), log.npos) << "no line says why";
    if (c.restart)
        run(nullptr, signsIn);
    for (const StationRequest& request : station->RequestsTo("/j/app/login"))
        EXPECT_EQ(request.Param("password"), DemoCatalog::kPassword);
}

const std::string kPass = DemoCatalog::kPassword;
INSTANTIATE_TEST_SUITE_P(
    Account, KeyringTest,
    ::testing::Values(
        KeyringCase{"Remembered", kGnome, kNothing, kRemember, "", kPass, true},
        KeyringCase{"MovedFromAnOldConfig", kGnome, kOldConfig, kNoDialog, "", kPass, true},
        KeyringCase{"UntickedDeletesIt", kGnome, kInKeyring, kUntick, "", "", false},
        KeyringCase{"NoSecretService", kAbsent, kNothing, kRemember, HexEncode(kPass), "", true},
        KeyringCase{"PromptNeverAnswers", kStalled, kInKeyring, kNoDialog, "", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

#include "Desktop_test.moc"
