#include "playback/CAudioPlayer.h"

#include "platform/CodePage.h"
#include "service/CachePath.h"
#include "service/SongList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kPollInterval = 200ms;
constexpr auto kSongGap = 500ms;
constexpr auto kRetryDelay = 200ms; // followed by kSongGap: 700 ms between attempts
constexpr auto kWaitForSongsStep = 200ms;
constexpr int kAttemptsPerSkip = 10;

enum Command { kNone = 0, kResume, kPause, kPlayIndex, kPrevious, kNext, kSeek, kStop };

int ClampVolume(int volume) {
    return std::clamp(volume, 0, 100);
}

// "artist - title" within the length limit, never ending in half a double-byte character.
std::string DisplayName(const std::string& artist, const std::string& title) {
    std::string name = artist + " - " + title;
    const size_t limit = NowPlayingInfo::kMaxDisplayName;
    if (name.size() <= limit)
        return name;
    size_t end = 0;
    for (size_t i = 0; i < limit;) {
        const size_t step = CodePage::IsLeadByte(static_cast<unsigned char>(name[i])) ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
        end = i;
    }
    name.resize(end);
    return name;
}

} // namespace

CAudioPlayer::CAudioPlayer(Listener* listener_, SongList& songs)
    : CAudioPlayer(listener_, songs, Options{}) {}

CAudioPlayer::CAudioPlayer(Listener* listener_, SongList& songs, Options options)
    : listener(listener_), songList(songs), device(options.device) {}

CAudioPlayer::~CAudioPlayer() {
    Shutdown();
}

// ---- UI thread -------------------------------------------------------------------------------

void CAudioPlayer::Start() {
    std::lock_guard<std::mutex> guard(lock);
    if (shuttingDown || playState != Stopped)
        return;
    command = kNone; // a command given while stopped does not carry into the new run
    playState = Playing;
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
    } catch (const std::system_error&) {
        playState = Stopped;
    }
}

void CAudioPlayer::SetCommand(int value) {
    {
        std::lock_guard<std::mutex> guard(lock);
        command = value;
        ++commandSerial;
    }
    wake.notify_all();
}

void CAudioPlayer::Pause() {
    SetCommand(kPause);
}

void CAudioPlayer::Resume() {
    SetCommand(kResume);
}

void CAudioPlayer::Next() {
    SetCommand(kNext);
}

void CAudioPlayer::Previous() {
    SetCommand(kPrevious);
}

void CAudioPlayer::PlayIndex(int index) {
    {
        std::lock_guard<std::mutex> guard(lock);
        commandIndex = std::max(index, 0);
        command = kPlayIndex;
        ++commandSerial;
    }
    wake.notify_all();
}

void CAudioPlayer::RequestStopLocked() {
    command = kStop;
    ++commandSerial;
    playState = Stopped;
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
        const AudioEngine::Handle handle = stream;
        if (handle == 0)
            return;
        const int64_t length = engine.StreamGetLength(handle);
        const double lengthSeconds = length > 0 ? engine.ChannelBytes2Seconds(handle, length) : 0;
        if (lengthSeconds <= 0)
            return;
        const double part = std::clamp(seconds / lengthSeconds, 0.0, 1.0);
        seekTarget = static_cast<uint64_t>(static_cast<double>(length) * part);
        command = kSeek;
        ++commandSerial;
    }
    wake.notify_all();
}

void CAudioPlayer::SetVolume(int value) {
    // The engine refuses levels outside 0..100, which would fail every song start.
    value = ClampVolume(value);
    volume = value;
}

std::string CAudioPlayer::Dislike() {
    const std::string sid = InfoCopy().sid;
    if (sid.empty())
        return sid;
    {
        std::lock_guard<std::mutex> guard(lock);
        disliked.insert(sid);
        ++commandSerial; // wakes the poll, which leaves the song
    }
    wake.notify_all();
    return sid;
}

int CAudioPlayer::GetVolume() const {
    return volume;
}

int CAudioPlayer::GetPlayState() const {
    return playState;
}

float CAudioPlayer::GetPosition() const {
    std::lock_guard<std::mutex> guard(infoLock);
    return info.position;
}

