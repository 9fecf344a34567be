// The program end to end: the main window against the demo station, offscreen, with the SDL
// dummy audio driver and short songs.
#include "app/CLoginDlg.h"
#include "app/CMainDlg.h"
#include "session/Backoff.h"
#include "app/Translations.h"
#include "controls/CBitmapButton.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/CPicture.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "lyrics/CLrcQueryDlg.h"
#include "lyrics/CLrcWindow.h"
#include "platform/Messages.h"
#include "platform/TextEncoding.h"
#include "playback/CAudioPlayer.h"
#include "service/RadioClient.h"
#include "service/SongList.h"
#include "settings/AppSettings.h"
#include "settings/IniFile.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/qt/AccessibleTree.h"
#include "tests/support/qt/PumpUntil.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace fs = std::filesystem;

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

int FilesIn(const char* folder) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        n += entry.is_regular_file();
    return n;
}

std::string Setting(const char* section, const char* key) {
    IniFile ini;
    ini.Load("config.ini");
    std::string value;
    ini.GetString(section, key, value, "<absent>");
    return value;
}

class MainWindowTest : public ::testing::Test {
protected:
    explicit MainWindowTest(int stallMs = 60000) : dir(true) {
        clock.start();
        DemoStationOptions options;
        options.songSeconds = 2;
        options.stallMs = stallMs;
        station = std::make_unique<DemoStation>(options);
        EXPECT_TRUE(station->Start(0));
        EXPECT_TRUE(DemoStation::WriteClientFolder(dir.Path().string(), station->BaseUrl()));
        fs::create_directories("res");
        for (const char* image : {"album.jpg", "vol.jpg", "fm.jpg", "account.jpg"})
            fs::copy_file(fs::path(LANTOR_SOURCE_DIR) / "res" / image, fs::path("res") / image);
    }

    std::unique_ptr<CMainDlg> Open(const std::string& password = DemoCatalog::kPassword,
                                   bool autoSignIn = false, SongList* list = nullptr) {
        auto dlg = std::make_unique<CMainDlg>(list ? *list : songs);
        QObject::connect(dlg.get(), &CMainDlg::statusTextChanged, [this](const QString& text) {
            statuses.push_back(text);
            statusTimes.push_back(clock.elapsed());
        });
        dlg->SetCredentials(DemoCatalog::kEmail, password);
        dlg->SetAutoSignIn(autoSignIn);
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
            return info.index == index && dlg.Player()->GetPosition() > 0.2f &&
                   dlg.windowTitle().startsWith(QStringLiteral("LantorFM (正在播放: "));
        });
        if (!ok && dlg.Player()) {
            NowPlayingInfo info;
            dlg.Player()->GetNowPlaying(info);
            ADD_FAILURE() << "waiting for song " << index << ": playing " << info.index << " at "
                          << dlg.Player()->GetPosition() << " s, state "
                          << dlg.Player()->GetPlayState() << ", status "
                          << dlg.StatusText().toStdString() << ", title "
                          << dlg.windowTitle().toStdString() << ", songs " << songs.Count();
        }
        return ok;
    }

    // When the status became text (ms since the test began), from the from-th change on.
    std::vector<qint64> TimesOf(const QString& text, std::size_t from = 0) const {
        std::vector<qint64> times;
        for (std::size_t i = from; i < statuses.size(); ++i)
            if (statuses[i] == text)
                times.push_back(statusTimes[i]);
        return times;
    }

    QElapsedTimer clock;
    TempDir dir;
    std::unique_ptr<DemoStation> station;
    SongList songs;
    std::vector<QString> statuses;
    std::vector<qint64> statusTimes;
};

const QString kSigningIn = QStringLiteral("正在登录...");
const QString kPreparing = QStringLiteral("准备列表...");

TEST_F(MainWindowTest, RejectedSignInAsksAgainAndCloseWritesNothing) {
    auto dlg = Open("wrong password");
    EXPECT_EQ(dlg->StatusText(), kSigningIn); // the reply is awaited on a worker
    ASSERT_TRUE(PumpUntil([&] { return dlg->StatusText() == QStringLiteral("登录失败!"); }));
    EXPECT_EQ(dlg->Session().UserId(), "0");
    EXPECT_EQ(dlg->Player(), nullptr);
    Pump(1500);
    EXPECT_TRUE(station->RequestsTo("/j/app/radio/people").empty());
    EXPECT_EQ(station->RequestsTo("/j/app/login").size(), 1u); // a rejection is never retried
    // The dialog again, with the service's reason; cancelled, the failure stands.
    ASSERT_NE(dlg->LoginDialog(), nullptr);
    EXPECT_EQ(dlg->LoginDialog()->ReasonLine()->text(), QStringLiteral("wrong_password"));
    EXPECT_EQ(dlg->LoginDialog()->PasswordEdit()->selectedText(), "wrong password");
    dlg->LoginDialog()->reject();
    EXPECT_EQ(dlg->LoginDialog(), nullptr);
    // The play button shows; the pause button is hidden.
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPlay)->isVisible());
    EXPECT_FALSE(dlg->Button(CMainDlg::kIdPause)->isVisible());

    dir.WriteFile("Temp/Album/old.jpg", "x");
    std::string before = dir.ReadFile("config.ini");
    dlg->close();
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(dir.ReadFile("config.ini"), before);
    EXPECT_EQ(FilesIn("Temp/Album"), 0);
}

