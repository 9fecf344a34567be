#pragma once
#include "app/RetryTimer.h"
#include "controls/IListOwner.h"
#include "platform/qt/BackgroundJob.h"
#include "service/SongList.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

class CAudioPlayer;
class NowPlayingMedia;
class CBitmapButton;
class CChannelPage;
class CCustomSliderCtrl;
class CLantorListPage;
class CLoginDlg;
class CLrcWindow;
class CMusicListSheet;
class CPicture;
class CTrumWindow;
class QLabel;
struct NowPlayingInfo;
class RadioClient;
struct SongRecord;

// The main window: the only place where the listener's commands, the workers' reports and the
// display meet. Workers report through a queue to the UI thread and never wait for it;
// everything here runs on the UI thread, which never waits on the network. Ends with 0, only
// through CloseWindow (the close box, the system menu, Quit from the desktop): a stray Enter or
// Esc must never end it without saving.
//
// It keeps playing through network faults: a playlist request that fails or brings no new song
// is tried again on a back-off (RetryTimer) until songs arrive, and so is a sign-in that cannot
// reach the service. A sign-in the service rejects opens the login dialog again, with the reason.
class CMainDlg : public QDialog, public IListOwner {
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
    static constexpr int kTimerProgress = 2; // 500 ms
    static constexpr int kTimerSpectrum = 3; // 50 ms
    static constexpr int kProgressPeriodMs = 500;
    static constexpr int kSpectrumPeriodMs = 50;
    static constexpr int kRefillBelow = 20;
    static constexpr int kVolumeKeyStep = 5; // Ctrl+Up, Ctrl+Down
    static constexpr int kStallMs = 2000;    // a playing song standing still this long waits

    explicit CMainDlg(QWidget* parent = nullptr);
    CMainDlg(SongList& songs, QWidget* parent = nullptr);
    ~CMainDlg() override;

    void SetCredentials(std::string email, std::string password);
    // The credentials are the stored account, used without the login dialog.
    void SetAutoSignIn(bool on) { autoSignIn = on; }
    // The stored account's password is still on its way from the keyring: the window opens
    // saying it signs in and waits for ResumeSignIn, where an empty password fails the
    // automatic sign-in (which opens the login dialog).
    void HoldSignIn() { signInHeld = true; }
    void ResumeSignIn(std::string password);
    // Creates the children, reads the last channel and starts signing in. exec() calls it
    // first; tests may call it and then show().
    void OnInitDialog();
    int exec() override;
    // exec() that may start hidden, and that hiding the window (into the tray) does not end as
    // it would end QDialog::exec: it runs until the window ends.
    int Run(bool shown);

    // Commands.
    void OnLike();
    void OnDislike();
    void OnMore();
    void OnPrevious();
    void OnNext();
    void OnPlay();
    void OnPause();
    void OnChannelButton();
    // The speaker: the volume slider shows 0 while muted; the stored volume stays.
    void OnMute(bool on);
    bool Muted() const { return muted; }
    void PlaySongAt(int index) override;
    void SwitchChannel(int channelId, const std::string& name) override;
    void SwitchChannel(int channelId);
    void ShowListPage(int page) override;
    void StartFetch();
    // Sends the sign-in request from a worker; the reply is handled on the UI thread.
    void SignIn();
    bool StartSignIn(); // false when there is nothing that can be sent
    int UpdateTime();
    void OnSpectrumTick();
    // The progress timer's work: the time, the slider and the lyrics while the window is seen;
    // hidden, only the song's length (which the desktop is told).
    void OnProgressTick();
    // A slider's release (control id, position 0..100).
    void OnSliderRelease(int id, int position);

    // The close box's sequence: stop, save the channel and history, end the workers, empty the
    // cache, end with 0.
    void CloseWindow();
    // A dialog's default ends (Enter, Esc) end nothing here.
    void accept() override {}
    void reject() override {}
    void done(int code) override;

    // What the desktop (media keys, panels, notifications) sees and does. Each action goes
    // through the handler of the window's own control.
    enum class Playback { kStopped, kPlaying, kPaused };
    // As the buttons show it: paused while the play button is the visible one.
    Playback PlaybackState() const;
    // The list's record of the song the player has prepared; false before the first song or
    // once a channel switch has emptied the list.
    bool PlayingRecord(SongRecord& song) const;
    // file:// URL of the playing song's cover in the cache; empty until it is there.
    QString PlayingCoverUrl() const;
    // Moves the volume slider there and applies it as a release of the slider does.
    void SetVolume(int volume);
    // Seeks the playing song to a time, clamped to its length; ignored while that is unknown.
    void SeekTo(double seconds);
    void Raise();
    // A short word from beside the window (scrobbling) in the status line, until the next status.
    void ShowNotice(const QString& text);

