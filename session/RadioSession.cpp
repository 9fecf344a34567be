#include "session/RadioSession.h"

#include "platform/Dispatcher.h"
#include "platform/Log.h"
#include "playback/CAudioPlayer.h"
#include "playback/NowPlayingMedia.h"
#include "service/CachePath.h"
#include "service/JsonNode.h"
#include "service/RadioClient.h"
#include "service/ServiceRequests.h"
#include "service/SignInReply.h"
#include "service/WebClient.h"
#include "session/SessionClock.h"
#include "session/SessionSettings.h"

#include <algorithm>
#include <utility>

using Kind = SessionEvent::Kind;

// Every report of the workers, queued to the session's thread with its values. Once the
// dispatcher is closed none is handled any more.
class RadioSession::Reports : public RadioClient::Listener,
                              public CAudioPlayer::Listener,
                              public NowPlayingMedia::Listener {
public:
    explicit Reports(RadioSession& session) : session_(session) {}

    void OnPlaylist(std::uint64_t generation, SongList::Appended result) override {
        Queue([generation, result = std::move(result)](RadioSession& s) {
            s.OnPlaylist(generation, result);
        });
    }
    void OnPrefetchPassDone() override {
        Queue([](RadioSession& s) { s.OnPrefetchPassDone(); });
    }
    void OnSongStarting(NowPlayingInfo song) override {
        Queue([song = std::move(song)](RadioSession& s) { s.OnSongStarting(song); });
    }
    void OnEndOfList(NowPlayingInfo last) override {
        Queue([last = std::move(last)](RadioSession& s) { s.OnEndOfList(last); });
    }
    void OnDecoderFailure() override {
        Queue([](RadioSession& s) { s.OnDecoderFailure(); });
    }
    void OnCoverReady(NowPlayingInfo song) override {
        Queue([song = std::move(song)](RadioSession& s) {
            s.OnMedia(Kind::kCoverArrived, song, true);
        });
    }
    void OnLyricsState(NowPlayingInfo song, bool found) override {
        Queue([song = std::move(song), found](RadioSession& s) {
            s.OnMedia(Kind::kLyrics, song, found);
        });
    }

private:
    template <class F> void Queue(F handler) {
        session_.dispatcher.Post([this, handler = std::move(handler)] { handler(session_); });
    }
    RadioSession& session_;
};

RadioSession::RadioSession(Dispatcher& dispatcher_, SessionClock& clock_,
                           SessionSettings& settings_, SongList* songs, WorkFolder work_)
    : dispatcher(dispatcher_), clock(clock_), settings(settings_), work(std::move(work_)),
      ownSongs(songs ? nullptr : std::make_unique<SongList>()),
      songList(songs ? *songs : *ownSongs), reports(std::make_unique<Reports>(*this)),
      signInRetry(clock_,
                  [this] {
                      SetStatus(Status::kSigningIn);
                      SignInNow();
                  }),
      fetchRetry(clock_, [this] { StartFetch(); }) {}

RadioSession::~RadioSession() {
    EndWorkers();
}

int RadioSession::Subscribe(Subscriber subscriber) {
    subscribers.emplace(++nextSubscriber, std::move(subscriber));
    return nextSubscriber;
}

void RadioSession::Unsubscribe(int id) {
    subscribers.erase(id);
}

void RadioSession::Emit(const SessionEvent& event) {
    // A subscriber may unsubscribe (itself or another) while it is told.
    for (auto it = subscribers.begin(); it != subscribers.end();) {
        const int id = it->first;
        Subscriber subscriber = it->second;
        subscriber(event);
        it = subscribers.upper_bound(id);
    }
}

void RadioSession::Emit(Kind kind) {
    Emit(SessionEvent{kind, {}, {}, {}, 0.0, false});
}

RadioSession::Snapshot RadioSession::Snap() const {
    Snapshot s;
    s.signIn = signIn;
    s.playing = playing;
    s.playback = PlaybackNow();
    s.songShown = songShown;
    if (SongRecord song; PlayingRecord(song))
        s.song = std::move(song);
    if (player) {
        s.position = player->GetPosition();
        s.exactPosition = player->GetExactPosition();
        s.length = player->GetDuration();
    }
    s.volume = muted ? 0 : volume;
    s.listenerVolume = volume;
    s.muted = muted;
    s.channelId = channelId;
    s.channelName = channelName;
    s.status = status;
    s.notice = notice;
    return s;
}