TEST_F(MainWindowTest, SpeaksTheDesktopsLanguageOrTheOneConfigIniNames) {
    struct Texts {
        const char *title, *like, *failed, *ok;
    };
    const Texts zhCN{"LantorFM ( 私人电台 好歌随心听 )", "喜欢", "登录失败!", "确定"};
    const Texts zhTW{"LantorFM ( 私人電台 好歌隨心聽 )", "喜歡", "登入失敗!", "確定"};
    const Texts en{"LantorFM ( Your own radio: good songs, your way )", "Like", "Sign-in failed!",
                   "OK"};
    const struct {
        const char *language, *lang, *setting;
        const Texts& texts;
    } rows[] = {
        {"", "zh_CN.UTF-8", "", zhCN},
        {"", "zh_TW.UTF-8", "", zhTW},
        {"", "zh_HK", "", zhTW},
        {"", "en_GB.UTF-8", "", en},
        {"", "de_DE.UTF-8", "", en}, // every other locale
        {"", "C", "", en},
        {"zh_TW:zh_CN", "en_US.UTF-8", "", zhTW}, // LANGUAGE comes first
        {"", "en_US.UTF-8", "zh_TW", zhTW},       // config.ini overrides the desktop
        {"", "zh_TW.UTF-8", "en", en},
        {"", "de_DE.UTF-8", "zh_CN", zhCN},
    };
    const QByteArray language = qgetenv("LANGUAGE"), lang = qgetenv("LANG");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.language) + " " + row.lang + " " + row.setting);
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            qunsetenv(name);
        qputenv("LANGUAGE", row.language);
        qputenv("LANG", row.lang);
        IniFile ini;
        ASSERT_TRUE(ini.Load("config.ini"));
        ini.SetString("AppSet", "language", row.setting);
        ASSERT_TRUE(ini.Save());
        const Translations translations(Translations::Choose(AppSettings().LoadLanguage()));
        auto dlg = Open("wrong password");
        EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8(row.texts.title));
        EXPECT_EQ(dlg->Button(CMainDlg::kIdLike)->TipText(), QString::fromUtf8(row.texts.like));
        EXPECT_TRUE(
            PumpUntil([&] { return dlg->StatusText() == QString::fromUtf8(row.texts.failed); }));
        QDialogButtonBox box(QDialogButtonBox::Ok);
        EXPECT_EQ(box.button(QDialogButtonBox::Ok)->text(), QString::fromUtf8(row.texts.ok));
        // The dialogs' captions have room for their text.
        CLoginDlg login;
        CLrcQueryDlg query;
        for (const QDialog* dialog : {static_cast<QDialog*>(&login), static_cast<QDialog*>(&query)})
            for (const QWidget* caption : dialog->findChildren<QWidget*>())
                if (qobject_cast<const QLabel*>(caption) ||
                    qobject_cast<const QCheckBox*>(caption)) {
                    EXPECT_LE(caption->sizeHint().width(), caption->width())
                        << caption->property("text").toString().toStdString();
                }
    }
    qputenv("LANGUAGE", language);
    qputenv("LANG", lang);
}

TEST_F(MainWindowTest, MinimisesAndRestoresButNeitherMaximisesNorResizes) {
    auto dlg = Open("wrong password");
    const struct {
        Qt::WindowType hint;
        bool set;
    } hints[] = {{Qt::WindowMinimizeButtonHint, true},  {Qt::WindowCloseButtonHint, true},
                 {Qt::WindowSystemMenuHint, true},      {Qt::WindowTitleHint, true},
                 {Qt::WindowMaximizeButtonHint, false}, {Qt::WindowContextHelpButtonHint, false}};
    for (const auto& h : hints)
        EXPECT_EQ(dlg->windowFlags().testFlag(h.hint), h.set) << std::hex << h.hint;
    EXPECT_EQ(dlg->windowType(), Qt::Window); // window managers offer no minimise to dialogs
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());

    const QRect place = dlg->geometry();
    const QString status = dlg->StatusText();
    dlg->showMinimized();
    EXPECT_TRUE(PumpUntil([&] { return dlg->isMinimized(); }, 2000));
    dlg->showNormal();
    EXPECT_TRUE(PumpUntil([&] { return !dlg->isMinimized(); }, 2000));
    EXPECT_EQ(dlg->windowState(), Qt::WindowNoState);
    EXPECT_EQ(dlg->geometry(), place);
    EXPECT_EQ(dlg->StatusText(), status);
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPlay)->isVisible());
    EXPECT_FALSE(dlg->Button(CMainDlg::kIdPause)->isVisible());
}