    // State, for the window's tests.
    const QString& StatusText() const { return statusText; }
    const QString& TimeText() const { return timeText; }
    bool SongShown() const { return songShown; }
    int ChannelId() const { return channelId; }
    const std::string& ChannelName() const { return channelName; }
    const std::string& UserId() const { return userId; }
    CAudioPlayer* Player() const { return player.get(); }
    RadioClient* Radio() const { return radioClient.get(); }
    CMusicListSheet* ListSheet() const { return listSheet; }
    CLantorListPage* ListPage() const { return listPage; }
    CChannelPage* ChannelPage() const { return channelPage; }
    CLrcWindow* LrcWindow() const { return lrcWindow; }
    CTrumWindow* SpectrumWindow() const { return spectrumWindow; }
    CCustomSliderCtrl* ProgressSlider() const { return progressSlider; }
    CCustomSliderCtrl* VolumeSlider() const { return volumeSlider; }
    CBitmapButton* Button(int id) const;
    CPicture* CoverPicture() const { return coverPicture.get(); }
    // The login dialog a rejected automatic sign-in opened, while it is open.
    CLoginDlg* LoginDialog() const { return loginDialog; }
    // While playing both tick (the spectrum only while the window is seen); paused, neither.
    bool TimersRunning() const { return progressTimer.isActive() && spectrumTimer.isActive(); }
    bool AnyTimerRunning() const { return progressTimer.isActive() || spectrumTimer.isActive(); }

signals:
    void statusTextChanged(const QString& text);
    void signedIn();        // the service accepted the account
    void songStarted();     // Player()->GetNowPlaying() describes the new song
    void coverArrived();    // the playing song's cover is in the cache
    void lengthChanged();   // the playing song's length became known or exact
    void songLiked();       // the listener liked the playing song
    void playbackChanged(); // PlaybackState() may have changed
    void volumeChanged(int volume);
    void seeked(double seconds); // from the progress slider or SeekTo

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Reports;

    CMainDlg(SongList* songs, QWidget* parent);
    // The workers' reports, on the UI thread.
    void OnPlaylist(std::uint64_t generation, const SongList::Appended& result);
    void OnPrefetchPassDone();
    void OnSongStarting(const NowPlayingInfo& info);
    void OnEndOfList(const NowPlayingInfo& last);
    void OnDecoderFailure();
    void OnCoverReady(const NowPlayingInfo& info);
    void OnLyricsState(const NowPlayingInfo& info, bool found);
    void CreateButtons();
    // The window's shortcuts (named in the buttons' tooltips) and the speaker.
    void CreateKeys();
    void SetTabOrder();
    // What assistive tools read of the painted texts (the lyrics window says its own line), and
    // the song's line.
    void CreateLabels();
    // Inside the screen's available area, where the listener left it when it fits.
    void Place();
    // The like button checked while the playing song is liked.
    void ShowLiked();
    // Says "缓冲中..." while the playing song waits for audio, and "正在播放" once it flows.
    void FollowAudio();
    void ShowPauseButton();
    void ShowPlayButton();
    // Shown and not minimised: someone may see the window.
    bool Seen() const;
    // Runs the timers the playback and the window's visibility call for: none while paused,
    // the spectrum only while seen.
    void SyncTimers();
    void OnPlaylistArrived();
    void OnSignInReply(BackgroundJob::Reply reply);
    // The service's answer, or null when the request could not be sent.
    void OnSignInAnswer(const std::string* reply);
    void OpenLoginDialog(const QString& reason);
    void OnLoginDialogDone(int code);
    // Whether a cover or lyrics report is about the song playing now.
    bool IsNowPlaying(const NowPlayingInfo& info) const;
    void SetStatusText(const QString& text);
    void SetStatus(const QString& text, const QRect& region);
    // Ends every worker; messages they send from now on are dropped.
    void EndWorkers();

    static const QRect kRegionStatusSong;    // (140, 5)-(500, 30)
    static const QRect kRegionStatusPlay;    // (140, 5)-(215, 30)
    static const QRect kRegionStatusPrepare; // (140, 5)-(200, 30)
    static const QRect kRegionTime;          // (400, 130)-(500, 155)
    static const QRect kRegionCover;         // (5, 5)-(125, 125)

    std::unique_ptr<SongList> ownSongs; // when no list was given
    SongList& songList;
    std::unique_ptr<Reports> reports;
    CLrcWindow* lrcWindow = nullptr;
    CTrumWindow* spectrumWindow = nullptr;
    std::unique_ptr<RadioClient> radioClient;
    std::unique_ptr<NowPlayingMedia> media; // made with the player
    std::unique_ptr<CAudioPlayer> player;
    CMusicListSheet* listSheet = nullptr;
    CLantorListPage* listPage = nullptr;
    CChannelPage* channelPage = nullptr;
    std::unique_ptr<CPicture> coverPicture;
    std::unique_ptr<CPicture> volumePicture;
    CCustomSliderCtrl* progressSlider = nullptr;
    CCustomSliderCtrl* volumeSlider = nullptr;
    std::string email, password;
    std::string userId, token, expire;
    QFont textFont;
    CBitmapButton* buttons[9] = {}; // kButtons, then the speaker
    bool muted = false;
    int volumeBeforeMute = 0;
    bool songOpen = false;       // from a song's start until the list or the channel ends
    double audioPosition = -1.0; // the output's position at the last progress tick
    QElapsedTimer audioStill;    // since audioPosition last moved
    bool waitingForAudio = false;
    QLabel* titleLabel = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* timeLabel = nullptr;
    QPoint placed; // where Place put it
    QString statusText;
    QString timeText;
    bool songShown = false;
    bool channelPageShown = false;
    bool initialised = false;
    bool workersEnded = false;
    bool ended = false;
    int channelId = 0;
    std::string channelName;
    float lengthSeen = 0.0f; // the song length lengthChanged last told
    bool seenBefore = false; // Seen() at the last SyncTimers
    QTimer progressTimer;
    QTimer spectrumTimer;
    bool autoSignIn = false;
    bool signInHeld = false;
    CLoginDlg* loginDialog = nullptr;
    BackgroundJob signInJob;
    RetryTimer signInRetry;
    RetryTimer fetchRetry;
};
