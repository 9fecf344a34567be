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
#include "controls/Resources.h"
#include "lyrics/CLrcWindow.h"
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

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <span>
#include <utility>

using Resources::DluRect;

namespace {

const char* const kPersonalChannel = "\xCB\xBD\xC8\xCB\xD5\xD7\xBA\xD5"; // 私人兆赫

const char* const kSigningIn = QT_TRANSLATE_NOOP("CMainDlg", "正在登录...");
const char* const kSignInFailed = QT_TRANSLATE_NOOP("CMainDlg", "登录失败!");
const char* const kPreparing = QT_TRANSLATE_NOOP("CMainDlg", "准备列表...");
const char* const kBuffering = QT_TRANSLATE_NOOP("CMainDlg", "正在缓冲");
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
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
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
    // No reply, or for the stored account an answer that is no JSON at all (an error page): the
    // service was not reached, which says nothing about the account.
    if (!reply || (autoSignIn && !JsonNode().Parse(*reply))) {
        if (autoSignIn)
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
        emit signedIn();
        StartFetch();
        return;
    }
    userId = "0";
    SetStatus(tr(kSignInFailed), kRegionStatusSong);
    if (autoSignIn)
        OpenLoginDialog();
}

void CMainDlg::OpenLoginDialog() {
    // The stored account may have gone stale, and nothing else leads back to the dialog.
    loginDialog = new CLoginDlg(this);
    loginDialog->FillAccount(email, password);
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
    if (!player || !radioClient)
        return;
    NowPlayingInfo info;
    player->GetNowPlaying(info);
    fetchRetry.Reset();
    radioClient->Like(info.sid, info.aid);
    emit songLiked();
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
    if (length != lengthSeen) {
        lengthSeen = length;
        emit lengthChanged();
    }
    return static_cast<int>(elapsed / 60) * 60 + s % 60;
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
    setWindowTitle(tr("LantorFM (正在播放: %1 )").arg(Resources::AnsiToQString(info.displayName)));
    SetStatus(tr(kPlaying), kRegionStatusSong);
    // A song as long as the one before still has its length told.
    lengthSeen = 0.0f;
    emit songStarted();
}

void CMainDlg::OnEndOfList(const NowPlayingInfo& last) {
    if (last.generation != songList.Generation())
        return;
    if (fetchRetry.Pending())
        SetStatus(kPreparing, kRegionStatusPrepare); // the back-off asks
    else
        StartFetch();
}

void CMainDlg::OnDecoderFailure() {
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
    volumePicture->Draw(painter, 140, 106);
    painter.setFont(textFont);
    painter.setPen(kTextColour);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    // Beside the song's name the status keeps to its 70 pixels, whatever the language.
    const bool beside = songShown && player;
    painter.drawText(QRect(145, 5, width() - 145, 20), flags,
                     beside ? painter.fontMetrics().elidedText(statusText, Qt::ElideRight, 68)
                            : statusText);
    if (beside) {
        NowPlayingInfo info;
        player->GetNowPlaying(info);
        painter.drawText(QRect(215, 5, width() - 215, 20), flags,
                         Resources::AnsiToQString(info.displayName));
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
    if (player) {
        player->Stop();
        AppSettings settings;
        bool saved = settings.SaveChannel(channelId, channelName.c_str());
        if (radioClient)
            saved = AppSettings().SaveHistory(radioClient->History()) && saved;
        // Without a config.ini nothing is ever kept, by design; a save that failed is said
        // before the window goes.
        if (!saved && settings.IsLoaded())
            CLoginDlg::ReportSaveFailure(this);
    }
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
    // Only the close box runs the close sequence; Enter and Esc end the dialog as it is.
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
    case Qt::Key_Return:
    case Qt::Key_Enter:
        accept();
        break;
    case Qt::Key_Escape:
        reject();
        break;
    default:
        QDialog::keyPressEvent(event);
    }
}
