#include "playback/CAudioPlayer.h"

#include "platform/CodePage.h"
#include "platform/Log.h"
#include "service/CachePath.h"
#include "service/SongList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kReportInterval = 200ms; // of the position while playing
constexpr auto kSongGap = 500ms;
constexpr auto kRetryDelay = 200ms; // followed by kSongGap: 700 ms between attempts
constexpr auto kWaitForSongsStep = 200ms;
constexpr auto kPrefetchPoll = 20ms; // while the prefetch finishes the song to be opened
constexpr int kAttemptsPerSkip = 10;
constexpr std::size_t kMaxCommands = 64; // more than any listener gives before the thread looks

int ClampVolume(int volume) {
    return std::clamp(volume, 0, 100);
}

// "artist - title" within the length limit, never ending inside a multi-byte character.
std::string DisplayName(const std::string& artist, const std::string& title) {
    std::string name = artist + " - " + title;
    CodePage::CutAtCharacter(name, NowPlayingInfo::kMaxDisplayName);
    return name;
}

const char* Name(int state) {
    static const char* const names[] = {"stopped", "opening",           "playing",
                                        "paused",  "waiting for songs", "gap"};
    return names[state];
}

} // namespace

CAudioPlayer::CAudioPlayer(Listener* listener_, SongList& songs)
    : CAudioPlayer(listener_, songs, Options{}) {}

CAudioPlayer::CAudioPlayer(Listener* listener_, SongList& songs, Options options)
    : listener(listener_), songList(songs), device(options.device), work(std::move(options.work)) {
    // Reaching the sound server overlaps whatever comes before Start (the first song list);
    // the play thread then finds the output open. A failure here is tried again, and said, there.
    try {
        opener = std::thread([this] { engine.Init(device, AudioEngine::kRate); });
    } catch (const std::system_error& e) {
        Log(Log::kPlayer) << "audio output not opened ahead: " << e.what();
    }
}

CAudioPlayer::~CAudioPlayer() {
    Shutdown();
}

// ---- UI thread -------------------------------------------------------------------------------

void CAudioPlayer::Start() {
    std::lock_guard<std::mutex> guard(lock);
    if (shuttingDown || state != State::kStopped)
        return;
    commands.clear(); // a command given while stopped does not carry into the new run
    // Every run begins at index 0: claimed now, so that a prefetch started after this call
    // leaves that song to the player instead of fetching it beside the player's stream.
    songList.BeginPlay(0, songList.At(0).sid, songList.Generation());
    state = State::kOpening;
    Log(Log::kPlayer) << "state: stopped -> opening (start)";
    if (threadAlive) {
        // The stopped thread has not ended yet: it starts over instead, so one thread runs.
        restartRequested = true;
        wake.notify_all();
        return;
    }
    // threadAlive is cleared as the thread's last step under this lock: the join is immediate.
    if (playThread.joinable())
        playThread.join();
    stopRequested = false;
    restartRequested = false;
    abortOpen = false;
    try {
        playThread = std::thread(&CAudioPlayer::PlayThread, this);
        threadAlive = true;
    } catch (const std::system_error& e) {
        Log(Log::kPlayer) << "play thread not started: " << e.what();
        state = State::kStopped;
    }
}

void CAudioPlayer::Push(Command command) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (commands.size() == kMaxCommands)
            commands.pop_front();
        commands.push_back(command);
    }
    wake.notify_all();
}

void CAudioPlayer::Pause() {
    Push({Command::kPause});
}

void CAudioPlayer::Resume() {
    Push({Command::kResume});
}

void CAudioPlayer::Next() {
    Push({Command::kNext});
}

void CAudioPlayer::Previous() {
    Push({Command::kPrevious});
}

void CAudioPlayer::PlayIndex(int index) {
    Push({Command::kPlayIndex, static_cast<double>(std::max(index, 0))});
}

void CAudioPlayer::RequestStopLocked() {
    commands.clear();
    if (state != State::kStopped)
        Log(Log::kPlayer) << "state: " << Name(static_cast<int>(state)) << " -> stopped (stop)";
    state = State::kStopped;
    restartRequested = false;
    if (threadAlive) {
        stopRequested = true;
        abortOpen = true;
    }
}

void CAudioPlayer::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        RequestStopLocked();
    }
    wake.notify_all();
    // A stream creation waiting for a slow server gives up now rather than after its time-out.
    engine.AbortCreations();
}