RadioSession::Playback RadioSession::PlaybackNow() const {
    if (!player || player->GetPlayState() == CAudioPlayer::Stopped)
        return Playback::kStopped;
    return playing ? Playback::kPlaying : Playback::kPaused;
}

void RadioSession::SetStatus(Status next) {
    status = next;
    Emit(Kind::kStatus);
}

void RadioSession::ShowNotice(std::string text) {
    notice = std::move(text);
    SetStatus(Status::kNotice);
}

void RadioSession::SetPlaying(bool on) {
    playing = on;
    Emit(Kind::kPlaybackChanged);
}

// ---- sign-in

void RadioSession::SetCredentials(std::string email_, std::string password_) {
    email = std::move(email_);
    password = std::move(password_);
}

void RadioSession::Open() {
    if (opened)
        return;
    opened = true;
    signIn = SignIn::kSigningIn;
    // The sign-in goes out first, so that its round trip overlaps building the window.
    const bool signingIn = held || StartSignIn();
    if (!settings.LoadChannel(channelId, channelName)) {
        channelId = 0;
        channelName = kPersonalChannel;
    }
    // One that cannot be sent fails once the window runs (the dialog opens over it).
    if (!signingIn)
        dispatcher.Post([this] { OnSignInAnswer(nullptr); });
}

void RadioSession::ResumeSignIn(std::string password_) {
    password = std::move(password_);
    if (!std::exchange(held, false) || !opened || ended)
        return;
    if (password.empty())
        OnSignInAnswer(nullptr);
    else
        SignInNow();
}

void RadioSession::SignInAgain(std::string email_, std::string password_) {
    if (ended)
        return;
    SetCredentials(std::move(email_), std::move(password_));
    signInRetry.Reset();
    signIn = SignIn::kSigningIn;
    SetStatus(Status::kSigningIn);
    SignInNow();
}

void RadioSession::SignInNow() {
    // A body over the service's limit cannot be sent: that sign-in fails like a rejected one.
    if (!StartSignIn())
        OnSignInAnswer(nullptr);
}

bool RadioSession::StartSignIn() {
    if (!SignInBody(email, password))
        return false;
    if (signInRunning || workersEnded)
        return true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    const std::uint64_t id = ++signInWanted;
    signInRunning = true;
    signInCancel = cancel;
    const bool started = signInWorker.Start(
        [this, id, cancel, base = settings.ServiceBase(), email = email, password = password] {
            auto reply = RequestSignIn(WebClient(cancel.get()), base, email, password);
            dispatcher.Post([this, id, reply = std::move(reply)]() mutable {
                OnSignInDone(id, std::move(reply));
            });
        });
    if (!started)
        CancelSignIn();
    return true;
}

void RadioSession::CancelSignIn() {
    if (signInCancel)
        *signInCancel = true;
    signInCancel.reset();
    ++signInWanted;
    signInRunning = false;
}

void RadioSession::OnSignInDone(std::uint64_t id, std::optional<std::string> reply) {
    if (id != signInWanted || ended)
        return;
    signInRunning = false;
    signInCancel.reset();
    // No reply, or an answer that is no JSON at all (an error page): the service was not
    // reached, which says nothing about the account.
    if (!reply || !JsonNode().Parse(*reply)) {
        Log(Log::kSession) << "sign-in: the service did not answer; trying again";
        signInRetry.Schedule();
        return; // still signing in
    }
    OnSignInAnswer(&*reply);
}

void RadioSession::OnSignInAnswer(const std::string* reply) {
    if (ended)
        return;
    SignInReply values; // stays empty when the reply does not parse
    const bool accepted = reply && ReadSignInReply(*reply, values);
    userId = values.user_id;
    token = values.token;
    expire = values.expire;
    if (accepted) {
        signIn = SignIn::kReady;
        signInRetry.Reset();
        Emit(Kind::kSignedIn);
        StartFetch();
        return;
    }
    Log(Log::kSession) << "sign-in: refused";
    userId = "0";
    signIn = SignIn::kFailed;
    SetStatus(Status::kSignInFailed);
    Emit(SessionEvent{Kind::kSignInFailed, {}, {}, values.err, 0.0, false});
}

// ---- the queue

