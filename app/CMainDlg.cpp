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
#include "controls/Resources.h"
#include "lyrics/CLrcWindow.h"
#include "platform/Messages.h"
#include "service/CachePath.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <utility>

namespace {

const QColor kBackground(0, 0, 0);
const QColor kTimeColour(255, 255, 255);

// Windows rectangles are (left, top)-(right, bottom) with the right and bottom edge excluded.
QRect Region(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

const QRect CMainDlg::kRegionStatusSong = Region(140, 5, 500, 30);
const QRect CMainDlg::kRegionCover = Region(5, 5, 125, 125);

CMainDlg::CMainDlg(QWidget* parent) : CMainDlg(nullptr, nullptr, WorkFolder(), parent) {}

CMainDlg::CMainDlg(SessionSettings& settings, QWidget* parent)
    : CMainDlg(nullptr, &settings, WorkFolder(), parent) {}

CMainDlg::CMainDlg(SessionSettings& settings, WorkFolder work, QWidget* parent)
    : CMainDlg(nullptr, &settings, std::move(work), parent) {}

CMainDlg::CMainDlg(SongList& songs, QWidget* parent)
    : CMainDlg(&songs, nullptr, WorkFolder(), parent) {}

CMainDlg::CMainDlg(SongList* songs, SessionSettings* given, WorkFolder work, QWidget* parent)
    : QDialog(parent), ownSettings(given ? nullptr : std::make_unique<FolderSettings>()),
      settings(given ? *given : *ownSettings),
      session(dispatcher, clock, settings, songs, std::move(work)),
      coverPicture(std::make_unique<CPicture>()), textFont(Resources::SongTypeFont(12)),
      ticker(*this, session) {
    setWindowTitle(tr("LantorFM ( 私人电台 好歌随心听 )"));
    // A window rather than a dialog, so window managers offer the minimise button; fixed
    // size, so none offers to maximise it.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Resources::DluX(314), Resources::DluY(344));
    setAttribute(Qt::WA_OpaquePaintEvent); // the painting covers the whole client area
    // The window first, so that the desktop hears of a song the window already shows.
    session.Subscribe([this](const SessionEvent& event) { OnSessionEvent(event); });
    adaptor = std::make_unique<SessionAdaptor>(session);
    statusText = adaptor->StatusText();
}

CMainDlg::~CMainDlg() {
    EndWorkers();
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
    if (controls)
        return;
    // The sign-in goes out first, so that its round trip overlaps building the window; its
    // reply is handled once the window runs.
    session.Open();
    move(MainDlgControls::Place(*this, settings));
    placed = pos();
    setWindowIcon(Resources::LoadIcon(128));
    coverPicture->LoadFile(session.Work().Resource("album.jpg"));
    controls = std::make_unique<MainDlgControls>(*this, static_cast<NotifyTarget&>(*this),
                                                 session.Songs(), session.ChannelName(), textFont);
    controls->statusLabel->setText(statusText);
    ticker.Attach(*controls);
    controls->lrcWindow->SetSongSource([this]() -> std::optional<CLrcQueryDlg::Song> {
        NowPlayingInfo info;
        if (!session.SongShown() || !session.NowPlaying(info))
            return std::nullopt;
        return CLrcQueryDlg::Song{info.title, info.artist, info.sid,
                                  static_cast<int>(session.Snap().position)};
    });
}

// ---- what the session reports

void CMainDlg::OnSessionEvent(const SessionEvent& event) {
    using Kind = SessionEvent::Kind;
    if (event.kind == Kind::kStatus)
        return OnStatus();
    if (event.kind == Kind::kSignInFailed) {
        // The service's reason when it gave one; the listener decides in the dialog what next.
        const QString reason = QString::fromUtf8(event.text).trimmed();
        return OpenLoginDialog(reason.isEmpty()
                                   ? SessionAdaptor::StatusText(RadioSession::Status::kSignInFailed)
                                   : reason);
    }
    if (!controls)
        return; // nothing of a song comes before the window is built
    switch (event.kind) {
    case Kind::kSongsAdded:
        return OnSongsAdded(event.songs);
    case Kind::kSongStarted:
        return OnSongStarted(event.song);
    case Kind::kCoverArrived:
        return OnCover(event.song.sid);
    case Kind::kLyrics:
        return OnLyrics(event.song, event.found);
    case Kind::kLiked:
        controls->listPage->MarkLiked(event.song.sid);
        return ShowLiked();
    case Kind::kDisliked:
        return controls->listPage->MarkDisliked(event.song.sid);
    case Kind::kPlaybackChanged:
        return ShowPlaybackButtons();
    case Kind::kVolumeChanged:
        return OnVolumeChanged();
    case Kind::kChannelChanged:
        return OnChannelChanged();
    default:
        return; // the desktop's business
    }
}

void CMainDlg::OnStatus() {
    statusText = adaptor->StatusText();
    if (controls)
        controls->statusLabel->setText(statusText);
    ticker.Attach(*controls);
    emit statusTextChanged(statusText);
    repaint(kRegionStatusSong);
}

void CMainDlg::OnSongsAdded(const std::vector<SongRecord>& songs) {
    if (controls->listSheet->ActivePageIndex() == 0)
        for (const SongRecord& song : songs)
            controls->listPage->AddSong(song.index, song.title, song.artist, song.albumtitle,
                                        song.like != "0");
}

void CMainDlg::OnSongStarted(const NowPlayingInfo& info) {
    controls->listPage->MarkPlaying(info.index);
    controls->spectrumWindow->Reset();
    // Until this song's own cover is there: never the last song's.
    OnCover({});
    ShowLiked();
    const QString song = Resources::AnsiToQString(info.displayName);
    setWindowTitle(PlainText::WindowTitle(tr("LantorFM (正在播放: %1 )").arg(song)));
    // Assistive tools hear the new song's name.
    PlainText::SetLabel(*controls->titleLabel, song);
}

void CMainDlg::OnCover(const std::string& sid) {
    coverPicture->Free();
    const auto path = sid.empty() ? std::optional<std::string>(session.Work().Resource("album.jpg"))
                                  : session.Work().Cache(kCacheAlbum, sid);
    if (path)
        coverPicture->LoadFile(*path);
    repaint(kRegionCover);
}

void CMainDlg::OnLyrics(const NowPlayingInfo& info, bool found) {
    if (found && controls->lrcWindow->LoadLrcFile(info.sid, session.Work()))
        controls->lrcWindow->ParseLrc();
    else
        controls->lrcWindow->ClearLrc();
}

void CMainDlg::OnVolumeChanged() {
    controls->volumeSlider->SetPos(session.Snap().volume);
    controls->Button(kIdMute)->setChecked(session.Muted());
}

void CMainDlg::OnChannelChanged() {
    if (auto name = controls->channelPage->ChannelName(session.ChannelId())) {
        session.SetChannelName(*name);
        controls->Button(kIdChannel)->setToolTip(Resources::AnsiToQString(*name));
    }
}

void CMainDlg::ShowLiked() {
    // Checkable for the look and for assistive tools; a click never unchecks it by itself.
    SongRecord song;
    controls->Button(kIdLike)->setChecked(PlayingRecord(song) &&
                                          (song.like != "0" || session.IsLiked(song.sid)));
}

void CMainDlg::ShowPlaybackButtons() {
    controls->Button(kIdPlay)->setVisible(!session.Playing());
    controls->Button(kIdPause)->setVisible(session.Playing());
    ticker.Sync();
    update(kRegionStatusSong);
}

void CMainDlg::OpenLoginDialog(const QString& reason) {
    // Nothing else leads back to the dialog: the stored account may have gone stale, or the
    // listener mistyped.
    if (loginDialog || session.Ended())
        return;
    loginDialog = new CLoginDlg(this, session.Work());
    loginDialog->FillAccount(session.Email(), session.Password());
    loginDialog->SetFailure(reason);
    connect(loginDialog, &QDialog::finished, this, &CMainDlg::OnLoginDialogDone);
    loginDialog->open();
}

void CMainDlg::OnLoginDialogDone(int code) {
    CLoginDlg* login = std::exchange(loginDialog, nullptr);
    if (!login)
        return;
    login->deleteLater();
    if (code != 1 || session.Ended())
        return;         // cancelled: the failed sign-in stands
    autoSignIn = false; // from now on a sign-in from the dialog
    session.SignInAgain(login->Email(), login->Password());
}

// ---- the listener's input

void CMainDlg::OnLike() {
    if (!session.Like() && controls)
        ShowLiked();
}

void CMainDlg::OnMute(bool on) {
    if (!session.Mute(on))
        Button(kIdMute)->setChecked(false); // nothing plays yet
}

void CMainDlg::ShowListPage(int page) {
    if (!controls)
        return;
    if (controls->listSheet->IsCreated())
        controls->listSheet->SetActivePage(page);
    else
        controls->listSheet->SetStartPage(page);
    channelPageShown = page == 1;
    if (channelPageShown) {
        controls->channelPage->MarkChannel(session.ChannelId());
        return;
    }
    controls->listPage->Rebuild();
    if (NowPlayingInfo info; session.NowPlaying(info))
        controls->listPage->MarkPlaying(info.index);
}

void CMainDlg::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == msg::kSliderRelease)
        dispatcher.Post([this, wParam, lParam] {
            OnSliderRelease(static_cast<int>(wParam), static_cast<int>(lParam));
        });
}

