#pragma once
#include "platform/WorkerGroup.h"
#include "service/SongList.h"
#include "service/WorkFolder.h"
#include "session/Backoff.h"
#include "session/SessionEvent.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class CAudioPlayer;
class Dispatcher;
class NowPlayingMedia;
class RadioClient;
class SessionClock;
class SessionSettings;

// One listener's session with the radio, without any window: owns the song queue, the service
// client, the player and the cover and lyrics fetching; signs in (and tries again on a back-off
// while the service cannot be reached), keeps the queue filled on a back-off, and takes the
// listener's and the desktop's commands. Everything it says is in Snapshot() and in the events
// its subscribers get. Runs on one thread (the UI thread): the workers' reports come to it
// through the dispatcher, which EndWorkers closes before it joins them.
//
// It keeps playing through network faults: a playlist request that fails or brings no new song
// is tried again on the back-off until songs arrive, and so is a sign-in that cannot reach the
// service. A sign-in the service rejects ends in kFailed until SignInAgain.
class RadioSession {
public:
    enum class SignIn { kSignedOut, kSigningIn, kReady, kFailed };
    enum class Playback { kStopped, kPlaying, kPaused };
    // The status line; kNotice shows Snapshot().notice.
    enum class Status {
        kSigningIn,
        kSignInFailed,
        kPreparing,
        kBuffering,
        kWaitingForAudio,
        kPlaying,
        kPaused,
        kDecoderError,
        kNotice,
    };
    struct Snapshot {
        SignIn signIn = SignIn::kSignedOut;
        // Stopped without a running player; otherwise as the listener last chose.
        Playback playback = Playback::kStopped;
        bool playing = false;   // the listener's choice: the pause button is the one offered
        bool songShown = false; // the first songs have come: a song and its time are shown
        std::optional<SongRecord> song; // the queue's record of the song the player prepared
        double position = 0.0;          // seconds, as the player last polled it
        double exactPosition = 0.0;     // as the output stands now
        double length = 0.0;
        int volume = 0;         // as applied: 0 while muted
        int listenerVolume = 0; // as chosen, kept while muted
        bool muted = false;
        int channelId = 0;
        std::string channelName; // GBK
        Status status = Status::kSigningIn;
        std::string notice; // UTF-8, for kNotice
    };
    using Subscriber = std::function<void(const SessionEvent&)>;

    static constexpr int kRefillBelow = 20;
    static constexpr int kStallMs = 2000; // a playing song standing still this long waits
    static constexpr const char* kPersonalChannel = "\xCB\xBD\xC8\xCB\xD5\xD7\xBA\xD5"; // 私人兆赫

    // songs: the queue to use, or null for one of its own. work: where the cache is.
    RadioSession(Dispatcher& dispatcher, SessionClock& clock, SessionSettings& settings,
                 SongList* songs = nullptr, WorkFolder work = WorkFolder());
    ~RadioSession(); // EndWorkers()
    RadioSession(const RadioSession&) = delete;
    RadioSession& operator=(const RadioSession&) = delete;

    int Subscribe(Subscriber subscriber);
    void Unsubscribe(int id);
    Snapshot Snap() const;
    // Cheap parts of the snapshot, for every tick.
    Playback PlaybackNow() const;
    bool Playing() const { return playing; }
    bool SongShown() const { return songShown; }
    bool Muted() const { return muted; }
    int ChannelId() const { return channelId; }
    const std::string& ChannelName() const { return channelName; }

    // Sign-in.
    void SetCredentials(std::string email, std::string password);
    // The password is still on its way: Open waits for ResumeSignIn, where an empty password
    // fails the sign-in.
    void HoldSignIn() { held = true; }
    void ResumeSignIn(std::string password);
    // Reads the last channel and sends the sign-in (one that cannot be sent fails once the
    // dispatcher runs).
    void Open();
    // After a failure: signs in with these credentials from the start of the back-off.
    void SignInAgain(std::string email, std::string password);
    const std::string& Email() const { return email; }
    const std::string& Password() const { return password; }
    const std::string& UserId() const { return userId; }