void CAudioPlayer::Seek(double seconds) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (state != State::kPlaying && state != State::kPaused)
            return; // no song open
    }
    Push({Command::kSeek, seconds});
}

void CAudioPlayer::SetVolume(int value) {
    // The engine refuses levels outside 0..100, which would fail every song start.
    volume = ClampVolume(value);
    Push({Command::kVolume});
}

std::string CAudioPlayer::Dislike() {
    const std::string sid = InfoCopy().sid;
    if (sid.empty())
        return sid;
    {
        std::lock_guard<std::mutex> guard(lock);
        disliked.insert(sid);
    }
    Push({Command::kDisliked});
    return sid;
}

int CAudioPlayer::GetVolume() const {
    return volume;
}

int CAudioPlayer::GetPlayState() const {
    std::lock_guard<std::mutex> guard(lock);
    return state == State::kStopped ? Stopped : state == State::kPaused ? Paused : Playing;
}

float CAudioPlayer::GetPosition() const {
    std::lock_guard<std::mutex> guard(infoLock);
    return info.position;
}

double CAudioPlayer::GetExactPosition() const {
    const AudioEngine::Handle handle = stream;
    if (handle != 0 && GetPlayState() != Stopped) {
        // A freed stream's handle is never reused, so it reads as a bad handle here.
        const int64_t bytes = engine.ChannelGetPosition(handle);
        if (bytes >= 0)
            return engine.ChannelBytes2Seconds(handle, bytes);
    }
    return GetPosition();
}

float CAudioPlayer::GetDuration() const {
    std::lock_guard<std::mutex> guard(infoLock);
    return info.duration;
}

void CAudioPlayer::GetNowPlaying(NowPlayingInfo& out) const {
    out = InfoCopy();
}

NowPlayingInfo CAudioPlayer::InfoCopy() const {
    std::lock_guard<std::mutex> guard(infoLock);
    return info;
}

bool CAudioPlayer::RefreshSpectrum() {
    // Read first: a clear that comes while the buffer is being filled still wins.
    const unsigned clears = spectrumClears;
    bool ready = true;
    if (GetPlayState() == Playing) {
        const AudioEngine::Handle handle = stream;
        ready = handle != 0 && engine.ChannelIsActive(handle) == AudioEngine::kPlaying &&
                engine.ChannelGetData(handle, fftBuffer.data(), AudioEngine::kDataFft1024) != -1;
    }
    if (clears != spectrumClearsSeen) {
        fftBuffer.fill(0.0f);
        spectrumClearsSeen = clears;
    }
    return ready;
}

const float* CAudioPlayer::GetSpectrumData() const {
    return fftBuffer.data();
}

void CAudioPlayer::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock);
        shuttingDown = true;
        RequestStopLocked();
    }
    wake.notify_all();
    cancel = true;
    engine.AbortCreations();
    if (playThread.joinable())
        playThread.join();
    if (opener.joinable())
        opener.join();
    engine.Free();
}

bool CAudioPlayer::IsThreadRunning() const {
    std::lock_guard<std::mutex> guard(lock);
    return threadAlive;
}

// ---- play thread -----------------------------------------------------------------------------

void CAudioPlayer::PlayThread() {
    do
        Run();
    while (RunAgain());
}

bool CAudioPlayer::RunAgain() {
    std::lock_guard<std::mutex> guard(lock);
    const bool again = restartRequested && !shuttingDown;
    restartRequested = false;
    stopRequested = false;
    if (again) {
        abortOpen = false;
        return true;
    }
    threadAlive = false;
    state = State::kStopped;
    return false;
}

bool CAudioPlayer::StopRequested() const {
    std::lock_guard<std::mutex> guard(lock);
    return stopRequested;
}

void CAudioPlayer::SetState(State next) {
    std::lock_guard<std::mutex> guard(lock);
    if (stopRequested || state == next)
        return;
    Log(Log::kPlayer) << "state: " << Name(static_cast<int>(state)) << " -> "
                      << Name(static_cast<int>(next));
    state = next;
}

