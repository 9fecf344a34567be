#pragma once
#include <cstdint>

#include "platform/audio/AudioOutput.h"

// An SDL audio device: any driver SDL has (ALSA, the dummy and disk drivers of the tests and
// benchmarks). Its buffer is short (about 23 ms), so Halt pauses the device and lets what it
// holds play out: nothing is dropped. While held, SDL's thread still runs, writing silence.
class SdlOutput : public AudioOutput {
public:
    // device: -1 the default device, 1..n the n-th output device SDL lists.
    explicit SdlOutput(int device) : device_(device) {}
    ~SdlOutput() override { Close(); }
    SdlOutput(const SdlOutput&) = delete;
    SdlOutput& operator=(const SdlOutput&) = delete;

    bool Open(Source& source) override;
    void Play() override;
    size_t Halt() override;
    void Close() override;

private:
    static void Callback(void* self, uint8_t* buffer, int bytes);

    const int device_;
    Source* source_ = nullptr; // set by Open before the device runs
    uint32_t id_ = 0;          // SDL_AudioDeviceID; 0 when closed
};
