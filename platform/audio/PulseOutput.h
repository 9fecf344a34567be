#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/AudioOutput.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;

// A stream on the PulseAudio server (or anything speaking its protocol). The server holds
// kBufferMs of audio, so it and the thread here wake less often than for most players (about
// 15 times a second); Halt corks the stream and flushes it, so a pause or a seek is heard at
// once however long the buffer, and says how much was dropped unheard; the volume is the
// stream's own on the server, so it too is heard at once. Held or with nothing to play, the
// stream is corked: the server idles and no thread here wakes.
class PulseOutput : public AudioOutput {
public:
    static constexpr int kBufferMs = 400;

    explicit PulseOutput(std::string clientName) : clientName_(std::move(clientName)) {}
    ~PulseOutput() override { Close(); }
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // False at once when no server answers (never starts one).
    bool Open(Source& source) override;
    bool LongBuffer() const override { return true; }
    size_t DelayFrames() const override { return delayFrames_; }
    bool Failed() const override { return failed_; }
    bool SetVolume(int volume) override;
    void Play() override;
    size_t Halt() override;
    void Close() override;

private:
    static void OnContextState(pa_context* context, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnWrite(pa_stream* stream, size_t bytes, void* self);
    static void OnDrained(pa_stream* stream, int success, void* self);
    static void OnDone(pa_stream* stream, int success, void* self);

    // These run with the mainloop's lock held (its callbacks do).
    bool ConnectLocked();
    void WriteLocked(size_t bytes);
    void WaitLocked(pa_operation* operation);
    void FailedLocked(const char* what);

    const std::string clientName_;
    Source* source_ = nullptr;             // set by Open
    size_t delayFrames_ = 0;               // set by Open
    std::atomic<bool> failed_{false};      // the server went away; set under the mainloop's lock
    pa_threaded_mainloop* loop_ = nullptr; // its thread runs every callback, under its lock

    // Guarded by the mainloop's lock:
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool corked_ = true;
    bool idle_ = false; // the source had nothing more; cork once the server has played it

    std::vector<int16_t> chunk_;
};
