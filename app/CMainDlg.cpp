#include "app/CMainDlg.h"

#include "app/CLoginDlg.h"

#include "controls/CBitmapButton.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/CPicture.h"
#include "controls/CTrumWindow.h"
#include "controls/CoverLayout.h"
#include "controls/PlainText.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "lyrics/CLrcWindow.h"
#include "platform/Log.h"
#include "platform/Messages.h"
#include "platform/NotifyTarget.h"
#include "platform/qt/QtDispatcher.h"
#include "playback/CAudioPlayer.h"
#include "playback/NowPlayingMedia.h"
#include "service/CachePath.h"
#include "service/JsonNode.h"
#include "service/RadioClient.h"
#include "service/ServiceRequests.h"
#include "service/SignInReply.h"
#include "service/SongList.h"
#include "service/WebClient.h"
#include "settings/AppSettings.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <span>
#include <tuple>
#include <utility>

using Resources::DluRect;

namespace {

const char* const kPersonalChannel = "\xCB\xBD\xC8\xCB\xD5\xD7\xBA\xD5"; // 私人兆赫

const char* const kSigningIn = QT_TRANSLATE_NOOP("CMainDlg", "正在登录...");
const char* const kSignInFailed = QT_TRANSLATE_NOOP("CMainDlg", "登录失败!");
const char* const kPreparing = QT_TRANSLATE_NOOP("CMainDlg", "准备列表...");
const char* const kBuffering = QT_TRANSLATE_NOOP("CMainDlg", "正在缓冲");
const char* const kWaitingForAudio = QT_TRANSLATE_NOOP("CMainDlg", "缓冲中...");
const char* const kPlaying = QT_TRANSLATE_NOOP("CMainDlg", "正在播放");
const char* const kPaused = QT_TRANSLATE_NOOP("CMainDlg", "已暂停");
const char* const kDecoderError = QT_TRANSLATE_NOOP("CMainDlg", "错误: 音频解码器初始化失败!");

const QColor kBackground(0, 0, 0);
const QColor kTextColour(60, 210, 250);
const QColor kTimeColour(255, 255, 255);

// Windows rectangles are (left, top)-(right, bottom) with the right and bottom edge excluded.
QRect Region(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

struct ButtonSpec {
    int id;
    const char* tooltip; // source text; the channel button shows the channel name instead
    int bitmap;          // 0: the image list of the previous button
    int frameWidth;
    int normal, pushed, focused;
    int x, y; // dialog units of the template
};

// In the order they are created; play and pause share one image list.
const ButtonSpec kButtons[] = {
    {CMainDlg::kIdLike, QT_TRANSLATE_NOOP("CMainDlg", "喜欢"), 210, 16, 0, 1, 0, 13, 82},
    {CMainDlg::kIdDislike, QT_TRANSLATE_NOOP("CMainDlg", "不喜欢"), 211, 16, 0, 1, 0, 38, 82},
    {CMainDlg::kIdMore, QT_TRANSLATE_NOOP("CMainDlg", "收听更多"), 212, 16, 0, 1, 0, 62, 82},
    {CMainDlg::kIdPlay, QT_TRANSLATE_NOOP("CMainDlg", "播放"), 215, 20, 0, 0, 0, 165, 80},
    {CMainDlg::kIdPause, QT_TRANSLATE_NOOP("CMainDlg", "暂停"), 0, 20, 1, 1, 1, 166, 80},
    {CMainDlg::kIdPrevious, QT_TRANSLATE_NOOP("CMainDlg", "上一首"), 214, 20, 0, 1, 0, 139, 80},
    {CMainDlg::kIdNext, QT_TRANSLATE_NOOP("CMainDlg", "下一首"), 213, 20, 0, 1, 0, 190, 80},
    {CMainDlg::kIdChannel, nullptr, 217, 20, 1, 0, 1, 293, 0},
};

// A text the window paints itself, said to assistive tools: a label that draws nothing.
class SpokenLabel : public QLabel {
public:
    SpokenLabel(const QRect& place, QWidget* parent) : QLabel(parent) {
        setGeometry(place);
        setTextFormat(Qt::PlainText);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {}
};

} // namespace

// Every report of the workers and the sliders, queued to the UI thread with its values. Once the
// dispatcher is closed none is handled any more.
class CMainDlg::Reports : public RadioClient::Listener,
                          public CAudioPlayer::Listener,
                          public NowPlayingMedia::Listener,
                          public NotifyTarget {
public:
    explicit Reports(CMainDlg& window) : window_(window) {}
    QtDispatcher dispatcher;

    void OnPlaylist(std::uint64_t generation, SongList::Appended result) override {
        Queue([generation, result = std::move(result)](CMainDlg& w) {
            w.OnPlaylist(generation, result);
        });
    }
    void OnPrefetchPassDone() override {
        Queue([](CMainDlg& w) { w.OnPrefetchPassDone(); });
    }
    void OnSongStarting(NowPlayingInfo song) override {
        Queue([song = std::move(song)](CMainDlg& w) { w.OnSongStarting(song); });
    }
    void OnEndOfList(NowPlayingInfo last) override {
        Queue([last = std::move(last)](CMainDlg& w) { w.OnEndOfList(last); });
    }
    void OnDecoderFailure() override {
        Queue([](CMainDlg& w) { w.OnDecoderFailure(); });
    }
    void OnCoverReady(NowPlayingInfo song) override {
        Queue([song = std::move(song)](CMainDlg& w) { w.OnCoverReady(song); });
    }
    void OnLyricsState(NowPlayingInfo song, bool found) override {
        Queue([song = std::move(song), found](CMainDlg& w) { w.OnLyricsState(song, found); });
    }
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (message == msg::kSliderRelease)
            Queue([wParam, lParam](CMainDlg& w) {
                w.OnSliderRelease(static_cast<int>(wParam), static_cast<int>(lParam));
            });
    }

private:
    template <class F> void Queue(F handler) {
        dispatcher.Post([this, handler = std::move(handler)] { handler(window_); });
    }
    CMainDlg& window_;
};

const QRect CMainDlg::kRegionStatusSong = Region(140, 5, 500, 30);
const QRect CMainDlg::kRegionStatusPlay = Region(140, 5, 215, 30);
const QRect CMainDlg::kRegionStatusPrepare = Region(140, 5, 200, 30);
const QRect CMainDlg::kRegionTime = Region(400, 130, 500, 155);
const QRect CMainDlg::kRegionCover = Region(5, 5, 125, 125);

CMainDlg::CMainDlg(QWidget* parent) : CMainDlg(nullptr, parent) {}

CMainDlg::CMainDlg(SongList& songs, QWidget* parent) : CMainDlg(&songs, parent) {}

CMainDlg::CMainDlg(SongList* songs, QWidget* parent)
    : QDialog(parent), ownSongs(songs ? nullptr : std::make_unique<SongList>()),
      songList(songs ? *songs : *ownSongs), reports(std::make_unique<Reports>(*this)),
      coverPicture(std::make_unique<CPicture>()), volumePicture(std::make_unique<CPicture>()),
      textFont(Resources::SongTypeFont(12)), statusText(tr(kSigningIn)),
      timeText(QStringLiteral("0:00/0:00")), signInRetry([this] {
          SetStatus(tr(kSigningIn), kRegionStatusSong);
          SignIn();
      }),
      fetchRetry([this] { StartFetch(); }) {
    setWindowTitle(tr("LantorFM ( 私人电台 好歌随心听 )"));
    // A window rather than a dialog, so window managers offer the minimise button; fixed
    // size, so none offers to maximise it.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Resources::DluX(314), Resources::DluY(344));
    setAttribute(Qt::WA_OpaquePaintEvent); // the painting covers the whole client area
    progressTimer.setInterval(kProgressPeriodMs);
    spectrumTimer.setInterval(kSpectrumPeriodMs);
    connect(&progressTimer, &QTimer::timeout, this, &CMainDlg::OnProgressTick);
    connect(&spectrumTimer, &QTimer::timeout, this, &CMainDlg::OnSpectrumTick);
}

CMainDlg::~CMainDlg() {
    EndWorkers();
}

void CMainDlg::SetCredentials(std::string email_, std::string password_) {
    email = std::move(email_);
    password = std::move(password_);
}

void CMainDlg::ResumeSignIn(std::string password_) {
    password = std::move(password_);
    if (!std::exchange(signInHeld, false) || !initialised || ended)
        return;
    if (password.empty())
        OnSignInAnswer(nullptr);
    else
        SignIn();
}

int CMainDlg::exec() {
    return Run(true);
}

int CMainDlg::Run(bool shown) {
    OnInitDialog();
    setAttribute(Qt::WA_ShowModal); // modal whenever shown, as under QDialog::exec
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    if (shown)
        show();
    loop.exec(QEventLoop::DialogExec);
    return result();
}

void CMainDlg::OnInitDialog() {
    if (initialised)
        return;
    initialised = true;
    // The sign-in goes out first, so that its round trip overlaps building the window; its
    // reply is handled once the window runs.
    const bool signingIn = signInHeld || StartSignIn();
    Place();
    setWindowIcon(Resources::LoadIcon(128));

    const QRect sheetArea(0, 160, width(), height() - 160);

    progressSlider = new CCustomSliderCtrl(205, 207, 206, 208, 209, this);
    progressSlider->setGeometry(DluRect(169, 65, 141, 15));
    progressSlider->SetPageSize(0);
    progressSlider->SetNotifyTarget(reports.get(), kIdProgress);
    progressSlider->show();
    volumeSlider = new CCustomSliderCtrl(205, 207, 206, 208, 209, this);
    volumeSlider->setGeometry(DluRect(107, 65, 59, 15));
    volumeSlider->SetPageSize(0);
    volumeSlider->SetNotifyTarget(reports.get(), kIdVolume);
    volumeSlider->show();

    volumePicture->LoadFile("res/vol.jpg");
    coverPicture->LoadFile("res/album.jpg");

    if (!AppSettings().LoadChannel(channelId, channelName)) {
        channelId = 0;
        channelName = kPersonalChannel;
    }

    CreateButtons();
    CreateKeys();
    CreateLabels();

    lrcWindow = new CLrcWindow(this);
    lrcWindow->setGeometry(Region(140, 25, 460, 75));
    lrcWindow->SetSongSource([this]() -> std::optional<CLrcQueryDlg::Song> {
        if (!player || !songShown)
            return std::nullopt;
        NowPlayingInfo info;
        player->GetNowPlaying(info);
        return CLrcQueryDlg::Song{info.title, info.artist, info.sid,
                                  static_cast<int>(player->GetPosition())};
    });
    lrcWindow->show();
    spectrumWindow = new CTrumWindow(this);
    spectrumWindow->setGeometry(Region(165, 80, 435, 105));
    spectrumWindow->show();

    listSheet = new CMusicListSheet(this);
    listPage = new CLantorListPage(*this, songList);
    channelPage = new CChannelPage(*this);
    listSheet->AddPage(listPage);
    listSheet->AddPage(channelPage);
    listSheet->Create(this, sheetArea);
    SetTabOrder();

    if (!signingIn)
        OnSignInAnswer(nullptr); // may open the login dialog over the window
}

void CMainDlg::CreateButtons() {
    CBitmapButton::ImageList images;
    int i = 0;
    for (const ButtonSpec& spec : kButtons) {
        if (spec.bitmap)
            images = CBitmapButton::LoadImageList(spec.bitmap, spec.frameWidth);
        auto* button = new CBitmapButton(spec.id, this);
        button->move(Resources::DluX(spec.x), Resources::DluY(spec.y));
        button->setToolTip(spec.tooltip ? tr(spec.tooltip) : Resources::AnsiToQString(channelName));
        button->SetImageList(images);
        button->SetImages(spec.normal, spec.pushed, spec.focused);
        button->show();
        buttons[i++] = button;
        switch (spec.id) {
        case kIdLike:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnLike);
            break;
        case kIdDislike:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnDislike);
            break;
        case kIdMore:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnMore);
            break;
        case kIdPlay:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnPlay);
            break;
        case kIdPause:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnPause);
            button->hide();
            break;
        case kIdPrevious:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnPrevious);
            break;
        case kIdNext:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnNext);
            break;
        case kIdChannel:
            connect(button, &QAbstractButton::clicked, this, &CMainDlg::OnChannelButton);
            break;
        default:
            break;
        }
    }
}