bool CAudioPlayer::OpenOutput() {
    if (audioReady)
        return true;
    if (engine.Init(device, AudioEngine::kRate)) {
        audioReady = true;
        return true;
    }
    Log(Log::kPlayer) << "audio output " << device << " does not open";
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!restartRequested) // a Start that came meanwhile tries again
            state = State::kStopped;
    }
    if (listener && !cancel)
        listener->OnDecoderFailure();
    return false;
}

void CAudioPlayer::Run() {
    if (!OpenOutput())
        return;
    Cursor at;
    for (;;) {
        if (!FindSong(at))
            return;
        const NowPlayingInfo song = Prepare(at);
        SetState(State::kOpening);
        if (listener && !cancel)
            listener->OnSongStarting(song);
        if (StopRequested()) // seen before a slow open
            return;
        const AudioEngine::Handle handle = OpenSong(song);
        if (handle == 0) {
            songList.EndPlay(song.index);
            if (!AfterFailure(at))
                return;
            continue;
        }
        at.retry = false;
        at.failures = 0;
        songList.MarkPlayed(song.index, song.sid, song.generation);
        const bool go = PlaySong(at, handle, song.sid);
        // The stream is freed: a download it had not completed has left no file.
        songList.EndPlay(song.index);
        if (!go || !Gap(kSongGap, at))
            return;
    }
}

bool CAudioPlayer::FindSong(Cursor& at) {
    for (;;) {
        if (const int playable = PassOverDisliked(at.index, at.direction); playable != at.index) {
            at.index = playable;
            at.retry = false; // another song now
            at.failures = 0;
        }
        if (at.index < songList.Count())
            return true;
        if (listener && !cancel)
            listener->OnEndOfList(InfoCopy());
        SetState(State::kWaitingForSongs);
        while (at.index >= songList.Count()) {
            if (!Gap(kWaitForSongsStep, at))
                return false;
        }
        at.direction = 1; // the new songs may be disliked too
    }
}

NowPlayingInfo CAudioPlayer::Prepare(Cursor& at) {
    const std::uint64_t generation = songList.Generation();
    const SongRecord record = songList.At(at.index);
    NowPlayingInfo song;
    song.generation = generation;
    song.index = at.index;
    song.displayName = DisplayName(record.artist, record.title);
    song.title = record.title;
    song.artist = record.artist;
    song.picture = record.picture;
    song.url = record.url;
    song.sid = record.sid;
    song.aid = record.aid;
    song.musicPath = work.Cache(kCacheMusic, record.sid).value_or(std::string());
    std::lock_guard<std::mutex> guard(infoLock);
    // A retry of the same song keeps its id, so its cover and lyrics are not fetched again.
    at.retry = at.retry && info.generation == generation && info.sid == record.sid;
    song.playId = at.retry ? info.playId : info.playId + 1;
    info = song;
    return song;
}

bool CAudioPlayer::AfterFailure(Cursor& at) {
    at.retry = true;
    if (++at.failures == kAttemptsPerSkip) {
        Log(Log::kPlayer) << "song " << at.index << " skipped after " << kAttemptsPerSkip
                          << " failed attempts";
        at.failures = 0;
        ++at.index;
        at.direction = 1;
        at.retry = false;
    }
    return Gap(kRetryDelay + kSongGap, at);
}

AudioEngine::Handle CAudioPlayer::OpenSong(const NowPlayingInfo& song) {
    // The claim keeps the prefetch off the song from here until EndPlay.
    int status = songList.BeginPlay(song.index, song.sid, song.generation);
    if (status == 1)
        status = AwaitPrefetch(song);
    if (status < 0) {
        Log(Log::kPlayer) << "sid " << song.sid << " not opened: the song list changed";
        return 0; // the next attempt reads it again
    }
    bool fromFile = false;
    const AudioEngine::Handle handle = OpenStream(song, status, fromFile);
    if (handle == 0)
        return 0;
    stream = handle;
    const bool started = engine.Start() && (!fromFile || engine.ChannelSetPosition(handle, 0)) &&
                         engine.StreamPlay(handle, false) && engine.SetVolume(volume);
    if (!started) {
        Log(Log::kPlayer) << "sid " << song.sid << " opened but the output did not start it";
        engine.StreamFree(handle);
        return 0;
    }
    Log(Log::kPlayer) << "sid " << song.sid << " opened from " << (fromFile ? "cache" : "stream");
    const double seconds = engine.ChannelBytes2Seconds(handle, engine.StreamGetLength(handle));
    std::lock_guard<std::mutex> guard(infoLock);
    info.duration = static_cast<float>(seconds);
    return handle;
}