TEST_F(MainWindowTest, BeforeThePlayerStartsOnlyCoverVolumeAndStatusArePainted) {
    auto dlg = Open("wrong password");
    QImage shot = dlg->grab().toImage();
    // The default cover is 120 x 120 or larger: framed from (4, 4) to (125, 125).
    EXPECT_EQ(shot.pixelColor(4, 4), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(125, 125), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(127, 127), QColor(Qt::black));
    auto count = [&](QRect area, auto pred) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += pred(shot.pixelColor(x, y));
        return n;
    };
    // Status text in the text colour, and no white time text.
    EXPECT_GT(
        count(QRect(145, 5, 70, 14), [](QColor c) { return c.blue() > 150 && c.red() < 150; }), 10);
    EXPECT_EQ(count(QRect(400, 135, 70, 14), [](QColor c) { return c == QColor(Qt::white); }), 0);
}

TEST_F(MainWindowTest, PlaysTheChannelAndFollowsTheListenersCommands) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], QStringLiteral("准备列表..."));
    EXPECT_EQ(statuses[1], QStringLiteral("正在缓冲"));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), QStringLiteral("正在播放")),
              statuses.end());
    SongRecord first = songs.At(0);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("LantorFM (正在播放: %1 - %2 )")
                                      .arg(Resources::AnsiToQString(first.artist),
                                           Resources::AnsiToQString(first.title)));
    EXPECT_TRUE(dlg->TimersRunning());
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPause)->isVisible());
    EXPECT_FALSE(dlg->Button(CMainDlg::kIdPlay)->isVisible());

    // Every queued song has its row; the playing one is marked.
    ASSERT_TRUE(PumpUntil([&] { return dlg->ListPage()->List()->ItemCount() == songs.Count(); }));
    EXPECT_EQ(dlg->ListPage()->PlayingRow(), dlg->ListPage()->RowOfSong(0));

    // The cover arrives from the station.
    ASSERT_TRUE(PumpUntil([&] { return fs::exists("Temp/Album/" + first.sid + ".jpg"); }));
    const DemoSong* demo = DemoCatalog::FindSong(first.sid);
    ASSERT_NE(demo, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return dlg->CoverPicture()->width == demo->coverWidth; }));

    // Pause holds the position and shows the play button; play resumes.
    dlg->OnPause();
    EXPECT_EQ(dlg->StatusText(), QStringLiteral("已暂停"));
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPlay)->isVisible());
    EXPECT_FALSE(dlg->AnyTimerRunning());
    Pump(600);
    float held = dlg->Player()->GetPosition();
    Pump(500);
    EXPECT_EQ(dlg->Player()->GetPosition(), held);
    dlg->OnPlay();
    EXPECT_EQ(dlg->StatusText(), QStringLiteral("正在播放"));
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPause)->isVisible());
    EXPECT_TRUE(dlg->TimersRunning());

    // Hidden, the spectrum stops; paused while hidden and shown again, the time is the held one.
    dlg->hide();
    EXPECT_TRUE(dlg->AnyTimerRunning() && !dlg->TimersRunning());
    Pump(1200);
    dlg->OnPause();
    dlg->show();
    const float at = dlg->Player()->GetPosition(), length = dlg->Player()->GetDuration();
    EXPECT_EQ(dlg->TimeText(),
              QString::asprintf("0:%02d/0:%02d", static_cast<int>(at), static_cast<int>(length)));
    dlg->OnPlay();

    // Next and previous.
    dlg->OnNext();
    ASSERT_TRUE(WaitForSong(*dlg, 1));
    dlg->OnPrevious();
    ASSERT_TRUE(WaitForSong(*dlg, 0));

    // A release on the volume slider stores the volume.
    CCustomSliderCtrl* volume = dlg->VolumeSlider();
    QPointF right(volume->width() - 1, volume->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, right, volume->mapToGlobal(right), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, right, volume->mapToGlobal(right),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(volume, &press);
    QApplication::sendEvent(volume, &release);
    EXPECT_TRUE(PumpUntil([&] { return Setting("AppSet", "volume") == "100"; }));
    EXPECT_EQ(dlg->Player()->GetVolume(), 100);

    // Lyrics follow the song: a line shows once the play time has reached its second.
    const LrcTimeline& lyrics = dlg->LrcWindow()->Timeline();
    float playedAtLine = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            // Well into a song, so the previous song's lyrics are gone.
            playedAtLine = dlg->Player()->GetPosition();
            return playedAtLine > 0.6f && lyrics.IsLoaded() && lyrics.CurLineKey().has_value();
        },
        20000));
    int key = *lyrics.CurLineKey();
    EXPECT_LE(key, static_cast<int>(playedAtLine));
    EXPECT_EQ(lyrics.CurLineText(), lyrics.GetTimeline().at(key));
    EXPECT_FALSE(lyrics.CurLineText().empty());

    // The channel button shows the channel page; picking another channel empties the list and
    // plays the new channel.
    dlg->OnChannelButton();
    EXPECT_EQ(dlg->ListSheet()->ActivePageIndex(), 1);
    ReportListView* channels = dlg->ChannelPage()->List();
    ASSERT_TRUE(PumpUntil([&] { return channels->ItemCount() > 1; }));
    int row = dlg->ChannelPage()->MarkedRow() == 0 ? 1 : 0;
    channels->SelectRow(row);
    statuses.clear();
    int oldChannel = dlg->Session().ChannelId();
    dlg->ChannelPage()->OnListDoubleClick();
    EXPECT_NE(dlg->Session().ChannelId(), oldChannel);
    EXPECT_EQ(dlg->ListSheet()->ActivePageIndex(), 0);
    ASSERT_TRUE(PumpUntil([&] {
        return std::find(statuses.begin(), statuses.end(), QStringLiteral("正在缓冲")) !=
               statuses.end();
    }));
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    const DemoChannel* channel = DemoCatalog::FindChannel(dlg->Session().ChannelId());
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(songs.At(0).sid, DemoCatalog::Songs()[channel->songs.front()].sid);
    EXPECT_TRUE(PumpUntil([&] { return FilesIn("Temp/Music") > 0; }));

    // Closing saves the channel and the history and empties the cache.
    std::string expectedName = dlg->Session().ChannelName();
    std::string history = dlg->Session().Radio()->History();
    dlg->close();
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(Setting("AppSet", "chid"), std::to_string(dlg->Session().ChannelId()));
    EXPECT_EQ(Setting("AppSet", "chname"), expectedName);
    EXPECT_FALSE(Setting("AppSet", "history").empty());
    EXPECT_EQ(FilesIn("Temp/Music"), 0);
    EXPECT_EQ(FilesIn("Temp/Album"), 0);
    EXPECT_EQ(FilesIn("Temp/Lyrics"), 0);
}