void CMainDlg::OnSliderRelease(int id, int position) {
    if (!session.Player())
        return;
    if (id == kIdVolume) {
        session.SetVolume(position);
    } else if (const double length = session.Snap().length; id == kIdProgress && length > 0.0) {
        session.Seek(length * std::clamp(position, 0, 100) / 100.0);
    }
}

void CMainDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    CoverLayout::PaintCover(painter, coverPicture.get());
    painter.setFont(textFont);
    painter.setPen(MainDlgControls::kTextColour);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    // Beside the song's name the status keeps to its 70 pixels, whatever the language.
    const bool beside = session.SongShown() && session.Player();
    painter.drawText(QRect(145, 5, width() - 145, 20), flags,
                     beside ? painter.fontMetrics().elidedText(statusText, Qt::ElideRight, 68)
                            : statusText);
    if (beside) {
        painter.setPen(kTimeColour);
        painter.drawText(QRect(400, 135, width() - 400, 20), flags, ticker.TimeText());
    }
}

// ---- the end

void CMainDlg::EndWorkers() {
    ticker.Stop();
    session.EndWorkers();
}

void CMainDlg::CloseWindow() {
    if (session.WorkersEnded())
        return;
    // Only a place the listener chose is kept.
    bool saved = pos() == placed || settings.SaveWindowPlace(pos().x(), pos().y());
    saved = session.StopAndSave() && saved;
    // A save that failed is said before the window goes.
    if (!saved)
        CLoginDlg::ReportSaveFailure(this);
    EndWorkers();
    session.Close();
    done(0);
}

void CMainDlg::done(int code) {
    session.End();
    if (CLoginDlg* login = std::exchange(loginDialog, nullptr))
        login->deleteLater();
    QDialog::done(code);
}

void CMainDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ticker.Sync();
}

void CMainDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    ticker.Sync();
}

void CMainDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        ticker.Sync();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    // The close box and the system menu's close both come here.
    if (!session.Ended())
        CloseWindow();
    event->accept();
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_L)) {
        if (controls)
            controls->lrcWindow->OnCommand(CLrcWindow::kQueryCommand);
        return;
    }
    const Playback state = PlaybackState();
    switch (event->key()) {
    // The keyboard's media keys while the window has the focus; the desktop may send them too.
    case Qt::Key_MediaPlay:
        if (state == Playback::kPaused)
            OnPlay();
        break;
    case Qt::Key_MediaTogglePlayPause:
        state == Playback::kPlaying ? OnPause() : OnPlay();
        break;
    case Qt::Key_MediaPause:
    case Qt::Key_MediaStop: // a radio has no stop: pausing keeps the song
        if (state == Playback::kPlaying)
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
