#pragma once
#include "platform/audio/AudioEngine.h"
#include "playback/NowPlayingInfo.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class SongList;
struct SongRecord;

// Plays the songs of the song list one after another from index 0 on a play thread of its
// own. The UI thread steers it with single pending commands (a new one replaces one not yet
// processed); while a song is open the play thread picks them up at once, besides polling the
// position and the end of the song every 200 ms. A Stop is seen in every state. Reports go to a
// listener with copies, on the play thread.
//
// The song it opens is claimed in the song list (SongList::BeginPlay): the prefetch leaves it
// alone and its status 3 stays. A streamed song is saved to the music cache only once its whole
// download is in; one left before that leaves no file, and its next play streams it again.
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
    };

    // listener may be null.
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
    // The state becomes Stopped at once; the play thread ends within its poll.
    void Stop();
    // To a time in the current song, clamped to its length; ignored while the length is unknown.
    void Seek(double seconds);
    // Clamped to 0..100 and applied within 200 ms; the caller stores it.
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

    // Whether a play thread runs; after Stop it ends within one poll.
    bool IsThreadRunning() const;

private:
    // What the play thread does after a command was looked at.
    enum class Step { kStay, kLeave, kStop };

    // The stop request Stop and Shutdown share; lock held.
    void RequestStopLocked();
    void PlayThread();
    // One run from index 0 until a Stop (or a failed initialisation).
    void Run();
    // Opens and starts song; the handle, or 0 when the attempt failed.
    AudioEngine::Handle OpenSong(const NowPlayingInfo& song, const std::string& url);
    Step ProcessCommand(int& requested, AudioEngine::Handle handle, uint64_t& seenSerial);
    // Polls the open song until it ends, a command leaves it or it is disliked.
    Step PlaySong(int& requested, AudioEngine::Handle handle, const std::string& sid);
    bool IsDisliked(const std::string& sid) const;
    // From index on in direction (+1 or -1), the first song not disliked; backwards with none
    // left, the first one after index. The song count when all from index on are disliked.
    int PassOverDisliked(int index, int direction) const;
    void SetCommand(int value);
    void FreeStream(AudioEngine::Handle handle);
    // Waits up to d; true when a Stop (or Shutdown) came.
    bool WaitForStop(std::chrono::milliseconds d);
    // Waits up to d or until a command newer than seenSerial comes.
    void WaitForCommand(std::chrono::milliseconds d, uint64_t seenSerial);
    bool StopRequested() const;
    void SetPlaying(); // unless a Stop came first
    void ClearSpectrum() { ++spectrumClears; }
    NowPlayingInfo InfoCopy() const;

    Listener* const listener;
    SongList& songList;
    const int device;
    std::atomic<bool> cancel{false};    // raised by Shutdown: no more reports
    std::atomic<bool> abortOpen{false}; // raised by Stop: a stream creation gives up
    AudioEngine engine;                 // thread-safe itself

    mutable std::mutex lock;      // guards the fields down to disliked
    std::condition_variable wake; // a command, Stop or Shutdown came
    int command = 0;
    int commandIndex = 0;
    uint64_t seekTarget = 0;
    uint64_t commandSerial = 0;    // bumped by every command, so a waiting poll wakes
    bool stopRequested = false;    // the running play thread is to end
    bool restartRequested = false; // a Start came while the stopped thread was still ending
    bool shuttingDown = false;
    bool threadAlive = false;
    std::set<std::string, std::less<>> disliked; // sids; for the whole run
    // Written under lock (or by the play thread only while no Stop is pending), read anywhere.
    std::atomic<int> playState{Stopped};
    std::atomic<AudioEngine::Handle> stream{0}; // the stream last opened; not cleared on free
    std::atomic<int> volume{30};

    mutable std::mutex infoLock; // guards info
    NowPlayingInfo info;

    // Bumped by the play thread when the spectrum is to fall to zero; the UI thread applies it.
    std::atomic<unsigned> spectrumClears{0};
    // UI thread only.
    unsigned spectrumClearsSeen = 0;
    std::array<float, kSpectrumSize> fftBuffer{};
    std::thread playThread; // started and joined by Start and Shutdown

    // Play thread only.
    bool audioReady = false;
};