TEST_F(MainWindowTest, CtrlLSearchesForThePausedSongAndDislikeSkipsIt) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    dlg->OnPause(); // the song stays until the listener moves on
    ASSERT_TRUE(PumpUntil([&] { return dlg->Player()->GetPlayState() == CAudioPlayer::Paused; }));
    NowPlayingInfo paused;
    dlg->Player()->GetNowPlaying(paused);

    QKeyEvent ctrlL(QEvent::KeyPress, Qt::Key_L, Qt::ControlModifier);
    QApplication::sendEvent(dlg.get(), &ctrlL);
    CLrcQueryDlg* form = dlg->LrcWindow()->QueryDialog();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->SongEdit()->text(), Resources::AnsiToQString(paused.title));
    EXPECT_EQ(form->SingerEdit()->text(), Resources::AnsiToQString(paused.artist));
    form->reject();

    dlg->Button(CMainDlg::kIdDislike)->click();
    ASSERT_TRUE(WaitForSong(*dlg, paused.index + 1));
    EXPECT_TRUE(dlg->Button(CMainDlg::kIdPause)->isVisible());
    CLantorListPage* page = dlg->ListPage();
    EXPECT_FALSE(page->List()->IsRowEnabled(page->RowOfSong(paused.index)));
    EXPECT_TRUE(page->List()->IsRowEnabled(page->RowOfSong(paused.index + 1)));
}

TEST_F(MainWindowTest, EnterAndEscNeverEndTheWindowAndEnterOnARowPlaysIt) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    ReportListView* list = dlg->ListPage()->List();
    ASSERT_TRUE(PumpUntil([&] { return list->ItemCount() > 1; }));
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &press);
        EXPECT_TRUE(dlg->isVisible() && press.isAccepted()) << key;
    }
    list->setCurrentCell(dlg->ListPage()->RowOfSong(1), 0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    ASSERT_TRUE(WaitForSong(*dlg, 1));
    EXPECT_TRUE(dlg->isVisible());
}