void CMainDlg::CreateKeys() {
    Button(kIdLike)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // Only the shown one of the two takes it.
    Button(kIdPlay)->SetKeyShortcut(QKeySequence(Qt::Key_Space));
    Button(kIdPause)->SetKeyShortcut(QKeySequence(Qt::Key_Space));
    Button(kIdPrevious)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    Button(kIdNext)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));

    // The speaker mutes and unmutes.
    QImage speaker;
    if (volumePicture->width > 0 && volumePicture->height > 0) {
        speaker = QImage(volumePicture->width, volumePicture->height, QImage::Format_RGB32);
        QPainter painter(&speaker);
        volumePicture->Draw(painter, 0, 0);
    }
    Button(kIdLike)->setCheckable(true);
    Button(kIdLike)->SetCheckedImage(1);

    auto* mute = new CBitmapButton(kIdMute, this);
    mute->SetImageList(CBitmapButton::SpeakerImages(speaker));
    mute->SetImages(0, 0, 0);
    mute->SetCheckedImage(1);
    mute->setCheckable(true);
    mute->move(140, 106);
    mute->setToolTip(tr("静音"));
    mute->SetKeyShortcut(QKeySequence(Qt::Key_M));
    mute->show();
    connect(mute, &QAbstractButton::clicked, this, &CMainDlg::OnMute);
    buttons[std::size(kButtons)] = mute;

    for (auto [text, keys, step] :
         {std::tuple{tr("音量 +5"), Qt::CTRL | Qt::Key_Up, kVolumeKeyStep},
          std::tuple{tr("音量 -5"), Qt::CTRL | Qt::Key_Down, -kVolumeKeyStep}}) {
        auto* action = new QAction(text, this);
        action->setShortcut(QKeySequence(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, step = step] {
            SetVolume((muted ? volumeBeforeMute : volumeSlider->Pos()) + step);
        });
        addAction(action);
    }
}