void RadioSession::StartFetch() {
    SetStatus(Status::kPreparing);
    if (!radioClient) {
        if (userId == "0" && channelId == 0)
            channelName = kPersonalChannel;
        radioClient = std::make_unique<RadioClient>(reports.get(), userId, token, expire, songList,
                                                    settings.ServiceBase(), work);
        radioClient->SetChannel(channelId);
    }
    if (!player) {
        media = std::make_unique<NowPlayingMedia>(
            *reports, NowPlayingMedia::Options{settings.Lyrics1Base(), settings.Lyrics2Base(), {}},
            work);
        player = std::make_unique<CAudioPlayer>(reports.get(), songList,
                                                CAudioPlayer::Options{.work = work});
    }
    radioClient->RequestMore();
}

void RadioSession::OnPlaylist(std::uint64_t generation, const SongList::Appended& result) {
    // Songs of a channel the listener has left meanwhile.
    if (generation != songList.Generation())
        return;
    if (!result.songs.empty())
        Emit(SessionEvent{Kind::kSongsAdded, {}, result.songs, {}, 0.0, false});
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

void RadioSession::OnPlaylistArrived() {
    const bool starting = player && player->GetPlayState() == CAudioPlayer::Stopped;
    if (starting) { // before the prefetch, so that it leaves the first song to the player
        player->SetVolume(settings.LoadVolume());
        player->Start();
    }
    if (radioClient)
        radioClient->StartPrefetch();
    if (!starting) {
        SetStatus(Status::kPlaying);
        return;
    }
    volume = player->GetVolume();
    Emit(Kind::kVolumeChanged);
    songShown = true;
    SetStatus(Status::kBuffering);
    SetPlaying(true);
}

void RadioSession::OnPrefetchPassDone() {
    // While the back-off runs, it alone asks for more.
    if (songList.Count() < kRefillBelow && !fetchRetry.Pending())
        StartFetch();
}

// ---- the player's reports

void RadioSession::OnSongStarting(const NowPlayingInfo& info) {
    if (info.generation != songList.Generation())
        return;
    media->Fetch(info);
    songOpen = true;
    audioPosition = -1.0;
    audioStillSince = clock.NowMs();
    waitingForAudio = false;
    // A song as long as the one before still has its length told.
    lengthSeen = 0.0f;
    Emit(SessionEvent{Kind::kSongStarted, info, {}, {}, 0.0, false});
    SetStatus(Status::kPlaying);
}

void RadioSession::OnEndOfList(const NowPlayingInfo& last) {
    if (last.generation != songList.Generation())
        return;
    songOpen = false; // waiting for songs, which the status says
    if (fetchRetry.Pending())
        SetStatus(Status::kPreparing); // the back-off asks
    else
        StartFetch();
}

void RadioSession::OnDecoderFailure() {
    songOpen = false;
    SetStatus(Status::kDecoderError);
    Emit(Kind::kPlaybackChanged);
}

void RadioSession::OnMedia(Kind kind, const NowPlayingInfo& info, bool found) {
    // The player checked before reporting, but may have moved on since.
    if (IsNowPlaying(info))
        Emit(SessionEvent{kind, info, {}, {}, 0.0, found});
}

bool RadioSession::IsNowPlaying(const NowPlayingInfo& info) const {
    NowPlayingInfo now;
    return NowPlaying(now) && now.playId == info.playId && now.generation == info.generation;
}

bool RadioSession::NowPlaying(NowPlayingInfo& info) const {
    if (!player)
        return false;
    player->GetNowPlaying(info);
    return true;
}

bool RadioSession::PlayingRecord(SongRecord& song) const {
    NowPlayingInfo info;
    if (!NowPlaying(info))
        return false;
    SongRecord record = songList.At(info.index);
    if (record.sid.empty() || record.sid != info.sid)
        return false;
    song = std::move(record);
    return true;
}

// ---- commands

void RadioSession::Play() {
    if (!player)
        return;
    audioStillSince = clock.NowMs(); // the pause was no stall
    waitingForAudio = false;
    SetPlaying(true);
    player->Resume();
    SetStatus(Status::kPlaying);
}

void RadioSession::Pause() {
    if (!player)
        return;
    SetPlaying(false);
    player->Pause();
    SetStatus(Status::kPaused);
}

void RadioSession::Next() {
    if (!player)
        return;
    SetPlaying(true);
    player->Next();
}

void RadioSession::Previous() {
    if (!player)
        return;
    SetPlaying(true);
    player->Previous();
}

void RadioSession::PlayAt(int index) {
    if (!player)
        return;
    SetPlaying(true);
    player->PlayIndex(index);
}

bool RadioSession::Like() {
    NowPlayingInfo info;
    if (!radioClient || !NowPlaying(info))
        return false;
    fetchRetry.Reset();
    radioClient->Like(info.sid, info.aid);
    likedSids.insert(info.sid);
    Emit(SessionEvent{Kind::kLiked, info, {}, {}, 0.0, false});
    return true;
}

// The service has no request for it: the song is only kept out of this run's playback.
void RadioSession::Dislike() {
    if (!player)
        return;
    SetPlaying(true);
    NowPlayingInfo info;
    info.sid = player->Dislike();
    if (!info.sid.empty())
        Emit(SessionEvent{Kind::kDisliked, info, {}, {}, 0.0, false});
}

void RadioSession::More() {
    if (!radioClient)
        return;
    SetStatus(Status::kPreparing);
    radioClient->RequestMore();
}

bool RadioSession::SwitchChannel(int id) {
    if (!radioClient || id == channelId)
        return false;
    channelId = (userId == "0" && id == 0) ? 1 : id;
    if (player)
        player->Stop();
    songOpen = false;
    Emit(Kind::kPlaybackChanged);
    fetchRetry.Reset();
    radioClient->SetChannel(channelId); // empties the song list too
    Emit(Kind::kChannelChanged);
    return true;
}

void RadioSession::Seek(double seconds) {
    const double length = player ? player->GetDuration() : 0.0;
    if (length <= 0.0)
        return;
    seconds = std::clamp(seconds, 0.0, length);
    player->Seek(seconds);
    Emit(SessionEvent{Kind::kSeeked, {}, {}, {}, seconds, false});
}

void RadioSession::SetVolume(int volume_) {
    volume = std::clamp(volume_, 0, 100);
    if (player) {
        muted = false;
        player->SetVolume(volume);
        volume = player->GetVolume();
        if (!settings.SaveVolume(volume))
            Log(Log::kSettings) << "the volume was not saved";
    }
    Emit(Kind::kVolumeChanged);
}

bool RadioSession::Mute(bool on) {
    if (!player)
        return false;
    muted = on;
    player->SetVolume(on ? 0 : volume);
    // The stored volume stays the listener's own: the next run starts with it.
    if (!settings.SaveVolume(volume))
        Log(Log::kSettings) << "the volume was not saved";
    Emit(Kind::kVolumeChanged);
    return true;
}

void RadioSession::Tick() {
    if (player && player->GetDuration() != lengthSeen) {
        lengthSeen = player->GetDuration();
        Emit(Kind::kLengthChanged);
    }
    FollowAudio();
}

void RadioSession::FollowAudio() {
    const std::int64_t now = clock.NowMs();
    if (!songOpen || PlaybackNow() != Playback::kPlaying) {
        audioStillSince = now; // no song, paused or stopped: standing still is no stall
        waitingForAudio = false;
        return;
    }
    // Audio flows while the output's position moves. A song whose audio has not begun by the
    // second tick, or one that stands still for kStallMs, is waiting for data.
    const double position = player->GetExactPosition();
    const bool still = position == audioPosition;
    if (!still) {
        audioPosition = position;
        audioStillSince = now;
    }
    const bool waiting = still && (position <= 0.0 || now - audioStillSince >= kStallMs);
    if (waiting == waitingForAudio)
        return;
    waitingForAudio = waiting;
    SetStatus(waiting ? Status::kWaitingForAudio : Status::kPlaying);
}

// ---- the end

bool RadioSession::StopAndSave() {
    if (!player)
        return true;
    player->Stop();
    bool saved = settings.SaveChannel(channelId, channelName);
    if (radioClient)
        saved = settings.SaveHistory(radioClient->History()) && saved;
    return saved;
}

void RadioSession::End() {
    ended = true;
    // A sign-in reply or a retry would start the radio after the end.
    CancelSignIn();
    signInRetry.Reset();
    fetchRetry.Reset();
}

void RadioSession::EndWorkers() {
    if (workersEnded)
        return;
    workersEnded = true;
    signInRetry.Reset();
    fetchRetry.Reset();
    CancelSignIn();
    signInWorker.JoinAll();
    // From here on no report is handled, also none already queued.
    dispatcher.Close();
    if (player)
        player->Shutdown();
    if (media)
        media->Shutdown();
    if (radioClient)
        radioClient->Shutdown();
}

void RadioSession::Close() {
    // The workers end before the cache is emptied, so none writes a file after it.
    EndWorkers();
    DeleteCachedFiles(work);
}