// The player from the keyboard, keys going through the window's shortcuts as typed ones do, and
// as assistive tools read it.
TEST_F(MainWindowTest, TheKeyboardAndAssistiveToolsRunThePlayer) {
    auto dlg = Open();
    QApplication::setActiveWindow(dlg.get());
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    dlg->SetVolume(40);
    dlg->VolumeSlider()->setFocus(Qt::TabFocusReason); // takes no Space of its own
    // A shortcut clicks its button as a short animation does: the click comes a moment later.
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m, auto done) {
        for (auto action : {QTest::Press, QTest::Release})
            QTest::sendKeyEvent(action, QApplication::focusWidget(), k, QString(), m);
        return PumpUntil(done);
    };
    const auto state = [&](CMainDlg::Playback s) {
        return [&, s] { return dlg->PlaybackState() == s; };
    };
    EXPECT_TRUE(key(Qt::Key_Space, Qt::NoModifier, state(CMainDlg::Playback::kPaused)));
    EXPECT_TRUE(
        key(Qt::Key_MediaTogglePlayPause, Qt::NoModifier, state(CMainDlg::Playback::kPlaying)));
    EXPECT_TRUE(
        key(Qt::Key_Up, Qt::ControlModifier, [&] { return dlg->VolumeSlider()->Pos() == 45; }));
    // The slider shows the mute; the stored volume stays.
    EXPECT_TRUE(key(Qt::Key_M, Qt::NoModifier, [&] { return dlg->Muted(); }));
    EXPECT_TRUE(dlg->VolumeSlider()->Pos() == 0 && dlg->Player()->GetVolume() == 0);
    EXPECT_EQ(Setting("AppSet", "volume"), "45");
    QTest::mouseClick(dlg->Button(CMainDlg::kIdMute), Qt::LeftButton);
    EXPECT_TRUE(!dlg->Muted() && dlg->VolumeSlider()->Pos() == 45);
    // A new song shows the default picture until its own cover comes, never the last one's.
    const DemoSong* demo = DemoCatalog::FindSong(songs.At(0).sid);
    ASSERT_TRUE(demo && PumpUntil([&] { return dlg->CoverPicture()->width == demo->coverWidth; }));
    CPicture album;
    ASSERT_TRUE(album.LoadFile("res/album.jpg") && album.width != demo->coverWidth);
    int coverAtStart = 0;
    QObject::connect(&dlg->Adaptor(), &SessionAdaptor::songStarted,
                     [&] { coverAtStart = dlg->CoverPicture()->width; });
    EXPECT_TRUE(key(Qt::Key_Right, Qt::ControlModifier, [&] { return coverAtStart != 0; }));
    ASSERT_TRUE(WaitForSong(*dlg, 1));
    EXPECT_EQ(coverAtStart, album.width);
    // Like marks the song (one the station has not marked): the button, then its row's heart.
    ASSERT_EQ(songs.At(1).like, "0");
    const auto like = QAccessible::queryAccessibleInterface(dlg->Button(CMainDlg::kIdLike));
    EXPECT_FALSE(like->state().checked);
    EXPECT_TRUE(key(Qt::Key_D, Qt::ControlModifier, [&] { return like->state().checked; }));
    key(Qt::Key_MediaPrevious, Qt::NoModifier, [] { return true; });
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    EXPECT_EQ(dlg->ListPage()->List()->ItemImage(dlg->ListPage()->RowOfSong(1)),
              CLantorListPage::kImageLiked);

    // Tab walks the window from the top left to the list, which it leaves again.
    dlg->Button(CMainDlg::kIdChannel)->setFocus(Qt::TabFocusReason);
    std::vector<int> stops;
    for (int i = 0; i < 11; ++i) {
        key(Qt::Key_Tab, Qt::NoModifier, [] { return true; });
        auto* button = qobject_cast<CBitmapButton*>(QApplication::focusWidget());
        stops.push_back(button ? button->Id() : QApplication::focusWidget()->isWindow() ? 0 : -1);
    }
    EXPECT_EQ(stops,
              (std::vector<int>{1020, -1, -1, 1011, 1012, 1013, 1014, 1018, 1017, -1, 1019}));

    const auto tree = AccessibleTree(dlg.get());
    const SongRecord song = songs.At(0);
    const QString name = Resources::AnsiToQString(song.artist + " - " + song.title);
    for (const QString& line :
         {QStringLiteral("Slider 音量 =45"), "Slider 进度 =" + dlg->TimeText(),
          "StaticText " + dlg->StatusText(), "StaticText " + dlg->TimeText(), "StaticText " + name,
          QStringLiteral("CheckBox 静音 [静音 (M)]")})
        EXPECT_EQ(tree.count(line.toStdString()), 1u) << line.toStdString();
}

// A window placed off the screen is moved inside its available area; where the listener leaves
// it is where it opens next time.
TEST_F(MainWindowTest, OpensInsideTheScreenWhereItWasLeft) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    AppSettings().SaveWindowPlace(-500, 5000);
    for (int run = 0; run < 2; ++run) {
        auto dlg = Open("wrong password");
        EXPECT_TRUE(area.contains(dlg->geometry())) << run;
        EXPECT_EQ(dlg->pos(),
                  run == 0 ? QPoint(area.left(), dlg->pos().y()) : area.topLeft() + QPoint(7, 3));
        dlg->move(area.topLeft() + QPoint(7, 3));
        dlg->close();
    }
    EXPECT_EQ(Setting("AppSet", "left"), std::to_string(area.left() + 7));
}

// On a real disk that is full, closing the window and ticking "记住密码" each say that the save
// failed, and config.ini stays whole with every key it had.
TEST_F(MainWindowTest, OnAFullDiskSavesSayTheyFailedAndConfigStaysWhole) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    SmallDisk disk; // made late: a run killed while it waits leaves no mount behind
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Reason();
    fs::copy_file("config.ini", disk.Path() / "config.ini");
    const std::string before = dir.ReadFile("config.ini");
    fs::current_path(disk.Path());
    ASSERT_TRUE(disk.Fill());
    std::vector<QString> boxes;
    CLoginDlg::SetMessageBoxHook(
        [&](QWidget*, const QString& text, const QString&) { boxes.push_back(text); });
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(boxes.size(), 1u);
    {
        CLoginDlg login;
        login.FillAccount("new@lantor.fm", "new password");
        login.RememberBox()->setChecked(false);
        login.RememberBox()->click();
    }
    CLoginDlg::SetMessageBoxHook(nullptr);
    EXPECT_EQ(boxes, std::vector<QString>(2, QStringLiteral("保存配置文件失败")));
    std::ifstream file("config.ini", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), before);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 2) << "a temporary file was left";
    fs::current_path(dir.Path());
}

