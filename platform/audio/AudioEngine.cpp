#include "platform/audio/AudioEngine.h"

#include <SDL.h>

#include <algorithm>

#include "platform/audio/AudioStream.h"

namespace {

constexpr Uint16 kDeviceBufferFrames = 1024; // about 23 ms

// SDL's subsystem set-up is process-wide and not thread-safe; engines share this.
std::mutex& SdlMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

AudioEngine::AudioEngine() = default;

AudioEngine::~AudioEngine() {
    Free();
}

bool AudioEngine::Init(int device, int freq) {
    if (freq != kRate || device == 0 || device < -1)
        return false;
    std::lock_guard life(lifeMutex_);
    {
        std::lock_guard lock(mutex_);
        if (ready_)
            return true;
    }
    mix_.assign(kDeviceBufferFrames * 2, 0);
    scratch_.assign(kDeviceBufferFrames * 2, 0);
    SDL_AudioDeviceID id = 0;
    {
        std::lock_guard sdl(SdlMutex());
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        std::string name;
        bool found = device == -1;
        if (device > 0 && device <= SDL_GetNumAudioDevices(0)) {
            if (const char* listed = SDL_GetAudioDeviceName(device - 1, 0)) {
                name = listed;
                found = true;
            }
        }
        if (found) {
            SDL_AudioSpec want{};
            want.freq = kRate;
            want.format = AUDIO_S16SYS;
            want.channels = 2;
            want.samples = kDeviceBufferFrames;
            want.callback = &AudioEngine::OutputCallback;
            want.userdata = this;
            SDL_AudioSpec have{};
            // No changes allowed: SDL converts to whatever the hardware takes.
            id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
        }
        if (id == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
    }
    {
        std::lock_guard lock(mutex_);
        ready_ = true;
        device_ = id;
        output_ = Output::kRunning;
    }
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void AudioEngine::Free() {
    std::lock_guard life(lifeMutex_);
    std::map<Handle, std::shared_ptr<AudioStream>> streams;
    std::vector<std::shared_ptr<AudioStream>> creating;
    SDL_AudioDeviceID id = 0;
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return;
        ready_ = false;
        id = device_;
        device_ = 0;
        output_ = Output::kStopped;
        streams.swap(streams_);
        creating.swap(creating_);
    }
    {
        std::lock_guard sdl(SdlMutex());
        SDL_CloseAudioDevice(id); // waits for a running callback
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    for (auto& [handle, stream] : streams)
        stream->Shutdown(false);
    for (auto& stream : creating)
        stream->Shutdown(false); // its creator returns 0 at once
}

AudioEngine::Handle AudioEngine::Finish(std::shared_ptr<AudioStream> stream, bool isDownload,
                                        const std::atomic<bool>* abort) {
    if (!stream)
        return 0;
    bool waiting = false;
    {
        std::lock_guard lock(mutex_);
        // Registered under the same lock that Free and AbortCreations take, so either they see
        // the stream or it sees their state: a creation never misses them and waits it out.
        waiting = ready_ && !(abort && *abort);
        if (waiting)
            creating_.push_back(stream);
    }
    bool ok = waiting && stream->WaitForAudio(kCreateTimeout);
    if (waiting) {
        std::lock_guard lock(mutex_);
        auto it = std::find(creating_.begin(), creating_.end(), stream);
        if (it != creating_.end()) {
            creating_.erase(it);
            if (ok && ready_ && !(abort && *abort)) {
                Handle handle = nextHandle_++;
                if (nextHandle_ == 0)
                    nextHandle_ = 1;
                streams_.emplace(handle, std::move(stream));
                return handle;
            }
        }
    }
    // A download that gave no stream leaves no cache file behind.
    stream->Shutdown(isDownload);
    return 0;
}

void AudioEngine::AbortCreations() {
    std::vector<std::shared_ptr<AudioStream>> creating;
    {
        std::lock_guard lock(mutex_);
        creating.swap(creating_);
        for (auto& stream : creating)
            stream->Abort(); // its creator wakes, finds it gone and shuts it down
    }
}

AudioEngine::Handle AudioEngine::StreamCreateURL(const std::string& url, const SaveFile& save,
                                                 const std::atomic<bool>* abort) {
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || (abort && *abort))
            return 0;
    }
    return Finish(AudioStream::FromUrl(url, save.path, save.partPath), true, abort);
}

AudioEngine::Handle AudioEngine::StreamCreateFile(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return 0;
    }
    return Finish(AudioStream::FromFile(path), false, nullptr);
}