void CMainDlg::CreateLabels() {
    progressSlider->setAccessibleName(tr("进度"));
    volumeSlider->setAccessibleName(tr("音量"));
    // The song's line, cut before the channel button with the whole line as its tooltip.
    titleLabel = new QLabel(this);
    titleLabel->setGeometry(215, 5, Button(kIdChannel)->x() - 215 - 4, 20);
    titleLabel->setFont(textFont);
    titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette colours = titleLabel->palette();
    colours.setColor(QPalette::WindowText, kTextColour);
    titleLabel->setPalette(colours);
    titleLabel->show();
    statusLabel = new SpokenLabel(QRect(145, 5, 70, 20), this);
    statusLabel->setText(statusText);
    timeLabel = new SpokenLabel(QRect(400, 135, 70, 20), this);
    for (QLabel* label : {statusLabel, timeLabel})
        label->show();
}

void CMainDlg::Place() {
    // Where the listener left it, else centred; inside the screen's available area either way,
    // the title bar first when the window is bigger (moved, never cut).
    QPoint place;
    const bool stored = AppSettings().LoadWindowPlace(place.rx(), place.ry());
    QScreen* screen = stored ? QGuiApplication::screenAt(place) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (!stored)
        place = area.center() - rect().center();
    // move() places the frame, which is not known before the window shows: room for a title bar.
    const QSize frame = size() + QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    place.setX(std::max(area.left(), std::min(place.x(), area.right() + 1 - frame.width())));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() + 1 - frame.height())));
    move(place);
    placed = pos();
}