double CAudioPlayer::GetExactPosition() const {
    const AudioEngine::Handle handle = stream;
    if (handle != 0 && playState != Stopped) {
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
    if (playState == Playing) {
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
    engine.Free();
}

bool CAudioPlayer::IsThreadRunning() const {
    std::lock_guard<std::mutex> guard(lock);
    return threadAlive;
}

// ---- play thread -----------------------------------------------------------------------------

void CAudioPlayer::PlayThread() {
    for (;;) {
        Run();
        std::lock_guard<std::mutex> guard(lock);
        if (command == kStop)
            command = kNone;
        if (!restartRequested || shuttingDown) {
            threadAlive = false;
            stopRequested = false;
            restartRequested = false;
            playState = Stopped;
            return;
        }
        restartRequested = false;
        stopRequested = false;
        abortOpen = false;
    }
}

bool CAudioPlayer::StopRequested() const {
    std::lock_guard<std::mutex> guard(lock);
    return stopRequested;
}

void CAudioPlayer::SetPlaying() {
    std::lock_guard<std::mutex> guard(lock);
    if (!stopRequested)
        playState = Playing;
}

bool CAudioPlayer::WaitForStop(std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> guard(lock);
    return wake.wait_for(guard, d, [this] { return stopRequested; });
}

void CAudioPlayer::WaitForCommand(std::chrono::milliseconds d, uint64_t seenSerial) {
    std::unique_lock<std::mutex> guard(lock);
    wake.wait_for(guard, d, [&] { return stopRequested || commandSerial != seenSerial; });
}

void CAudioPlayer::Run() {
    if (!audioReady) {
        if (!engine.Init(device, AudioEngine::kRate)) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (!restartRequested) // a Start that came meanwhile tries again
                    playState = Stopped;
            }
            if (listener && !cancel)
                listener->OnDecoderFailure();
            return;
        }
        audioReady = true;
    }
    SetPlaying();

    int current = 0;
    int requested = 0;
    int direction = 1; // of the last move, for passing over disliked songs
    int failures = 0;
    bool retry = false; // the same song again after a failed attempt
    for (;;) {
        if (StopRequested())
            return;
        if (const int playable = PassOverDisliked(current, direction); playable != current) {
            requested = current = playable;
            retry = false; // another song now
        }
        if (current >= songList.Count()) {
            if (listener && !cancel)
                listener->OnEndOfList(InfoCopy());
            while (current >= songList.Count()) {
                if (WaitForStop(kWaitForSongsStep))
                    return;
            }
            direction = 1;
            continue; // the new songs may be disliked too
        }

        const std::uint64_t generation = songList.Generation();
        const SongRecord song = songList.At(current);
        NowPlayingInfo prepared;
        prepared.generation = generation;
        prepared.index = current;
        prepared.displayName = DisplayName(song.artist, song.title);
        prepared.title = song.title;
        prepared.artist = song.artist;
        prepared.picture = song.picture;
        prepared.url = song.url;
        prepared.sid = song.sid;
        prepared.aid = song.aid;
        prepared.musicPath = CachePath(kCacheMusic, song.sid).value_or(std::string());
        {
            std::lock_guard<std::mutex> guard(infoLock);
            // A retry of the same song keeps its id, so its cover and lyrics are not fetched again.
            retry = retry && info.generation == generation && info.sid == song.sid;
            prepared.playId = retry ? info.playId : info.playId + 1;
            info = prepared;
        }
        SetPlaying();
        if (listener && !cancel)
            listener->OnSongStarting(prepared);
        if (StopRequested())
            return;

        const AudioEngine::Handle handle = OpenSong(prepared, song.url);
        if (handle == 0) {
            songList.EndPlay(current);
            retry = true;
            if (++failures == kAttemptsPerSkip) {
                failures = 0;
                requested = ++current;
                direction = 1;
                retry = false;
            }
            if (WaitForStop(kRetryDelay + kSongGap))
                return;
            continue;
        }
        retry = false;
        songList.MarkPlayed(current, song.sid, generation);
        const Step step = PlaySong(requested, handle, prepared.sid);
        // The stream is freed: a download it had not completed has left no file.
        songList.EndPlay(current);
        if (step == Step::kStop)
            return;
        direction = requested < current ? -1 : 1;
        current = requested;
        if (WaitForStop(kSongGap))
            return;
    }
}

