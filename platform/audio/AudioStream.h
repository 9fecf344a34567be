#pragma once
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/audio/PcmRing.h"
#include "platform/audio/UrlFeeder.h"

class StreamSource;

// One playable MP3 stream: a source of bytes (a file, or a download that fills a file), a
// decoder thread that keeps a ring of decoded 44.1 kHz 16-bit stereo frames topped up, and the
// channel state the output callback and the engine's callers share. Positions and lengths are
// in stereo frames here; the engine turns them into bytes.
class AudioStream : private UrlFeeder::Sink {
public:
    static constexpr size_t kRingFrames = 44100;       // decoded ahead: one second
    static constexpr size_t kRefillFrames = 11025;     // the decoder wakes when this much is free
    static constexpr size_t kResumeFrames = 8820;      // an underrun waits for this much audio
    static constexpr size_t kDecodeChunkFrames = 4608; // four MP3 frames per decoder call
    static constexpr size_t kInputChunkBytes = 16384;
    static constexpr size_t kSpectrumFrames = 1024;  // what the spectrum looks at
    static constexpr size_t kMaxDelayFrames = 22050; // how far back it may look

    enum Activity : int { kStopped = 0, kPlaying = 1, kStalled = 2, kPaused = 3 };

    // Starts decoding a local file. Null if it cannot be opened or holds no MP3 audio.
    static std::shared_ptr<AudioStream> FromFile(const std::string& path);
    // Starts downloading url and decoding what arrives. The bytes go into partPath, which is
    // renamed to savePath once the download has ended with every byte the server announced
    // and deleted when it ends otherwise; with both empty they go into an unnamed temporary
    // file. Null if partPath cannot be created, or only one of the two is given.
    static std::shared_ptr<AudioStream> FromUrl(const std::string& url, const std::string& savePath,
                                                const std::string& partPath);

    ~AudioStream() override;
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    // Waits until the first audio is decoded; false if the stream ended without any, or the
    // time ran out.
    bool WaitForAudio(std::chrono::milliseconds timeout);
    // Ends a WaitForAudio at once and stops the decoder, without waiting for any thread;
    // Shutdown must still follow.
    void Abort();
    // Ends the transfer and the decoder and joins their threads; a download not complete by
    // then leaves no file. With removeSavedFile a complete one is deleted too. Idempotent.
    void Shutdown(bool removeSavedFile);

    // Starts the channel, from frame 0 when restart is set.
    void Play(bool restart);
    // Stops the channel where it is.
    void StopChannel();
    // Moves the play position; false if past the known end.
    bool SetPosition(int64_t frame);
    int64_t Position() const;
    // Exact once the whole stream is in; before that an estimate, 0 when unknown.
    int64_t Length() const;
    int GetActivity(bool outputRunning) const;
    // kSpectrumFrames frames, mono, in -1..1, oldest first: the last handed to the output but
    // the newest delayFrames (at most kMaxDelayFrames; what the output still holds). False if
    // nothing has been output yet.
    bool History(float* mono, size_t delayFrames) const;
    // How the download ended; kNone for a file, and while it runs.
    DownloadEnd Downloaded() const;

    // Waits until frames are decoded ahead, the stream cannot give them soon (it waits for the
    // download, has ended or is not playing) or max has passed: for an output with a long
    // buffer, which may ask for more at once than the decoder has had time for since a start
    // or a seek.
    void AwaitFrames(size_t frames, std::chrono::milliseconds max);
    // Output's thread: adds up to frames of this stream, when it plays, into mix (interleaved
    // stereo); scratch holds at least frames stereo frames. False when it does not play (it
    // added nothing).
    bool MixInto(int32_t* mix, size_t frames, int16_t* scratch);

private:
    AudioStream(std::unique_ptr<StreamSource> source);

    void StartThreads();
    void DecodeLoop();
    void SetPositionLocked(int64_t frame);
    void EndDecodingLocked(uint64_t generation);

    void OnInput(int64_t contentLength, int64_t received) override;
    void OnInputEnd(int64_t received, DownloadEnd end) override;

    // Set before the threads start, constant after; the source is used without the lock by
    // the rule in StreamSource.
    std::unique_ptr<StreamSource> source_;
    std::string savePath_; // where a complete download goes; empty when it is not kept
    std::unique_ptr<UrlFeeder> feeder_;
    std::thread decoder_;
    std::mutex shutdownMutex_; // serialises Shutdown

    mutable std::mutex mutex_;
    std::condition_variable changed_; // any change of the fields below that a thread waits for
    // Guarded by mutex_:
    bool stopping_ = false;
    bool playing_ = false; // channel started and not stopped or ended
    bool stalled_ = false; // ran dry while playing; waits for kResumeFrames
    PcmRing ring_{kRingFrames};
    int64_t position_ = 0; // frame at the front of the ring: output so far, or seek target
    bool seekPending_ = false;
    int64_t seekTarget_ = 0;
    uint64_t generation_ = 0;   // bumped by each seek; audio decoded for an older one is dropped
    bool decoderEnded_ = false; // no more audio comes until a seek
    bool decoderWantsSpace_ = false;
    bool decoderWantsInput_ = false;
    bool outputWaits_ = false;   // in AwaitFrames: the decoder says when it adds audio
    bool hasAudio_ = false;      // anything decoded since creation
    int64_t inputAvailable_ = 0; // bytes in the source the decoder may read
    bool inputComplete_ = false; // no more bytes come
    DownloadEnd downloaded_ = DownloadEnd::kNone;
    int64_t contentLength_ = -1;
    int64_t estimatedFrames_ = 0;
    int64_t exactFrames_ = -1;
    std::array<float, kSpectrumFrames + kMaxDelayFrames> history_{};
    size_t historyNext_ = 0;
    bool hasOutput_ = false;
};