bool AudioEngine::StreamFree(Handle handle) {
    std::shared_ptr<AudioStream> stream;
    {
        std::lock_guard lock(mutex_);
        auto it = streams_.find(handle);
        if (it == streams_.end())
            return false;
        stream = std::move(it->second);
        streams_.erase(it);
    }
    // Out of the table, the output callback no longer sees it; join outside the lock.
    stream->Shutdown(false);
    return true;
}

std::shared_ptr<AudioStream> AudioEngine::Find(Handle handle) const {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(handle);
    return it == streams_.end() ? nullptr : it->second;
}

bool AudioEngine::Start() {
    std::lock_guard lock(mutex_);
    if (!ready_)
        return false;
    output_ = Output::kRunning;
    return true;
}

bool AudioEngine::Stop() {
    std::lock_guard lock(mutex_);
    if (!ready_)
        return false;
    output_ = Output::kStopped;
    for (auto& [handle, stream] : streams_)
        stream->StopChannel();
    return true;
}

bool AudioEngine::Pause() {
    std::lock_guard lock(mutex_);
    if (!ready_)
        return false;
    output_ = Output::kPaused;
    return true;
}

bool AudioEngine::StreamPlay(Handle handle, bool restart) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    stream->Play(restart);
    return true;
}

bool AudioEngine::SetVolume(int volume) {
    if (volume < 0 || volume > 100)
        return false;
    volume_ = volume;
    return true;
}

bool AudioEngine::ChannelSetPosition(Handle handle, int64_t bytes) {
    auto stream = Find(handle);
    return stream && bytes >= 0 && stream->SetPosition(bytes / kBytesPerFrame);
}

int64_t AudioEngine::ChannelGetPosition(Handle handle) const {
    auto stream = Find(handle);
    return stream ? stream->Position() * kBytesPerFrame : -1;
}

int64_t AudioEngine::StreamGetLength(Handle handle) const {
    auto stream = Find(handle);
    return stream ? stream->Length() * kBytesPerFrame : -1;
}

double AudioEngine::ChannelBytes2Seconds(Handle handle, int64_t bytes) const {
    if (!Find(handle))
        return -1.0;
    return static_cast<double>(bytes) / kBytesPerSecond;
}

int AudioEngine::ChannelIsActive(Handle handle) const {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(handle);
    if (it == streams_.end())
        return kStopped;
    return it->second->GetActivity(output_ == Output::kRunning);
}

int AudioEngine::ChannelGetData(Handle handle, float* buffer, uint32_t request) {
    if (request != kDataFft1024 || !buffer)
        return -1;
    auto stream = Find(handle);
    float samples[SpectrumAnalyzer::kSize];
    if (!stream || !stream->History(samples))
        return -1;
    analyzer_.Analyze(samples, buffer);
    return static_cast<int>(SpectrumAnalyzer::kBins);
}

void AudioEngine::OutputCallback(void* self, uint8_t* buffer, int bytes) {
    static_cast<AudioEngine*>(self)->Mix(reinterpret_cast<int16_t*>(buffer),
                                         static_cast<size_t>(bytes) / kBytesPerFrame);
}

void AudioEngine::Mix(int16_t* out, size_t frames) {
    if (mix_.size() < frames * 2) {
        mix_.resize(frames * 2);
        scratch_.resize(frames * 2);
    }
    std::fill_n(mix_.begin(), frames * 2, 0);
    {
        std::lock_guard lock(mutex_);
        if (output_ == Output::kRunning) {
            for (auto& [handle, stream] : streams_)
                stream->MixInto(mix_.data(), frames, scratch_.data());
        }
    }
    const int32_t volume = volume_;
    for (size_t i = 0; i < frames * 2; ++i)
        out[i] = static_cast<int16_t>(std::clamp(mix_[i] * volume / 100, -32768, 32767));
}