AudioEngine::Handle CAudioPlayer::OpenSong(const NowPlayingInfo& song, const std::string& url) {
    const std::string& musicPath = song.musicPath;
    // The claim keeps the prefetch off the song from here until EndPlay.
    const int status = songList.BeginPlay(song.index, song.sid, song.generation);
    if (status < 0)
        return 0; // the list changed under us: the next attempt reads it again
    // A cache file is only ever complete; a song left mid-stream before has none and streams
    // again.
    std::error_code error;
    const bool fromFile =
        status >= 2 && !musicPath.empty() && fs::is_regular_file(musicPath, error);
    AudioEngine::Handle handle = 0;
    if (fromFile) {
        handle = engine.StreamCreateFile(musicPath);
        // A complete copy of a body that is no song (an error page sent as 200, say) would fail
        // every attempt: without it the next attempt asks the server again.
        if (handle == 0)
            fs::remove(musicPath, error);
    } else {
        // While the prefetch writes the music file (status 1) it owns it: stream without saving.
        AudioEngine::SaveFile save;
        if (status != 1 && !musicPath.empty())
            save = {musicPath, CacheTempPath(musicPath)};
        handle = engine.StreamCreateURL(url, save, &abortOpen);
    }
    if (handle == 0)
        return 0;
    stream = handle;
    const bool started = engine.Start() && (!fromFile || engine.ChannelSetPosition(handle, 0)) &&
                         engine.StreamPlay(handle, false) && engine.SetVolume(volume);
    if (!started) {
        engine.StreamFree(handle);
        return 0;
    }
    const double seconds = engine.ChannelBytes2Seconds(handle, engine.StreamGetLength(handle));
    std::lock_guard<std::mutex> guard(infoLock);
    info.duration = static_cast<float>(seconds);
    return handle;
}

CAudioPlayer::Step CAudioPlayer::PlaySong(int& requested, AudioEngine::Handle handle,
                                          const std::string& sid) {
    uint64_t seenSerial = 0;
    for (;;) {
        const Step step = ProcessCommand(requested, handle, seenSerial);
        if (step != Step::kStay)
            return step;
        if (IsDisliked(sid)) {
            FreeStream(handle);
            ClearSpectrum();
            ++requested;
            return Step::kLeave;
        }
        if (playState == Playing) {
            engine.SetVolume(volume);
            const int64_t position = engine.ChannelGetPosition(handle);
            // A streamed song's length is an estimate until its download is complete.
            const int64_t length = engine.StreamGetLength(handle);
            {
                std::lock_guard<std::mutex> guard(infoLock);
                info.position = static_cast<float>(engine.ChannelBytes2Seconds(handle, position));
                if (length > 0)
                    info.duration = static_cast<float>(engine.ChannelBytes2Seconds(handle, length));
            }
            if (engine.ChannelIsActive(handle) == AudioEngine::kStopped) {
                FreeStream(handle);
                ++requested;
                return Step::kLeave;
            }
        }
        WaitForCommand(kPollInterval, seenSerial);
    }
}

CAudioPlayer::Step CAudioPlayer::ProcessCommand(int& requested, AudioEngine::Handle handle,
                                                uint64_t& seenSerial) {
    Step step = Step::kStay;
    {
        std::lock_guard<std::mutex> guard(lock);
        seenSerial = commandSerial;
        if (stopRequested) {
            step = Step::kStop;
        } else {
            switch (command) {
            case kResume:
                if (playState == Paused && engine.Start()) {
                    playState = Playing;
                    command = kNone;
                }
                break;
            case kPause:
                if (playState == Playing) {
                    if (engine.Pause()) {
                        playState = Paused;
                        command = kNone;
                    }
                    ClearSpectrum();
                }
                break;
            case kPlayIndex:
                requested = commandIndex;
                command = kNone;
                step = Step::kLeave;
                break;
            case kPrevious:
                requested = requested <= 0 ? 0 : requested - 1;
                command = kNone;
                step = Step::kLeave;
                break;
            case kNext:
                ++requested;
                command = kNone;
                step = Step::kLeave;
                break;
            case kSeek:
                engine.ChannelSetPosition(handle, static_cast<int64_t>(seekTarget));
                command = kNone;
                break;
            default:
                break;
            }
        }
    }
    if (step != Step::kStay) {
        // Freed outside the lock: it joins the stream's threads, and the UI thread must not
        // wait for that in its next command.
        FreeStream(handle);
        ClearSpectrum();
    }
    return step;
}

bool CAudioPlayer::IsDisliked(const std::string& sid) const {
    std::lock_guard<std::mutex> guard(lock);
    return disliked.count(sid) != 0;
}

int CAudioPlayer::PassOverDisliked(int index, int direction) const {
    std::set<std::string, std::less<>> skip;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (disliked.empty())
            return index;
        skip = disliked;
    }
    const int count = songList.Count();
    auto playable = [&](int i) { return skip.count(songList.At(i).sid) == 0; };
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

void CAudioPlayer::FreeStream(AudioEngine::Handle handle) {
    engine.Stop();
    engine.StreamFree(handle);
}