int CAudioPlayer::AwaitPrefetch(const NowPlayingInfo& song) {
    // Its file is played once in rather than fetched a second time beside it; a command or a
    // Stop ends the wait, and the song then streams without being saved.
    Log(Log::kPlayer) << "sid " << song.sid << ": waiting for the prefetch's download";
    int status = 1;
    std::unique_lock<std::mutex> guard(lock);
    while (status == 1 && !stopRequested && commands.empty()) {
        wake.wait_for(guard, kPrefetchPoll);
        guard.unlock();
        status = songList.BeginPlay(song.index, song.sid, song.generation);
        guard.lock();
    }
    return status;
}

AudioEngine::Handle CAudioPlayer::OpenStream(const NowPlayingInfo& song, int status,
                                             bool& fromFile) {
    const std::string& musicPath = song.musicPath;
    // A cache file is only ever complete, whoever wrote it (also for the same sid at another
    // index); a song left mid-stream before has none and streams again.
    std::error_code error;
    fromFile = !musicPath.empty() && fs::is_regular_file(musicPath, error);
    if (fromFile) {
        const AudioEngine::Handle handle = engine.StreamCreateFile(musicPath);
        // A complete copy of a body that is no song (an error page sent as 200, say) would fail
        // every attempt: without it the next attempt asks the server again.
        if (handle == 0) {
            Log(Log::kPlayer) << "sid " << song.sid
                              << ": the cache file holds no MP3 audio; removed";
            fs::remove(musicPath, error);
        }
        return handle;
    }
    // While the prefetch writes the music file (status 1) it owns it: stream without saving.
    AudioEngine::SaveFile save;
    if (status != 1 && !musicPath.empty())
        save = {musicPath, CacheTempPath(musicPath)};
    DownloadEnd end = DownloadEnd::kNone;
    const AudioEngine::Handle handle = engine.StreamCreateURL(song.url, save, &abortOpen, &end);
    if (handle == 0 && !abortOpen)
        Log(Log::kPlayer) << "sid " << song.sid << ": the stream brought no MP3 audio from "
                          << Log::Redacted(song.url);
    if (handle == 0)
        NoteDownload(song.sid, end);
    return handle;
}

bool CAudioPlayer::PlaySong(Cursor& at, AudioEngine::Handle handle, const std::string& sid) {
    SetState(State::kPlaying);
    if (std::exchange(at.pauseWanted, false))
        Apply({Command::kPause}, at, handle, sid);
    Clock::time_point report = Clock::now();
    bool noted = false; // the download's end is counted
    for (;;) {
        bool paused;
        {
            std::lock_guard<std::mutex> guard(lock);
            paused = state == State::kPaused;
        }
        // Paused, nothing is due: the thread sleeps until a command comes.
        std::optional<Command> command;
        const bool go = Await(paused ? std::nullopt : std::optional(report), command);
        if (go && command && Apply(*command, at, handle, sid) == Act::kStay)
            continue;
        if (go && !command) {
            report = Clock::now() + kReportInterval;
            // Counted as it happens: a song over its cap may play for hours from what came.
            noted = noted || NoteDownload(sid, engine.StreamDownloadEnd(handle));
            if (!Report(handle))
                continue;
            ++at.index; // played to its end
            at.direction = 1;
        }
        if (!noted)
            NoteDownload(sid, engine.StreamDownloadEnd(handle));
        // Freed outside the lock: it joins the stream's threads.
        FreeStream(handle);
        ClearSpectrum();
        return go;
    }
}

