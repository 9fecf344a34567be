#pragma once
#include "platform/audio/AudioEngine.h"
#include "playback/NowPlayingInfo.h"
#include "service/WorkFolder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

class SongList;
struct SongRecord;

// Plays the songs of the song list one after another from index 0 on a play thread of its
// own. The UI thread's commands go into a queue that the play thread works through in order; the
// thread sleeps until a command comes or its next deadline (the next position report while
// playing, the end of a gap between songs); paused, it sleeps until a command comes. A Stop is
// seen in every state. Reports go to a listener with copies, on the play thread.
//
// The song it opens is claimed in the song list (SongList::BeginPlay): the prefetch leaves it
// alone and its status 3 stays; a song the prefetch is downloading is opened from its file once
// that is in. A streamed song is saved to the music cache only once its whole download is in;
// one left before that leaves no file, and its next play streams it again. A stream that goes
// over its cap, or fails as SongList::CountDownload counts, counts against the song.
class CAudioPlayer {
public:
    enum PlayState { Stopped = 0, Playing = 1, Paused = 2 };
    static constexpr int kSpectrumSize = 512;

    // Called on the play thread; an implementation queues the values and returns.
    class Listener {
    public:
        virtual ~Listener() = default;
        // A song has been prepared and is about to be opened (again, after a failed attempt).
        virtual void OnSongStarting(NowPlayingInfo song) = 0;
        // The next index is the end of the list: more songs are needed; the player waits.
        virtual void OnEndOfList(NowPlayingInfo last) = 0;
        // The output could not be opened; the run has ended.
        virtual void OnDecoderFailure() = 0;
    };

    struct Options {
        int device = -1; // output device for AudioEngine::Init
        WorkFolder work; // where the song files are
    };

    // listener may be null. Starts opening the audio output at once.
    CAudioPlayer(Listener* listener, SongList& songs);
    CAudioPlayer(Listener* listener, SongList& songs, Options options);
    ~CAudioPlayer(); // Shutdown()
    CAudioPlayer(const CAudioPlayer&) = delete;
    CAudioPlayer& operator=(const CAudioPlayer&) = delete;

    // Only when stopped: starts a play thread at index 0.
    void Start();
    void Pause();
    void Resume();
    void Next();
    void Previous();
    void PlayIndex(int index);
    // The state becomes Stopped at once; the play thread ends as soon as it sees it.
    void Stop();
    // To a time in the current song, clamped to its length; ignored while the length is unknown.
    void Seek(double seconds);
    // Clamped to 0..100 and applied at once; the caller stores it.
    void SetVolume(int volume);
    // Leaves the current song at once, as Next does, and keeps its sid out of playback for the
    // rest of the run: moves in either direction pass over disliked songs as if they were not in
    // the list. Returns that sid ("" before any song was prepared). Not stored anywhere.
    std::string Dislike();

    int GetVolume() const;
    int GetPlayState() const;
    float GetPosition() const;
    // The position of the open stream as the output stands now, not as of the last poll;
    // GetPosition() when no stream is open.
    double GetExactPosition() const;
    float GetDuration() const;
    void GetNowPlaying(NowPlayingInfo& out) const;

    // Called by the window's 50 ms timer: true when the spectrum buffer may be drawn.
    bool RefreshSpectrum();
    // kSpectrumSize magnitudes; read on the UI thread after RefreshSpectrum.
    const float* GetSpectrumData() const;

    // Stops and joins the play thread.
    void Shutdown();

    // Whether a play thread runs; after Stop it ends soon.
    bool IsThreadRunning() const;

private:
    // What the play thread is doing; GetPlayState tells Stopped, Paused, or Playing for the rest.
    enum class State { kStopped, kOpening, kPlaying, kPaused, kWaitingForSongs, kGap };
    struct Command {
        enum Kind { kResume, kPause, kPlayIndex, kPrevious, kNext, kSeek, kVolume, kDisliked };
        Kind kind;
        double value = 0; // kPlayIndex: the index; kSeek: seconds
    };
    // Where the play thread is in the list; play thread only.
    struct Cursor {
        int index = 0;            // the song to open next
        int direction = 1;        // of the last move, for passing over disliked songs
        int failures = 0;         // failed attempts at index
        bool retry = false;       // the next open is another attempt at the same song
        bool pauseWanted = false; // a Pause came while no song was open
    };
    enum class Act { kStay, kLeave };
    using Clock = std::chrono::steady_clock;