TEST_F(MainWindowTest, LoginDialogFillsRememberedAccountAndStoresChoices) {
    {
        CLoginDlg login;
        EXPECT_TRUE(login.RememberBox()->isChecked());
        EXPECT_EQ(login.EmailEdit()->text(), QString::fromUtf8(DemoCatalog::kEmail));
        EXPECT_EQ(login.PasswordEdit()->text(), QString::fromUtf8(DemoCatalog::kPassword));
        EXPECT_EQ(login.size(), QSize(420, 300));
        // Unticking writes only remstate=off; the stored account stays.
        std::string email = Setting("Account", "email");
        login.RememberBox()->click();
        EXPECT_EQ(Setting("Account", "remstate"), "off");
        EXPECT_EQ(Setting("Account", "email"), email);
        login.OnOk();
        EXPECT_EQ(login.result(), 1);
        EXPECT_EQ(login.Email(), DemoCatalog::kEmail);
    }
    {
        CLoginDlg login;
        EXPECT_FALSE(login.RememberBox()->isChecked());
        EXPECT_TRUE(login.EmailEdit()->text().isEmpty());
        login.EmailEdit()->setText(QStringLiteral("新用户@x.cn"));
        login.PasswordEdit()->setText(QStringLiteral("pw"));
        login.RememberBox()->click();
        EXPECT_EQ(Setting("Account", "remstate"), "on");
        EXPECT_EQ(Setting("Account", "email"),
                  HexEncode(Resources::QStringToAnsi(QStringLiteral("新用户@x.cn"))));
    }
    // Without config.ini the first save creates it, private to its owner.
    fs::remove("config.ini");
    std::vector<QString> boxes;
    CLoginDlg::SetMessageBoxHook([&](QWidget*, const QString& text, const QString& caption) {
        boxes.push_back(caption + text);
    });
    {
        CLoginDlg login;
        login.FillAccount("a@b.cn", "pw");
        login.RememberBox()->click();
        login.OnOk();
        EXPECT_EQ(login.result(), 1);
    }
    CLoginDlg::SetMessageBoxHook(nullptr);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Setting("Account", "email"), HexEncode("a@b.cn"));
    EXPECT_EQ(fs::status("config.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(MainWindowTest, AfterAnOutageAsksAgainOnTheBackOffAndPlaysOnWhenTheStationIsBack) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    // A full queue, its last song cached: nothing more is asked for until the songs run out.
    ASSERT_TRUE(PumpUntil([&] {
        return songs.Count() >= RadioSession::kRefillBelow && !dlg->Session().Radio()->FetchBusy() &&
               !dlg->Session().Radio()->PrefetchBusy() && songs.At(songs.Count() - 1).status == 2;
    }));
    const int last = songs.Count() - 1;
    const std::size_t before = statuses.size();
    station->SetFault(StationFault::Down);
    dlg->PlaySongAt(last);

    // The end of the list asks at once, then the back-off: 1, 2, 4 s later.
    ASSERT_TRUE(PumpUntil([&] { return TimesOf(kPreparing, before).size() >= 4; }, 20000));
    Pump(300); // that try fails too
    const std::size_t asked = station->RequestsTo("/j/app/radio/people").size();
    station->ClearFault();
    QElapsedTimer back;
    back.start();
    // The next try, 8 s after the last one, finds the station again and playback goes on.
    ASSERT_TRUE(WaitForSong(*dlg, last + 1));
    EXPECT_LT(back.elapsed(), 12000);
    // 1, 2, 4 and 8 s apart, with room for a loaded machine.
    const auto tries = TimesOf(kPreparing, before);
    ASSERT_EQ(tries.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_GE(tries[i + 1] - tries[i], Backoff::kDelaysMs[i] * 9 / 10) << i;
        EXPECT_LE(tries[i + 1] - tries[i], Backoff::kDelaysMs[i] + 1500) << i;
    }
    // The request is the one it always was.
    EXPECT_TRUE(station->RequestsTo("/j/app/radio/people").at(asked).HasParam("h"));
}

TEST_F(MainWindowTest, SignInTriesAgainUntilTheServiceAnswers) {
    for (bool automatic : {true, false}) {
        SCOPED_TRACE(automatic);
        station->ClearLog();
        station->SetFault(StationFault::Down);
        const std::size_t before = statuses.size();
        const qint64 opened = clock.elapsed();
        SongList own;
        auto dlg = Open(DemoCatalog::kPassword, automatic, &own);
        EXPECT_LT(clock.elapsed() - opened, 1000); // the window does not wait for the network
        EXPECT_EQ(dlg->StatusText(), kSigningIn);
        // The first try failed at once; the second says so again (the session's test times it).
        ASSERT_TRUE(PumpUntil([&] { return !TimesOf(kSigningIn, before).empty(); }, 5000));
        station->ClearFault();
        ASSERT_TRUE(WaitForSong(*dlg, 0));
        EXPECT_EQ(dlg->LoginDialog(), nullptr);
        dlg->close();
    }
}

TEST_F(MainWindowTest, RejectedAutomaticSignInOpensTheLoginDialogFilledIn) {
    // Rejected by the service, and one too long to be sent at all: the window is built first
    // either way, then the dialog opens over it.
    const struct {
        std::string password;
        std::size_t requests;
    } rows[] = {{"stale password", 1u}, {std::string(1100, 'p'), 0u}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password.size());
        const std::size_t before = station->RequestsTo("/j/app/login").size();
        auto dlg = Open(row.password, true);
        ASSERT_TRUE(PumpUntil([&] { return dlg->LoginDialog() != nullptr; }));
        EXPECT_EQ(dlg->StatusText(), QStringLiteral("登录失败!"));
        EXPECT_TRUE(dlg->LoginDialog()->isVisible());
        EXPECT_EQ(dlg->LoginDialog()->PasswordEdit()->text().size(),
                  static_cast<int>(std::min<std::size_t>(row.password.size(), 254)));
        Pump(1500);
        EXPECT_EQ(station->RequestsTo("/j/app/login").size() - before, row.requests); // no retry
    }
}