    // Commands; each does nothing before the radio has started.
    void Play();
    void Pause();
    void Next();
    void Previous();
    void PlayAt(int index);
    // False when nothing plays yet.
    bool Like();
    void Dislike();
    void More();
    // False when nothing changed (no radio yet, or that channel already).
    bool SwitchChannel(int channelId);
    void SetChannelName(std::string name) { channelName = std::move(name); }
    // Ignored while the length is unknown; clamped to it.
    void Seek(double seconds);
    // Clamped to 0..100; applied and stored once a player runs. A volume chosen while muted
    // unmutes.
    void SetVolume(int volume);
    // False when nothing plays yet.
    bool Mute(bool on);
    // Says a short word in the status line until the next status.
    void ShowNotice(std::string text);
    // The progress tick's share: the length told when it changed, and whether audio flows.
    void Tick();

    // The close sequence: StopAndSave (false when a save failed), then Close, which ends the
    // workers (EndWorkers) and empties the cache. End (the window ends, however) drops the
    // pending sign-in and the retries.
    bool StopAndSave();
    void Close();
    void End();
    void EndWorkers();
    bool Ended() const { return ended; }
    bool WorkersEnded() const { return workersEnded; }

    // The song the player prepared, when it is still the queue's record.
    bool PlayingRecord(SongRecord& song) const;
    bool NowPlaying(NowPlayingInfo& info) const;
    bool IsLiked(const std::string& sid) const { return likedSids.count(sid) > 0; }
    // Asks for more songs; the first call makes the service client and the player.
    void StartFetch();

    // The parts, for the window's spectrum and for tests.
    CAudioPlayer* Player() const { return player.get(); }
    RadioClient* Radio() const { return radioClient.get(); }
    SongList& Songs() { return songList; }
    SessionSettings& Settings() { return settings; }
    const WorkFolder& Work() const { return work; }
    SessionClock& Clock() { return clock; }

private:
    class Reports;

    void Emit(const SessionEvent& event);
    void Emit(SessionEvent::Kind kind);
    void SetStatus(Status next);
    void SetPlaying(bool on);
    void SignInNow();
    bool StartSignIn();
    void OnSignInDone(std::uint64_t id, std::optional<std::string> reply);
    void OnSignInAnswer(const std::string* reply);
    void CancelSignIn();
    void OnPlaylist(std::uint64_t generation, const SongList::Appended& result);
    void OnPlaylistArrived();
    void OnPrefetchPassDone();
    void OnSongStarting(const NowPlayingInfo& info);
    void OnEndOfList(const NowPlayingInfo& last);
    void OnDecoderFailure();
    void OnMedia(SessionEvent::Kind kind, const NowPlayingInfo& info, bool found);
    bool IsNowPlaying(const NowPlayingInfo& info) const;
    void FollowAudio();

    Dispatcher& dispatcher;
    SessionClock& clock;
    SessionSettings& settings;
    const WorkFolder work;
    std::unique_ptr<SongList> ownSongs;
    SongList& songList;
    std::unique_ptr<Reports> reports;
    std::unique_ptr<RadioClient> radioClient;
    std::unique_ptr<NowPlayingMedia> media; // made with the player
    std::unique_ptr<CAudioPlayer> player;

    std::map<int, Subscriber> subscribers;
    int nextSubscriber = 0;

    SignIn signIn = SignIn::kSignedOut;
    std::string email, password;
    std::string userId, token, expire;
    bool held = false;
    bool opened = false;
    bool ended = false;
    bool workersEnded = false;
    // The sign-in worker: the reply of request signInWanted is handled, any other dropped.
    WorkerGroup signInWorker;
    std::uint64_t signInWanted = 0;
    bool signInRunning = false;
    std::shared_ptr<std::atomic<bool>> signInCancel;

    int channelId = 0;
    std::string channelName;
    Status status = Status::kSigningIn;
    std::string notice;
    bool playing = false;
    bool songShown = false;
    int volume = 0;
    bool muted = false;
    std::set<std::string> likedSids;
    bool songOpen = false;       // from a song's start until the list or the channel ends
    double audioPosition = -1.0; // the output's position at the last tick
    std::int64_t audioStillSince = 0;
    bool waitingForAudio = false;
    float lengthSeen = 0.0f; // the song length last told

    Backoff signInRetry;
    Backoff fetchRetry;
};
