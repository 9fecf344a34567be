#include "platform/audio/SdlOutput.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr Uint16 kDeviceBufferFrames = 1024; // about 23 ms
constexpr int kBytesPerFrame = 4;

// SDL's subsystem set-up is process-wide and not thread-safe; outputs share this.
std::mutex& SdlMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

bool SdlOutput::Open(Source& source) {
    if (id_ != 0)
        return true;
    source_ = &source;
    std::lock_guard sdl(SdlMutex());
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    std::string name;
    bool found = device_ == -1;
    if (device_ > 0 && device_ <= SDL_GetNumAudioDevices(0)) {
        if (const char* listed = SDL_GetAudioDeviceName(device_ - 1, 0)) {
            name = listed;
            found = true;
        }
    }
    if (found) {
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kDeviceBufferFrames;
        want.callback = &SdlOutput::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the hardware takes. Opens paused.
        id_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    }
    if (id_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void SdlOutput::Play() {
    if (id_ != 0)
        SDL_PauseAudioDevice(id_, 0);
}

size_t SdlOutput::Halt() {
    // Returns once the callback has ended; SDL then writes silence behind what it holds.
    if (id_ != 0)
        SDL_PauseAudioDevice(id_, 1);
    return 0;
}

void SdlOutput::Close() {
    if (id_ == 0)
        return;
    std::lock_guard sdl(SdlMutex());
    SDL_CloseAudioDevice(id_); // waits for a running callback
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    id_ = 0;
}

void SdlOutput::Callback(void* self, uint8_t* buffer, int bytes) {
    auto* out = reinterpret_cast<int16_t*>(buffer);
    const auto frames = static_cast<size_t>(bytes) / kBytesPerFrame;
    const size_t filled = static_cast<SdlOutput*>(self)->source_->Pull(out, frames);
    std::fill(out + filled * 2, out + frames * 2, int16_t{0});
}
