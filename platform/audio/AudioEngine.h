#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/AudioOutput.h"
#include "platform/audio/OutputHistory.h"
#include "platform/audio/SpectrumAnalyzer.h"
#include "platform/audio/UrlFeeder.h" // DownloadEnd

class AudioStream;

// The program's audio library: MP3 streams from files or from URLs (saved while they play),
// decoded by libmpg123 to 44.1 kHz 16-bit stereo, mixed into one output, with an FFT of what is
// being output. Operations and results follow the vendor-style API the player is written
// against: handles are small non-zero integers and 0 is failure; positions and lengths count
// bytes of the decoded stream (4 bytes per stereo frame). Every operation is thread-safe.
// Streams only exist between Init and Free.
//
// The output is the PulseAudio server when one runs and SDL is not told to use another driver,
// else an SDL device. With nothing to play (paused, stopped, or every channel played to its
// end and heard) the output stands still: no thread of the engine wakes and the sound server
// idles. Pause drops what the output holds unheard and Start plays it again, so a pause loses
// no sample; each start of the output fades in over kFadeInFrames so that it never clicks.
class AudioEngine : private AudioOutput::Source {
public:
    using Handle = uint32_t;

    static constexpr int kRate = 44100;
    static constexpr int kBytesPerFrame = 4;
    static constexpr int kBytesPerSecond = kRate * kBytesPerFrame;
    // ChannelGetData request: 512 magnitudes of a 1024-point FFT.
    static constexpr uint32_t kDataFft1024 = 0x80000001;
    // ChannelIsActive results.
    static constexpr int kStopped = 0; // never played, stopped, or played to its end
    static constexpr int kPlaying = 1;
    static constexpr int kStalled = 2; // playing but waiting for the download
    static constexpr int kPaused = 3;  // playing but the output is paused
    // StreamCreateURL gives up when no audio has arrived by then (Free ends the wait sooner).
    static constexpr std::chrono::milliseconds kCreateTimeout{15000};
    static constexpr size_t kFadeInFrames = 220; // 5 ms

    // Makes the output for Init's device; empty: the sound server's, or else SDL's.
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>(int device)>;

    explicit AudioEngine(OutputFactory makeOutput = {});
    ~AudioEngine(); // Free()
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Opens the output: device -1 is the default device, 1..n the n-th output device SDL
    // lists. The output runs at once (as after Start). freq must be 44100, the rate every
    // stream decodes to. False when no output device opens. True if already initialised.
    bool Init(int device = -1, int freq = kRate);
    // Frees every stream (their threads joined) and closes the output. A StreamCreateURL
    // still waiting on another thread returns 0 at once.
    void Free();

    // Where a URL stream keeps what it downloads: every byte received goes into partPath, which
    // becomes path once the download has ended cleanly with every byte the server announced.
    // A download that breaks off, fails or is freed before then deletes partPath, so a file at
    // path is always a complete copy. Both empty: nothing is saved.
    struct SaveFile {
        std::string path;
        std::string partPath;
    };

    // Downloads url while it plays, saving it as save says. Returns once the first audio is
    // decoded, long before the end of the download. 0 if the part file cannot be created (or
    // only one of the two paths is given), the server fails or sends no MP3 audio, or the
    // creation was aborted; no file is left then.
    // abort: a flag the caller raises before calling AbortCreations; seen raised at any point
    // of the call, it ends the call with 0 (so raising it just before the call starts is no race).
    // end, when given, is set to how the download ended when 0 is returned.
    Handle StreamCreateURL(const std::string& url, const SaveFile& save,
                           const std::atomic<bool>* abort = nullptr, DownloadEnd* end = nullptr);
    // 0 if the file cannot be opened or holds no MP3 audio.
    Handle StreamCreateFile(const std::string& path);
    // Makes every StreamCreateURL or StreamCreateFile still waiting for its first audio return
    // 0 at once, without waiting for their threads here.
    void AbortCreations();
    // Ends the stream's download and decoder; the handle is invalid afterwards. A download not
    // complete by then leaves no file.
    bool StreamFree(Handle handle);
    // How a URL stream's download has ended so far; kNone for a file stream or a bad handle.
    DownloadEnd StreamDownloadEnd(Handle handle) const;