TEST_F(MainWindowTest, DialogAfterRejectedAutomaticSignInSignsInFromTheDialog) {
    auto dlg = Open("stale password", true);
    ASSERT_TRUE(PumpUntil([&] { return dlg->LoginDialog() != nullptr; }));
    CLoginDlg* login = dlg->LoginDialog();
    EXPECT_EQ(login->EmailEdit()->text(), QString::fromUtf8(DemoCatalog::kEmail));
    EXPECT_EQ(login->PasswordEdit()->text(), QStringLiteral("stale password"));
    // From here on it is a sign-in from the dialog.
    login->PasswordEdit()->setText(QString::fromUtf8(DemoCatalog::kPassword));
    login->OnOk();
    EXPECT_EQ(dlg->LoginDialog(), nullptr);
    ASSERT_TRUE(WaitForSong(*dlg, 0));
}

TEST_F(MainWindowTest, ChannelSwitchDuringAStalledFetchPlaysOnlyTheNewChannel) {
    station->SetFault(StationFault::Stall, "/j/app/radio/people", 1);
    auto dlg = Open();
    ASSERT_TRUE(PumpUntil([&] { return !station->RequestsTo("/j/app/radio/people").empty(); }));
    dlg->OnChannelButton();
    ReportListView* channels = dlg->ChannelPage()->List();
    ASSERT_TRUE(PumpUntil([&] { return channels->ItemCount() > 1; }));
    channels->SelectRow(dlg->ChannelPage()->MarkedRow() == 0 ? 1 : 0);
    QElapsedTimer switched;
    switched.start();
    dlg->ChannelPage()->OnListDoubleClick();
    // The stalled request is given up for the new channel's at once.
    ASSERT_TRUE(
        PumpUntil([&] { return station->RequestsTo("/j/app/radio/people").size() >= 2; }, 5000));
    EXPECT_LT(switched.elapsed(), 3000);
    EXPECT_EQ(station->RequestsTo("/j/app/radio/people")[1].Param("channel"),
              std::to_string(dlg->Session().ChannelId()));
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    const DemoChannel* channel = DemoCatalog::FindChannel(dlg->Session().ChannelId());
    ASSERT_NE(channel, nullptr);
    std::set<std::string> pool;
    for (int i : channel->songs)
        pool.insert(DemoCatalog::Songs()[static_cast<std::size_t>(i)].sid);
    ASSERT_GT(songs.Count(), 0);
    for (int i = 0; i < songs.Count(); ++i)
        EXPECT_TRUE(pool.count(songs.At(i).sid)) << songs.At(i).sid << " is not of the channel";
}

// The workers never wait for the window: with its thread held up (a blocking call here), the
// next song still starts and a fetch still ends. Their reports are handled once, afterwards,
// and none after the window has closed.
TEST_F(MainWindowTest, ABusyWindowHoldsUpNeitherThePlayerNorTheFetch) {
    auto dlg = Open();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    int started = 0;
    QObject::connect(&dlg->Adaptor(), &SessionAdaptor::songStarted, [&] { ++started; });
    const auto playing = [&] {
        NowPlayingInfo info;
        dlg->Player()->GetNowPlaying(info);
        return info.index;
    };
    // Blocks the window's thread until the player is at song `index`, as a slow handler would.
    const auto busyUntil = [&](int index, bool more, bool close) {
        bool done = false, ok = false;
        QTimer::singleShot(0, [&] {
            if (more)
                dlg->OnMore();
            ok = WaitUntil([&] { return playing() == index; }, std::chrono::seconds(20)) &&
                 (!more ||
                  WaitUntil([&] { return !dlg->Session().Radio()->FetchBusy(); }, std::chrono::seconds(20)));
            if (close)
                dlg->close();
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done; }, 60000));
        return ok;
    };
    const int queued = songs.Count();
    ASSERT_TRUE(busyUntil(1, true, false));
    ASSERT_TRUE(PumpUntil([&] { return started == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return dlg->ListPage()->List()->ItemCount() == songs.Count(); }));
    EXPECT_GT(songs.Count(), queued);
    ASSERT_TRUE(busyUntil(2, false, true)); // song 2's start is queued when the window closes
    const QString title = dlg->windowTitle();
    Pump(1000);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(dlg->windowTitle(), title);
}

// Nanoseconds the calling thread has waited for a CPU while runnable (0 where the system does
// not tell).
qint64 RunQueueWaitNs() {
    std::ifstream stat("/proc/thread-self/schedstat");
    long long onCpu = 0, waiting = 0;
    return stat >> onCpu >> waiting ? waiting : 0;
}

