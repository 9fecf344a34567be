#pragma once
#include "app/MainDlgControls.h"
#include "app/PlaybackTicker.h"
#include "app/QtSessionClock.h"
#include "app/SessionAdaptor.h"
#include "controls/IListOwner.h"
#include "platform/NotifyTarget.h"
#include "platform/qt/QtDispatcher.h"
#include "session/FolderSettings.h"
#include "session/RadioSession.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class CAudioPlayer;
class CBitmapButton;
class CChannelPage;
class CCustomSliderCtrl;
class CLantorListPage;
class CLoginDlg;
class CLrcWindow;
class CMusicListSheet;
class CPicture;
class CTrumWindow;
struct SongRecord;

// The main window: a view of the radio session it holds. It builds the controls, paints, hands
// the listener's input to the session and shows what the session reports; everything here runs
// on the UI thread, which never waits on the network. Ends with 0, only through CloseWindow (the
// close box, the system menu, Quit from the desktop): a stray Enter or Esc must never end it
// without saving. A sign-in the service rejects opens the login dialog again, with the reason.
class CMainDlg : public QDialog, public IListOwner, private NotifyTarget {
    Q_OBJECT
public:
    enum ControlId {
        kIdSheetArea = 1006,
        kIdVolume = 1009,
        kIdProgress = 1010,
        kIdLike = 1011,
        kIdDislike = 1012,
        kIdMore = 1013,
        kIdPrevious = 1014,
        kIdPlay = 1016,
        kIdNext = 1017,
        kIdPause = 1018,
        kIdChannel = 1019,
        kIdMute = 1020, // the speaker
    };
    static constexpr int kSpectrumPeriodMs = PlaybackTicker::kSpectrumPeriodMs;
    static constexpr int kVolumeKeyStep = 5; // Ctrl+Up, Ctrl+Down

    // Settings of the current folder.
    explicit CMainDlg(QWidget* parent = nullptr);
    // settings: kept by the caller, outliving the window.
    explicit CMainDlg(SessionSettings& settings, QWidget* parent = nullptr);
    // work: the working folder, given once at start-up.
    CMainDlg(SessionSettings& settings, WorkFolder work, QWidget* parent = nullptr);
    // songs: the session's queue, kept by the caller.
    CMainDlg(SongList& songs, QWidget* parent = nullptr);
    ~CMainDlg() override;

    RadioSession& Session() { return session; }
    SessionSettings& Settings() { return settings; }
    const RadioSession& Session() const { return session; }
    // The session for the desktop's surfaces.
    SessionAdaptor& Adaptor() { return *adaptor; }

    void SetCredentials(std::string email, std::string password) {
        session.SetCredentials(std::move(email), std::move(password));
    }
    // The credentials are the stored account, used without the login dialog.
    void SetAutoSignIn(bool on) { autoSignIn = on; }
    // The stored account's password is still on its way from the keyring: the window opens
    // saying it signs in and waits for ResumeSignIn, where an empty password fails the
    // automatic sign-in (which opens the login dialog).
    void HoldSignIn() { session.HoldSignIn(); }
    void ResumeSignIn(std::string password) { session.ResumeSignIn(std::move(password)); }
    // Creates the children, reads the last channel and starts signing in. exec() calls it
    // first; tests may call it and then show().
    void OnInitDialog();
    int exec() override { return Run(true); }
    // exec() that may start hidden, and that hiding the window (into the tray) does not end as
    // it would end QDialog::exec: it runs until the window ends.
    int Run(bool shown);

    // Commands, each the session's.
    void OnLike();
    void OnDislike() { session.Dislike(); }
    void OnMore() { session.More(); }
    void OnPrevious() { session.Previous(); }
    void OnNext() { session.Next(); }
    void OnPlay() { session.Play(); }
    void OnPause() { session.Pause(); }
    void OnChannelButton() { ShowListPage(channelPageShown ? 0 : 1); }
    // The speaker: the volume slider shows 0 while muted; the stored volume stays.
    void OnMute(bool on);
    bool Muted() const { return session.Muted(); }
    void PlaySongAt(int index) override { session.PlayAt(index); }
    void SwitchChannel(int channelId, const std::string&) override { SwitchChannel(channelId); }
    void SwitchChannel(int channelId) { session.SwitchChannel(channelId); }
    void ShowListPage(int page) override;
    std::string ServiceBase() override { return settings.ServiceBase(); }
    void StartFetch() { session.StartFetch(); }
    int UpdateTime() { return ticker.UpdateTime(); }
    void OnSpectrumTick() { ticker.OnSpectrumTick(); }
    void OnProgressTick() { ticker.OnProgressTick(); }
    // A slider's release (control id, position 0..100).
    void OnSliderRelease(int id, int position);