void CMainDlg::SetTabOrder() {
    // Top to bottom, left to right; the list sheet's two lists are one stop, one shown at a time.
    QWidget* order[] = {Button(kIdChannel), Button(kIdMute),     volumeSlider,
                        progressSlider,     Button(kIdLike),     Button(kIdDislike),
                        Button(kIdMore),    Button(kIdPrevious), Button(kIdPlay),
                        Button(kIdPause),   Button(kIdNext),     listPage->List(),
                        channelPage->List()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void CMainDlg::OnMute(bool on) {
    if (!player) {
        Button(kIdMute)->setChecked(false); // nothing plays yet
        return;
    }
    muted = on;
    if (on)
        volumeBeforeMute = volumeSlider->Pos();
    volumeSlider->SetPos(on ? 0 : volumeBeforeMute);
    player->SetVolume(on ? 0 : volumeBeforeMute);
    // The stored volume stays the listener's own: the next run starts with it.
    AppSettings().SaveVolume(volumeBeforeMute);
    emit volumeChanged(player->GetVolume());
}

CBitmapButton* CMainDlg::Button(int id) const {
    for (CBitmapButton* b : buttons)
        if (b && b->Id() == id)
            return b;
    return nullptr;
}

void CMainDlg::ShowPauseButton() {
    Button(kIdPlay)->hide();
    Button(kIdPause)->show();
    SyncTimers();
    emit playbackChanged();
}

void CMainDlg::ShowPlayButton() {
    Button(kIdPause)->hide();
    Button(kIdPlay)->show();
    SyncTimers();
    emit playbackChanged();
}

bool CMainDlg::Seen() const {
    return isVisible() && !isMinimized();
}

void CMainDlg::SyncTimers() {
    const CBitmapButton* play = Button(kIdPlay);
    const bool live = songShown && !workersEnded;
    const bool ticking = live && play && play->isHidden();
    const bool seen = Seen();
    const bool wasSeen = std::exchange(seenBefore, seen);
    if (!ticking) {
        // The time shown is where the pause holds, not the last tick's.
        if (seen && progressTimer.isActive())
            OnProgressTick();
        progressTimer.stop();
        spectrumTimer.stop();
    }
    // Shown again or playing again: the display catches up at once, and the timers start
    // together so that the time, the lyrics and the spectrum move in step.
    const bool catchUp = live && seen && (!wasSeen || (ticking && !progressTimer.isActive()));
    if (catchUp) {
        OnProgressTick();
        OnSpectrumTick();
    }
    if (!ticking)
        return;
    // Hidden, the progress timer only keeps the song's length current for the desktop.
    if (catchUp || !progressTimer.isActive())
        progressTimer.start();
    if (!seen)
        spectrumTimer.stop();
    else if (catchUp || !spectrumTimer.isActive())
        spectrumTimer.start();
}

CMainDlg::Playback CMainDlg::PlaybackState() const {
    if (!player || player->GetPlayState() == CAudioPlayer::Stopped)
        return Playback::kStopped;
    const CBitmapButton* play = Button(kIdPlay);
    return play && !play->isHidden() ? Playback::kPaused : Playback::kPlaying;
}

bool CMainDlg::PlayingRecord(SongRecord& song) const {
    if (!player)
        return false;
    NowPlayingInfo info;
    player->GetNowPlaying(info);
    SongRecord record = songList.At(info.index);
    if (record.sid.empty() || record.sid != info.sid)
        return false;
    song = std::move(record);
    return true;
}

QString CMainDlg::PlayingCoverUrl() const {
    SongRecord song;
    if (!PlayingRecord(song))
        return {};
    const auto path = CachePath(kCacheAlbum, song.sid);
    if (!path)
        return {};
    const QFileInfo file(QFile::decodeName(path->c_str()));
    return file.isFile() ? QUrl::fromLocalFile(file.absoluteFilePath()).toString() : QString();
}

void CMainDlg::SetVolume(int volume) {
    if (!volumeSlider)
        return;
    volumeSlider->SetPos(volume);
    OnSliderRelease(kIdVolume, volumeSlider->Pos());
}

void CMainDlg::SeekTo(double seconds) {
    const double length = player ? player->GetDuration() : 0.0;
    if (length <= 0.0)
        return;
    seconds = std::clamp(seconds, 0.0, length);
    player->Seek(seconds);
    emit seeked(seconds);
}

void CMainDlg::Raise() {
    showNormal();
    raise();
    activateWindow();
}

void CMainDlg::ShowNotice(const QString& text) {
    SetStatus(text, kRegionStatusSong);
}

void CMainDlg::SetStatusText(const QString& text) {
    statusText = text;
    if (statusLabel)
        statusLabel->setText(text);
    emit statusTextChanged(text);
}

void CMainDlg::SetStatus(const QString& text, const QRect& region) {
    SetStatusText(text);
    repaint(region);
}

void CMainDlg::SignIn() {
    // A body over the service's limit cannot be sent: that sign-in fails like a rejected one.
    if (!StartSignIn())
        OnSignInAnswer(nullptr);
}

bool CMainDlg::StartSignIn() {
    if (!SignInBody(email, password))
        return false;
    signInJob.Start(
        [base = AppSettings().ServiceBase(), email = email,
         password = password](const std::atomic<bool>& cancel) {
            return RequestSignIn(WebClient(&cancel), base, email, password);
        },
        [this](BackgroundJob::Reply reply) { OnSignInReply(std::move(reply)); });
    return true;
}

void CMainDlg::OnSignInReply(BackgroundJob::Reply reply) {
    // No reply, or an answer that is no JSON at all (an error page): the service was not
    // reached, which says nothing about the account.
    if (!reply || !JsonNode().Parse(*reply)) {
        Log(Log::kSession) << "sign-in: the service did not answer; trying again";
        signInRetry.Schedule();
        return; // the window keeps saying it is signing in
    }
    OnSignInAnswer(&*reply);
}

void CMainDlg::OnSignInAnswer(const std::string* reply) {
    SignInReply values; // stays empty when the reply does not parse
    bool accepted = reply && ReadSignInReply(*reply, values);
    userId = values.user_id;
    token = values.token;
    expire = values.expire;
    if (accepted) {
        signInRetry.Reset();
        emit signedIn();
        StartFetch();
        return;
    }
    userId = "0";
    SetStatus(tr(kSignInFailed), kRegionStatusSong);
    // The service's reason when it gave one; the listener decides in the dialog what next.
    const QString reason = QString::fromUtf8(values.err).trimmed();
    OpenLoginDialog(reason.isEmpty() ? tr(kSignInFailed) : reason);
}

void CMainDlg::OpenLoginDialog(const QString& reason) {
    // Nothing else leads back to the dialog: the stored account may have gone stale, or the
    // listener mistyped.
    if (loginDialog || ended)
        return;
    loginDialog = new CLoginDlg(this);
    loginDialog->FillAccount(email, password);
    loginDialog->SetFailure(reason);
    connect(loginDialog, &QDialog::finished, this, &CMainDlg::OnLoginDialogDone);
    loginDialog->open();
}

void CMainDlg::OnLoginDialogDone(int code) {
    CLoginDlg* login = std::exchange(loginDialog, nullptr);
    if (!login)
        return;
    login->deleteLater();
    if (code != 1 || ended)
        return; // cancelled: the failed sign-in stands
    SetCredentials(login->Email(), login->Password());
    autoSignIn = false; // from now on a sign-in from the dialog
    signInRetry.Reset();
    SetStatus(tr(kSigningIn), kRegionStatusSong);
    SignIn();
}

void CMainDlg::StartFetch() {
    SetStatus(tr(kPreparing), kRegionStatusPrepare);
    if (!radioClient) {
        if (userId == "0" && channelId == 0)
            channelName = kPersonalChannel;
        radioClient = std::make_unique<RadioClient>(reports.get(), userId, token, expire, songList);
        radioClient->SetChannel(channelId);
    }
    if (!player) {
        AppSettings settings;
        media = std::make_unique<NowPlayingMedia>(
            *reports, NowPlayingMedia::Options{settings.Lyrics1Base(), settings.Lyrics2Base(), {}});
        player = std::make_unique<CAudioPlayer>(reports.get(), songList);
    }
    radioClient->RequestMore();
}

void CMainDlg::OnPlaylistArrived() {
    const bool starting = player && player->GetPlayState() == CAudioPlayer::Stopped;
    if (starting) { // before the prefetch, so that it leaves the first song to the player
        player->SetVolume(AppSettings().LoadVolume());
        player->Start();
    }
    if (radioClient)
        radioClient->StartPrefetch();
    if (starting) {
        volumeSlider->SetPos(player->GetVolume());
        emit volumeChanged(player->GetVolume());
        SetStatusText(tr(kBuffering));
        songShown = true;
        ShowPauseButton();
    } else {
        SetStatusText(tr(kPlaying));
    }
    repaint(kRegionStatusSong);
}

void CMainDlg::OnLike() {
    if (!player || !radioClient) {
        ShowLiked();
        return;
    }
    NowPlayingInfo info;
    player->GetNowPlaying(info);
    fetchRetry.Reset();
    radioClient->Like(info.sid, info.aid);
    listPage->MarkLiked(info.sid);
    ShowLiked();
    emit songLiked();
}

void CMainDlg::ShowLiked() {
    // Checkable for the look and for assistive tools; a click never unchecks it by itself.
    SongRecord song;
    Button(kIdLike)->setChecked(PlayingRecord(song) &&
                                (song.like != "0" || listPage->IsLiked(song.sid)));
}

// The service has no request for it: the song is only kept out of this run's playback.
void CMainDlg::OnDislike() {
    if (!player)
        return;
    ShowPauseButton();
    const std::string sid = player->Dislike();
    if (!sid.empty())
        listPage->MarkDisliked(sid);
}

void CMainDlg::OnMore() {
    if (!radioClient)
        return;
    SetStatus(tr(kPreparing), kRegionStatusPrepare);
    radioClient->RequestMore();
}

void CMainDlg::OnPrevious() {
    if (!player)
        return;
    ShowPauseButton();
    player->Previous();
}

void CMainDlg::OnNext() {
    if (!player)
        return;
    ShowPauseButton();
    player->Next();
}

void CMainDlg::OnPlay() {
    if (!player)
        return;
    audioStill.restart(); // the pause was no stall
    waitingForAudio = false;
    ShowPauseButton();
    player->Resume();
    SetStatus(tr(kPlaying), kRegionStatusPlay);
}

void CMainDlg::OnPause() {
    if (!player)
        return;
    ShowPlayButton();
    player->Pause();
    SetStatus(tr(kPaused), kRegionStatusPlay);
}

void CMainDlg::OnChannelButton() {
    ShowListPage(channelPageShown ? 0 : 1);
}

void CMainDlg::PlaySongAt(int index) {
    if (!player)
        return;
    ShowPauseButton();
    player->PlayIndex(index);
}

void CMainDlg::SwitchChannel(int id, const std::string&) {
    SwitchChannel(id);
}

void CMainDlg::SwitchChannel(int id) {
    if (!radioClient || id == channelId)
        return;
    channelId = (userId == "0" && id == 0) ? 1 : id;
    if (player)
        player->Stop();
    songOpen = false;
    emit playbackChanged();
    fetchRetry.Reset();
    radioClient->SetChannel(channelId); // empties the song list too
    if (channelPage) {
        if (auto name = channelPage->ChannelName(channelId)) {
            channelName = *name;
            Button(kIdChannel)->setToolTip(Resources::AnsiToQString(channelName));
        }
    }
}

void CMainDlg::ShowListPage(int page) {
    if (listSheet->IsCreated())
        listSheet->SetActivePage(page);
    else
        listSheet->SetStartPage(page);
    if (page == 1) {
        channelPage->MarkChannel(channelId);
        channelPageShown = true;
    } else {
        listPage->Rebuild();
        if (player) {
            NowPlayingInfo info;
            player->GetNowPlaying(info);
            listPage->MarkPlaying(info.index);
        }
        channelPageShown = false;
    }
}

void CMainDlg::OnProgressTick() {
    if (Seen()) {
        lrcWindow->SetPlayTime(UpdateTime());
    } else if (player && player->GetDuration() != lengthSeen) {
        lengthSeen = player->GetDuration();
        emit lengthChanged();
    }
    FollowAudio();
}

int CMainDlg::UpdateTime() {
    if (!player)
        return 0;
    float elapsed = player->GetPosition();
    float length = player->GetDuration();
    int s = static_cast<int>(elapsed);
    int percent = 0;
    if (length > 0.0f) // a length of 0 leaves the slider at 0
        percent = static_cast<int>(s * 100.0 / length);
    progressSlider->SetPos(std::clamp(percent, 0, 100), true);
    timeText = QString::asprintf("%d:%02d/%d:%02d", static_cast<int>(elapsed / 60), s % 60,
                                 static_cast<int>(length / 60), static_cast<int>(length) % 60);
    repaint(kRegionTime);
    if (timeLabel->text() != timeText) {
        timeLabel->setText(timeText);
        progressSlider->SetValueText(timeText);
    }
    if (length != lengthSeen) {
        lengthSeen = length;
        emit lengthChanged();
    }
    return static_cast<int>(elapsed / 60) * 60 + s % 60;
}

void CMainDlg::FollowAudio() {
    if (!player || !songOpen || PlaybackState() != Playback::kPlaying) {
        audioStill.restart(); // no song, paused or stopped: standing still is no stall
        waitingForAudio = false;
        return;
    }
    // Audio flows while the output's position moves. A song whose audio has not begun by the
    // second tick, or one that stands still for kStallMs, is waiting for data.
    const double position = player->GetExactPosition();
    const bool still = position == audioPosition;
    if (!still) {
        audioPosition = position;
        audioStill.restart();
    }
    const bool waiting = still && (position <= 0.0 || audioStill.elapsed() >= kStallMs);
    if (waiting == waitingForAudio)
        return;
    waitingForAudio = waiting;
    SetStatus(tr(waiting ? kWaitingForAudio : kPlaying), kRegionStatusSong);
}

void CMainDlg::OnSpectrumTick() {
    if (player && player->RefreshSpectrum())
        spectrumWindow->Update(
            std::span<const float>(player->GetSpectrumData(), CAudioPlayer::kSpectrumSize));
}

void CMainDlg::OnPlaylist(std::uint64_t generation, const SongList::Appended& result) {
    // Songs of a channel the listener has left meanwhile.
    if (generation != songList.Generation())
        return;
    if (listSheet && listSheet->ActivePageIndex() == 0)
        for (const SongRecord& song : result.songs)
            listPage->AddSong(song.index, song.title, song.artist, song.albumtitle,
                              song.like != "0");
    // A reply that brought no song, or only songs this channel has sent before while more are
    // needed, counts as a failed one: the service is asked again on the back-off, never at once.
    // A full list takes no more songs, so asking again would bring none.
    const bool brought =
        result.fresh > 0 || (!result.songs.empty() && result.count >= kRefillBelow);
    if (brought)
        fetchRetry.Reset();
    if (result.parsed && result.count > 0)
        OnPlaylistArrived();
    if (!brought && !ended && result.count < static_cast<int>(SongList::kMaxSongs))
        fetchRetry.Schedule();
}

void CMainDlg::OnPrefetchPassDone() {
    // While the back-off runs, it alone asks for more.
    if (songList.Count() < kRefillBelow && !fetchRetry.Pending())
        StartFetch();
}

void CMainDlg::OnSongStarting(const NowPlayingInfo& info) {
    if (info.generation != songList.Generation())
        return;
    media->Fetch(info);
    listPage->MarkPlaying(info.index);
    spectrumWindow->Reset();
    // Until this song's own cover is there: never the last song's.
    coverPicture->Free();
    coverPicture->LoadFile("res/album.jpg");
    repaint(kRegionCover);
    ShowLiked();
    songOpen = true;
    audioPosition = -1.0;
    audioStill.restart();
    waitingForAudio = false;
    const QString song = Resources::AnsiToQString(info.displayName);
    setWindowTitle(PlainText::WindowTitle(tr("LantorFM (正在播放: %1 )").arg(song)));
    PlainText::SetLabel(*titleLabel, song); // assistive tools hear the new song's name
    SetStatus(tr(kPlaying), kRegionStatusSong);
    // A song as long as the one before still has its length told.
    lengthSeen = 0.0f;
    emit songStarted();
}

void CMainDlg::OnEndOfList(const NowPlayingInfo& last) {
    if (last.generation != songList.Generation())
        return;
    songOpen = false; // waiting for songs, which the status says
    if (fetchRetry.Pending())
        SetStatus(tr(kPreparing), kRegionStatusPrepare); // the back-off asks
    else
        StartFetch();
}

void CMainDlg::OnDecoderFailure() {
    songOpen = false;
    SetStatus(tr(kDecoderError), kRegionStatusSong);
    emit playbackChanged();
}

void CMainDlg::OnCoverReady(const NowPlayingInfo& info) {
    // The player checked before reporting, but may have moved on since.
    if (!IsNowPlaying(info))
        return;
    coverPicture->Free();
    if (auto path = CachePath(kCacheAlbum, info.sid))
        coverPicture->LoadFile(*path);
    repaint(kRegionCover);
    emit coverArrived();
}

void CMainDlg::OnLyricsState(const NowPlayingInfo& info, bool found) {
    if (!IsNowPlaying(info))
        return;
    if (found && lrcWindow->LoadLrcFile(info.sid))
        lrcWindow->ParseLrc();
    else
        lrcWindow->ClearLrc();
}

void CMainDlg::OnSliderRelease(int id, int position) {
    if (!player)
        return;
    if (id == kIdVolume) {
        if (std::exchange(muted, false)) // a volume chosen while muted unmutes
            Button(kIdMute)->setChecked(false);
        player->SetVolume(position);
        AppSettings().SaveVolume(player->GetVolume());
        emit volumeChanged(player->GetVolume());
    } else if (id == kIdProgress) {
        if (const float length = player->GetDuration(); length > 0.0f) {
            const double seconds = length * std::clamp(position, 0, 100) / 100.0;
            player->Seek(seconds);
            emit seeked(seconds);
        }
    }
}

bool CMainDlg::IsNowPlaying(const NowPlayingInfo& info) const {
    if (!player)
        return false;
    NowPlayingInfo now;
    player->GetNowPlaying(now);
    return now.playId == info.playId && now.generation == info.generation;
}

void CMainDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    CoverLayout::PaintCover(painter, coverPicture.get());
    painter.setFont(textFont);
    painter.setPen(kTextColour);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    // Beside the song's name the status keeps to its 70 pixels, whatever the language.
    const bool beside = songShown && player;
    painter.drawText(QRect(145, 5, width() - 145, 20), flags,
                     beside ? painter.fontMetrics().elidedText(statusText, Qt::ElideRight, 68)
                            : statusText);
    if (beside) {
        painter.setPen(kTimeColour);
        painter.drawText(QRect(400, 135, width() - 400, 20), flags, timeText);
    }
}

void CMainDlg::EndWorkers() {
    if (workersEnded)
        return;
    workersEnded = true;
    progressTimer.stop();
    spectrumTimer.stop();
    signInRetry.Reset();
    fetchRetry.Reset();
    signInJob.Shutdown();
    // From here on no report is handled, also none already queued.
    reports->dispatcher.Close();
    if (player)
        player->Shutdown();
    if (media)
        media->Shutdown();
    if (radioClient)
        radioClient->Shutdown();
}

void CMainDlg::CloseWindow() {
    if (workersEnded)
        return;
    // Only a place the listener chose is kept.
    bool saved = pos() == placed || AppSettings().SaveWindowPlace(pos().x(), pos().y());
    if (player) {
        player->Stop();
        saved = AppSettings().SaveChannel(channelId, channelName.c_str()) && saved;
        if (radioClient)
            saved = AppSettings().SaveHistory(radioClient->History()) && saved;
    }
    // A save that failed is said before the window goes.
    if (!saved)
        CLoginDlg::ReportSaveFailure(this);
    // The workers end before the cache is emptied, so none writes a file after it.
    EndWorkers();
    DeleteCachedFiles();
    done(0);
}

void CMainDlg::done(int code) {
    ended = true;
    // A sign-in reply or a retry would start the radio behind a window that has ended.
    signInJob.Cancel();
    signInRetry.Reset();
    fetchRetry.Reset();
    if (CLoginDlg* login = std::exchange(loginDialog, nullptr))
        login->deleteLater();
    QDialog::done(code);
}

void CMainDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    SyncTimers();
}

void CMainDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    SyncTimers();
}

void CMainDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        SyncTimers();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    // The close box and the system menu's close both come here.
    if (!ended)
        CloseWindow();
    event->accept();
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_L)) {
        if (lrcWindow)
            lrcWindow->OnCommand(CLrcWindow::kQueryCommand);
        return;
    }
    switch (event->key()) {
    // The keyboard's media keys while the window has the focus; the desktop may send them too.
    case Qt::Key_MediaPlay:
        if (PlaybackState() == Playback::kPaused)
            OnPlay();
        break;
    case Qt::Key_MediaTogglePlayPause:
        PlaybackState() == Playback::kPlaying ? OnPause() : OnPlay();
        break;
    case Qt::Key_MediaPause:
    case Qt::Key_MediaStop: // a radio has no stop: pausing keeps the song
        if (PlaybackState() == Playback::kPlaying)
            OnPause();
        break;
    case Qt::Key_MediaNext:
        OnNext();
        break;
    case Qt::Key_MediaPrevious:
        OnPrevious();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused row or button takes its own Enter; one that reaches the window is stray.
        break;
    case Qt::Key_Escape:
        // Menus close themselves; a tooltip is the only popup left to the window.
        QToolTip::hideText();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}