// The window's work never waits on the network: with every service request stalled, a 50 ms
// timer on the same event loop keeps its pace. Time the system kept the UI thread waiting for a
// CPU (other processes on a loaded machine) is not the window's doing and is left out.
TEST_F(MainWindowTest, TheWindowKeepsItsPaceWhileTheServiceStalls) {
    auto playing = Open();
    ASSERT_TRUE(WaitForSong(*playing, 0));
    station->ClearLog();
    station->SetFault(StationFault::Stall, "/j/app/");
    // A second window signs in by itself, so that sign-in stalls too.
    SongList otherSongs;
    auto signingIn = Open(DemoCatalog::kPassword, true, &otherSongs);

    QElapsedTimer paced;
    qint64 lastTick = -1, lastWait = 0, longestGap = 0, longestRawGap = 0;
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(CMainDlg::kSpectrumPeriodMs);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = paced.elapsed(), wait = RunQueueWaitNs() / 1'000'000;
        if (lastTick >= 0) {
            longestRawGap = std::max(longestRawGap, now - lastTick);
            longestGap = std::max(longestGap, now - lastTick - (wait - lastWait));
        }
        lastTick = now;
        lastWait = wait;
        ++ticks;
    });
    paced.start();
    timer.start();
    // The listener goes on using both windows: more songs, a like, the channel lists.
    QTimer::singleShot(1000, [&] {
        playing->OnMore();
        playing->OnLike();
    });
    QTimer::singleShot(2000, [&] { playing->OnChannelButton(); });
    QTimer::singleShot(3000, [&] { signingIn->OnChannelButton(); });
    QEventLoop loop;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    timer.stop();

    for (const char* path : {"/j/app/login", "/j/app/radio/channels", "/j/app/radio/people"})
        EXPECT_FALSE(station->RequestsTo(path).empty()) << path << " was not asked";
    EXPECT_EQ(signingIn->StatusText(), kSigningIn);
    EXPECT_TRUE(playing->TimersRunning());
    EXPECT_GT(ticks, 300);
    EXPECT_LT(longestGap, 100) << "longest gap with the CPU waits " << longestRawGap << " ms";
    std::printf("longest tick gap %lld ms (%lld ms with the waits for a CPU), %d ticks\n",
                static_cast<long long>(longestGap), static_cast<long long>(longestRawGap), ticks);
}

// Until a song's audio flows the window says it waits, then that it plays.
TEST_F(MainWindowTest, SaysItWaitsForAudioUntilItFlows) {
    station->SetFault(StationFault::Stall, "/music/");
    auto dlg = Open();
    ASSERT_TRUE(PumpUntil([&] { return dlg->StatusText() == QStringLiteral("缓冲中..."); }));
    EXPECT_EQ(dlg->TimeText(), "0:00/0:00");
    station->ClearFault();
    ASSERT_TRUE(WaitForSong(*dlg, 0));
    EXPECT_TRUE(PumpUntil([&] { return dlg->StatusText() == QStringLiteral("正在播放"); }));
}

// The stall is shorter than the test: a sign-in reply that came after the window ended would
// start the radio behind it.
class EndDuringSignInTest : public MainWindowTest {
protected:
    EndDuringSignInTest() : MainWindowTest(1500) {}
};

TEST_F(EndDuringSignInTest, CloseWhileSigningInEndsAtOnce) {
    station->SetFault(StationFault::Stall, "/j/app/login");
    auto dlg = Open(DemoCatalog::kPassword, true);
    ASSERT_TRUE(PumpUntil([&] { return station->RequestsTo("/j/app/login").size() == 1; }));
    QElapsedTimer ending;
    ending.start();
    dlg->close();
    EXPECT_EQ(dlg->result(), 0);
    Pump(2500); // past the stall
    EXPECT_EQ(dlg->Session().Radio(), nullptr);
    dlg.reset(); // joins the sign-in worker
    EXPECT_LT(ending.elapsed(), 2500 + 2000);
}

TEST(LoginDialog, LongFieldsAreCutAt254BytesBetweenCharacters) {
    TempDir dir(true);
    dir.WriteFile("config.ini", "[Account]\r\nremstate=on\r\n");
    const QChar ni(0x4F60); // two bytes in GBK
    const struct {
        QString typed;
        QString kept;
    } cases[] = {
        {QString(300, ni), QString(127, ni)},
        {QStringLiteral("a") + QString(300, ni), QStringLiteral("a") + QString(126, ni)},
        {QString(300, QChar('p')), QString(254, QChar('p'))},
    };
    for (const auto& c : cases) {
        CLoginDlg login;
        login.EmailEdit()->setText(c.typed);
        login.PasswordEdit()->setText(c.typed);
        login.OnOk();
        const std::string kept = Resources::QStringToAnsi(c.kept);
        EXPECT_EQ(login.Email(), kept);
        EXPECT_EQ(login.Password(), kept);
        EXPECT_EQ(Setting("Account", "email"), HexEncode(kept));
        EXPECT_EQ(Setting("Account", "pass"), HexEncode(kept));
    }
}

} // namespace