    void Push(Command command);
    // The stop request Stop and Shutdown share; lock held.
    void RequestStopLocked();

    // ---- play thread
    void PlayThread();
    // Under lock after a run: true when a Start came meanwhile and a new run begins.
    bool RunAgain();
    // One run from index 0 until a Stop (or a failed initialisation).
    void Run();
    bool OpenOutput();
    // Moves the cursor off disliked songs; waits while it is past the end. False: Stop.
    bool FindSong(Cursor& at);
    NowPlayingInfo Prepare(Cursor& at);
    // Opens and starts song; the handle, or 0 when the attempt failed.
    AudioEngine::Handle OpenSong(const NowPlayingInfo& song);
    // The prefetch is downloading song: waits until it is done; the song's status then.
    int AwaitPrefetch(const NowPlayingInfo& song);
    AudioEngine::Handle OpenStream(const NowPlayingInfo& song, int status, bool& fromFile);
    // Plays the open song until it ends or a command leaves it. False: Stop.
    bool PlaySong(Cursor& at, AudioEngine::Handle handle, const std::string& sid);
    Act Apply(const Command& command, Cursor& at, AudioEngine::Handle handle,
              const std::string& sid);
    // Refreshes position and length; true when the song has played to its end.
    bool Report(AudioEngine::Handle handle);
    // Waits until a command (taken into command), a Stop or deadline (none: no deadline).
    // False: Stop.
    bool Await(std::optional<Clock::time_point> deadline, std::optional<Command>& command);
    // Waits out d outside a song, applying commands; ends early when one moves the cursor.
    bool Gap(Clock::duration d, Cursor& at);
    // A failed attempt: the same song again after a gap, or the next after kAttemptsPerSkip.
    bool AfterFailure(Cursor& at);
    void SetState(State next); // unless a Stop came first
    bool StopRequested() const;
    bool IsDisliked(const std::string& sid) const;
    // From index on in direction (+1 or -1), the first song neither disliked nor failed;
    // backwards with none left, the first one after index. The song count when all from index
    // on are passed over.
    int PassOverDisliked(int index, int direction) const;
    void FreeStream(AudioEngine::Handle handle);
    // Counts how the stream of sid ended for or against the song, which is passed over once it
    // has failed. False while the download runs (nothing to count yet).
    bool NoteDownload(const std::string& sid, DownloadEnd end);
    void ClearSpectrum() { ++spectrumClears; }
    NowPlayingInfo InfoCopy() const;

    // Lock order: the player's (lock, then infoLock; the code never holds both), the song
    // list's, the engine's, a stream's. The play thread calls the engine and the listener holding
    // no lock of its own.
    Listener* const listener;
    SongList& songList; // locks itself
    const int device;
    const WorkFolder work;
    AudioEngine engine; // locks itself

    mutable std::mutex lock;
    std::condition_variable wake; // a command, Stop, Start or Shutdown came
    // Guarded by lock:
    State state = State::kStopped;
    std::deque<Command> commands;  // for the running play thread, oldest first
    bool stopRequested = false;    // the running play thread is to end its run
    bool restartRequested = false; // a Start came while the stopped thread was still ending
    bool shuttingDown = false;
    bool threadAlive = false;
    std::set<std::string, std::less<>> disliked; // sids; for the whole run
    std::thread playThread;                      // started by Start, joined by Start or Shutdown

    mutable std::mutex infoLock;
    // Guarded by infoLock:
    NowPlayingInfo info;

    // Read anywhere without a lock:
    std::atomic<bool> cancel{false};            // raised by Shutdown: no more reports
    std::atomic<bool> abortOpen{false};         // raised by Stop: a stream creation gives up
    std::atomic<AudioEngine::Handle> stream{0}; // the stream last opened; not cleared on free
    std::atomic<int> volume{30};
    // Bumped by the play thread when the spectrum is to fall to zero; the UI thread applies it.
    std::atomic<unsigned> spectrumClears{0};

    std::thread opener; // opens the output ahead of Start; joined by Shutdown

    // UI thread only:
    unsigned spectrumClearsSeen = 0;
    std::array<float, kSpectrumSize> fftBuffer{};

    // Play thread only:
    bool audioReady = false;
};