    // The close box's sequence: stop, save the channel and history, end the workers, empty the
    // cache, end with 0.
    void CloseWindow();
    // A dialog's default ends (Enter, Esc) end nothing here.
    void accept() override {}
    void reject() override {}
    void done(int code) override;

    using Playback = RadioSession::Playback;
    Playback PlaybackState() const { return session.PlaybackNow(); }
    // The queue's record of the song the player has prepared; false before the first song or
    // once a channel switch has emptied the list.
    bool PlayingRecord(SongRecord& song) const { return session.PlayingRecord(song); }
    // Moves the volume slider there and applies it as a release of the slider does.
    void SetVolume(int volume) {
        if (controls)
            session.SetVolume(volume);
    }
    // Seeks the playing song to a time, clamped to its length; ignored while that is unknown.
    void SeekTo(double seconds) { session.Seek(seconds); }
    void Raise() {
        showNormal();
        raise();
        activateWindow();
    }
    // A short word from beside the window (scrobbling) in the status line, until the next status.
    void ShowNotice(const QString& text) { session.ShowNotice(text.toStdString()); }

    // What the window shows, for its tests.
    const QString& StatusText() const { return statusText; }
    const QString& TimeText() const { return ticker.TimeText(); }
    CAudioPlayer* Player() const { return session.Player(); }
    CMusicListSheet* ListSheet() const { return controls ? controls->listSheet : nullptr; }
    CLantorListPage* ListPage() const { return controls ? controls->listPage : nullptr; }
    CChannelPage* ChannelPage() const { return controls ? controls->channelPage : nullptr; }
    CLrcWindow* LrcWindow() const { return controls ? controls->lrcWindow : nullptr; }
    CTrumWindow* SpectrumWindow() const { return controls ? controls->spectrumWindow : nullptr; }
    CCustomSliderCtrl* ProgressSlider() const {
        return controls ? controls->progressSlider : nullptr;
    }
    CCustomSliderCtrl* VolumeSlider() const { return controls ? controls->volumeSlider : nullptr; }
    CBitmapButton* Button(int id) const { return controls ? controls->Button(id) : nullptr; }
    CPicture* CoverPicture() const { return coverPicture.get(); }
    // The login dialog a rejected automatic sign-in opened, while it is open.
    CLoginDlg* LoginDialog() const { return loginDialog; }
    // While playing both tick (the spectrum only while the window is seen); paused, neither.
    bool TimersRunning() const { return ticker.Running(); }
    bool AnyTimerRunning() const { return ticker.AnyRunning(); }

signals:
    void statusTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CMainDlg(SongList* songs, SessionSettings* settings, WorkFolder work, QWidget* parent);
    // The sliders' releases, queued to the UI thread until the workers end.
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    // What the session reports.
    void OnSessionEvent(const SessionEvent& event);
    void OnStatus();
    void OnSongsAdded(const std::vector<SongRecord>& songs);
    void OnSongStarted(const NowPlayingInfo& info);
    void OnCover(const std::string& sid);
    void OnLyrics(const NowPlayingInfo& info, bool found);
    void OnVolumeChanged();
    void OnChannelChanged();
    // The like button checked while the playing song is liked.
    void ShowLiked();
    // The pause button while the listener wants it playing, else the play button.
    void ShowPlaybackButtons();
    void OpenLoginDialog(const QString& reason);
    void OnLoginDialogDone(int code);
    // Ends every worker; reports they send from now on are dropped.
    void EndWorkers();

    static const QRect kRegionStatusSong; // (140, 5)-(500, 30)
    static const QRect kRegionCover;      // (5, 5)-(125, 125)

    QtDispatcher dispatcher;
    QtSessionClock clock;
    std::unique_ptr<SessionSettings> ownSettings; // none when the caller gives them
    SessionSettings& settings;
    RadioSession session;
    std::unique_ptr<SessionAdaptor> adaptor; // told after the window
    std::unique_ptr<MainDlgControls> controls;
    std::unique_ptr<CPicture> coverPicture;
    QFont textFont;
    QPoint placed; // where the window was put when it opened
    QString statusText;
    bool channelPageShown = false;
    PlaybackTicker ticker;
    bool autoSignIn = false;
    CLoginDlg* loginDialog = nullptr;
};