    // Output level. Start also resumes channels held by Pause, with what Pause cut off
    // unheard; Stop stops every playing channel where it is (they need StreamPlay again) and
    // drops what the output holds of them, while the end of a channel that has played to its
    // end is still heard.
    bool Start();
    bool Stop();
    bool Pause();

    // Starts the channel; from its beginning with restart, else from its position.
    bool StreamPlay(Handle handle, bool restart);
    // Output volume 0 (silent) to 100 (full), linear. False outside that range.
    bool SetVolume(int volume);
    int GetVolume() const { return volume_; }

    // Byte positions in the decoded stream; a position is rounded down to a whole frame.
    // SetPosition fails past the end of a stream whose exact length is known; on a playing
    // channel it drops what the output holds, so the new position is heard at once.
    bool ChannelSetPosition(Handle handle, int64_t bytes);
    // Bytes handed to the output so far (or the last seek target). -1 for a bad handle.
    int64_t ChannelGetPosition(Handle handle) const;
    // Length in bytes: for a URL stream an estimate from the Content-Length and the bitrate
    // until the whole file is in, then exact; 0 while unknown, -1 for a bad handle.
    int64_t StreamGetLength(Handle handle) const;
    // -1 for a bad handle.
    double ChannelBytes2Seconds(Handle handle, int64_t bytes) const;
    // kStopped, kPlaying, kStalled or kPaused; kStopped for a bad handle.
    int ChannelIsActive(Handle handle) const;
    // With kDataFft1024: fills buffer with 512 magnitudes of the 1024 samples being heard
    // (the last handed to the output but what it still holds; mono mix, Hann window), lowest
    // frequency first, a full-scale sine reading about 1.0 in its bin. Returns 512, or -1 for
    // a bad handle or request, or when the stream has output nothing yet.
    int ChannelGetData(Handle handle, float* buffer, uint32_t request);

private:
    enum class Output { kStopped, kRunning, kPaused };
    // More than any output holds unheard.
    static constexpr size_t kReplayFrames = 32768;

    // The output's thread: the mix, after what a pause cut off; fewer frames when nothing
    // plays.
    size_t Pull(int16_t* out, size_t frames) override;
    // With outputMutex_ held: opens device_ for deviceNumber_; false if none opens.
    bool OpenDeviceLocked();
    // With outputMutex_ held: lets the device run when there is something to play; a failed
    // one is opened again first.
    void WakeOutputLocked();
    std::shared_ptr<AudioStream> Find(Handle handle) const;
    // Waits for the new stream's first audio and hands out its handle; 0 if none.
    Handle Finish(std::shared_ptr<AudioStream> stream, bool isDownload,
                  const std::atomic<bool>* abort, DownloadEnd* end = nullptr);

    // Lock order: lifeMutex_, outputMutex_, the output's own lock (held around Pull), mutex_,
    // a stream's mutex. No output operation is called while holding mutex_, since Pull
    // takes it.
    const OutputFactory makeOutput_;
    std::mutex lifeMutex_; // serialises Init and Free; never taken by Pull
    // Guards device_ and keeps each change of output_ and the device's reaction to it
    // together; never taken by Pull.
    std::mutex outputMutex_;
    std::unique_ptr<AudioOutput> device_;
    int deviceNumber_ = -1;                       // Init's
    std::atomic<bool> mayWaitForDecoders_{false}; // the device's buffer is long
    std::atomic<size_t> delayFrames_{0};          // the device's, from handed to heard
    std::atomic<bool> outputVolume_{false};       // the device applies the volume itself

    mutable std::mutex mutex_;
    // Guarded by mutex_:
    bool ready_ = false;
    Output output_ = Output::kStopped;
    OutputHistory handed_{kReplayFrames}; // what a halt may have left unheard
    bool outputFresh_ = true;             // the device has been silent: the next sound fades in
    size_t fadeIn_ = 0;                   // frames of the fade-in still to come
    std::map<Handle, std::shared_ptr<AudioStream>> streams_;
    std::vector<std::shared_ptr<AudioStream>> creating_; // waiting for their first audio
    Handle nextHandle_ = 1; // not reused while this object lives, also across Init and Free

    std::atomic<int> volume_{100};
    SpectrumAnalyzer analyzer_;

    // Pull only (set up before the device opens).
    std::vector<int32_t> mix_;
    std::vector<int16_t> scratch_;
    std::vector<std::shared_ptr<AudioStream>> awaited_;
};
