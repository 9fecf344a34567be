#pragma once
#include "playback/NowPlayingInfo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class NotifyTarget;
class SongList;

// Plays the songs of the song list one after another from index 0 on a play thread of its
// own. The UI thread steers it with single pending commands (a new one replaces one not yet
// processed); the play thread picks them up within its 200 ms poll. Reports go to the window
// with blocking sends whose wParam is a const NowPlayingInfo* valid during the call:
// msg::kCoverReady, msg::kSongStarting, msg::kLyricsState (lParam 0 / 1), msg::kEndOfList, and
// msg::kDecoderFailure (wParam 0).
class CAudioPlayer {
public:
    enum PlayState { Stopped = 0, Playing = 1, Paused = 2 };
    static constexpr int kSpectrumSize = 512;

    explicit CAudioPlayer(NotifyTarget* window);
    CAudioPlayer(NotifyTarget* window, SongList& songs);
    ~CAudioPlayer(); // Shutdown()
    CAudioPlayer(const CAudioPlayer&) = delete;
    CAudioPlayer& operator=(const CAudioPlayer&) = delete;

    // Only when stopped: reads the stored volume and starts a play thread at index 0.
    void Start();
    void Pause();
    void Resume();
    void Next();
    void Previous();
    void PlayIndex(int index);
    // The state becomes Stopped at once; the play thread ends within its poll.
    void Stop();
    // p in 0..100 of the current stream's length; ignored before the first stream opened.
    void SeekPercent(int percent);
    // Applied within 200 ms and stored in the settings at once.
    void SetVolume(int volume);

    int GetVolume() const;
    int GetPlayState() const;
    float GetPosition() const;
    float GetDuration() const;
    void GetNowPlaying(NowPlayingInfo& out) const;

    // Called by the window's 50 ms timer: true when the spectrum buffer may be drawn.
    bool RefreshSpectrum();
    // kSpectrumSize magnitudes; read on the UI thread after RefreshSpectrum.
    const float* GetSpectrumData() const;

    // Stops, ends the play thread and the cover and lyrics workers (cancelling their
    // transfers) and joins them all. Messages sent meanwhile must not block: the window stops
    // handling them before it calls this.
    void Shutdown();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