CAudioPlayer::Act CAudioPlayer::Apply(const Command& command, Cursor& at,
                                      AudioEngine::Handle handle, const std::string& sid) {
    const bool open = handle != 0;
    const int from = at.index;
    switch (command.kind) {
    case Command::kResume:
        at.pauseWanted = false;
        if (open && GetPlayState() == Paused && engine.Start())
            SetState(State::kPlaying);
        return Act::kStay;
    case Command::kPause:
        at.pauseWanted = !open;
        if (open && GetPlayState() == Playing) {
            if (engine.Pause())
                SetState(State::kPaused);
            ClearSpectrum();
        }
        return Act::kStay;
    case Command::kSeek:
        if (const int64_t length = open ? engine.StreamGetLength(handle) : 0; length > 0) {
            const double seconds = engine.ChannelBytes2Seconds(handle, length);
            const double part = seconds > 0 ? std::clamp(command.value / seconds, 0.0, 1.0) : 0;
            engine.ChannelSetPosition(handle, static_cast<int64_t>(length * part));
        }
        return Act::kStay;
    case Command::kVolume:
        engine.SetVolume(volume);
        return Act::kStay;
    case Command::kDisliked:
        if (!open || !IsDisliked(sid))
            return Act::kStay;
        ++at.index;
        break;
    case Command::kPlayIndex:
        at.index = static_cast<int>(command.value);
        break;
    case Command::kPrevious:
        at.index = std::max(at.index - 1, 0);
        break;
    case Command::kNext:
        ++at.index;
        break;
    }
    at.direction = at.index < from ? -1 : 1;
    at.retry = false;
    at.failures = 0;
    return Act::kLeave;
}

bool CAudioPlayer::Report(AudioEngine::Handle handle) {
    const int64_t position = engine.ChannelGetPosition(handle);
    // A streamed song's length is an estimate until its download is complete.
    const int64_t length = engine.StreamGetLength(handle);
    {
        std::lock_guard<std::mutex> guard(infoLock);
        info.position = static_cast<float>(engine.ChannelBytes2Seconds(handle, position));
        if (length > 0)
            info.duration = static_cast<float>(engine.ChannelBytes2Seconds(handle, length));
    }
    return engine.ChannelIsActive(handle) == AudioEngine::kStopped;
}

bool CAudioPlayer::Await(std::optional<Clock::time_point> deadline,
                         std::optional<Command>& command) {
    std::unique_lock<std::mutex> guard(lock);
    const auto ready = [this] { return stopRequested || !commands.empty(); };
    if (deadline)
        wake.wait_until(guard, *deadline, ready);
    else
        wake.wait(guard, ready);
    if (stopRequested)
        return false;
    if (!commands.empty()) {
        command = commands.front();
        commands.pop_front();
    }
    return true;
}

bool CAudioPlayer::Gap(Clock::duration d, Cursor& at) {
    SetState(at.index < songList.Count() ? State::kGap : State::kWaitingForSongs);
    const Clock::time_point end = Clock::now() + d;
    for (;;) {
        std::optional<Command> command;
        if (!Await(end, command))
            return false;
        if (!command)
            return true;
        if (Apply(*command, at, 0, {}) == Act::kLeave)
            return true; // the cursor moved: on to its song at once
    }
}

bool CAudioPlayer::IsDisliked(const std::string& sid) const {
    std::lock_guard<std::mutex> guard(lock);
    return disliked.count(sid) != 0;
}

int CAudioPlayer::PassOverDisliked(int index, int direction) const {
    std::set<std::string, std::less<>> skip;
    {
        std::lock_guard<std::mutex> guard(lock);
        skip = disliked;
    }
    if (skip.empty() && !songList.AnyFailed())
        return index;
    const int count = songList.Count();
    // Failed songs (see SongList::MarkFailed) are passed over as disliked ones are.
    auto playable = [&](int i) {
        const std::string sid = songList.At(i).sid;
        return skip.count(sid) == 0 && !songList.Failed(sid);
    };
    if (direction < 0) {
        for (int i = std::min(index, count - 1); i >= 0; --i)
            if (playable(i))
                return i;
        // None before it: as Previous at the first song, the first playable one.
    }
    int i = std::max(index, 0);
    while (i < count && !playable(i))
        ++i;
    return i;
}

bool CAudioPlayer::NoteDownload(const std::string& sid, DownloadEnd end) {
    if (end == DownloadEnd::kOverCap) {
        Log(Log::kPlayer) << "sid " << sid << " is over its cap: not streamed again";
        songList.MarkFailed(sid);
    } else if ((end == DownloadEnd::kFailed || end == DownloadEnd::kComplete) &&
               songList.CountDownload(sid, end == DownloadEnd::kComplete)) {
        Log(Log::kPlayer) << "sid " << sid << " failed " << SongList::kMaxFailures
                          << " times: not streamed again";
    }
    return end != DownloadEnd::kNone;
}

void CAudioPlayer::FreeStream(AudioEngine::Handle handle) {
    engine.Stop();
    engine.StreamFree(handle);
}
