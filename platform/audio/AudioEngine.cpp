#include "platform/audio/AudioEngine.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/Log.h"
#include "platform/audio/AudioStream.h"
#include "platform/audio/PulseOutput.h"
#include "platform/audio/SdlOutput.h"

namespace {

// How long a pull may wait for decoders that have just started or seeked: the sound server
// asks for its whole buffer at once then, more than they have decoded yet.
constexpr std::chrono::milliseconds kAwaitDecodersMs{500};

// The sound server, unless SDL is told to use another driver (the tests' dummy, a file, ALSA).
bool UseSoundServer() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (!driver || !*driver)
        return true;
    const std::string_view name(driver);
    return name == "pulseaudio" || name == "pulse";
}

} // namespace

AudioEngine::AudioEngine(OutputFactory makeOutput) : makeOutput_(std::move(makeOutput)) {}

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
    std::lock_guard out(outputMutex_);
    deviceNumber_ = device;
    if (!OpenDeviceLocked())
        return false;
    std::lock_guard lock(mutex_);
    ready_ = true;
    output_ = Output::kRunning;
    handed_.Clear();
    outputFresh_ = true;
    return true;
}

void AudioEngine::Free() {
    std::lock_guard life(lifeMutex_);
    std::map<Handle, std::shared_ptr<AudioStream>> streams;
    std::vector<std::shared_ptr<AudioStream>> creating;
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return;
        ready_ = false;
        output_ = Output::kStopped;
        handed_.Clear();
        streams.swap(streams_);
        creating.swap(creating_);
    }
    std::unique_ptr<AudioOutput> output;
    {
        std::lock_guard out(outputMutex_);
        output.swap(device_);
    }
    if (output)
        output->Close(); // waits for a running Pull
    for (auto& [handle, stream] : streams)
        stream->Shutdown(false);
    for (auto& stream : creating)
        stream->Shutdown(false); // its creator returns 0 at once
}

AudioEngine::Handle AudioEngine::Finish(std::shared_ptr<AudioStream> stream, bool isDownload,
                                        const std::atomic<bool>* abort, DownloadEnd* end) {
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
    if (end)
        *end = stream->Downloaded();
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
                                                 const std::atomic<bool>* abort, DownloadEnd* end) {
    if (end)
        *end = DownloadEnd::kNone;
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || (abort && *abort))
            return 0;
    }
    return Finish(AudioStream::FromUrl(url, save.path, save.partPath), true, abort, end);
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
        if (output_ != Output::kRunning)
            handed_.Clear(); // what a pause cut off may be of this stream
    }
    // Out of the table, Pull no longer sees it; join outside the lock.
    stream->Shutdown(false);
    return true;
}

DownloadEnd AudioEngine::StreamDownloadEnd(Handle handle) const {
    const auto stream = Find(handle);
    return stream ? stream->Downloaded() : DownloadEnd::kNone;
}

std::shared_ptr<AudioStream> AudioEngine::Find(Handle handle) const {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(handle);
    return it == streams_.end() ? nullptr : it->second;
}

bool AudioEngine::OpenDeviceLocked() {
    std::unique_ptr<AudioOutput> output;
    if (makeOutput_) {
        output = makeOutput_(deviceNumber_);
    } else if (deviceNumber_ == -1 && UseSoundServer()) {
        output = std::make_unique<PulseOutput>("LantorFM");
        if (!output->Open(*this))
            output.reset(); // no server: SDL finds what else there is
    }
    if (!output)
        output = std::make_unique<SdlOutput>(deviceNumber_);
    if (!output->Open(*this)) // an open one stays as it is
        return false;
    mayWaitForDecoders_ = output->LongBuffer();
    delayFrames_ = output->DelayFrames();
    // Before anything is played, so the first sound has the volume set.
    outputVolume_ = output->SetVolume(volume_);
    device_ = std::move(output);
    return true;
}

void AudioEngine::WakeOutputLocked() {
    if (device_ && device_->Failed()) {
        // The sound server went away (restarted, or the session changed): a new connection,
        // or whatever else there is.
        device_->Close();
        device_.reset();
        if (!OpenDeviceLocked())
            Log(Log::kPlayer) << "no audio output opens again";
    }
    bool wanted = false;
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || output_ != Output::kRunning)
            return;
        wanted = handed_.Pending() > 0;
        for (auto& [handle, stream] : streams_)
            wanted = wanted || stream->GetActivity(true) != kStopped;
    }
    if (wanted && device_)
        device_->Play();
}

bool AudioEngine::Start() {
    std::lock_guard out(outputMutex_);
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return false;
        output_ = Output::kRunning;
    }
    WakeOutputLocked();
    return true;
}

bool AudioEngine::Stop() {
    std::lock_guard out(outputMutex_);
    bool cut = false;
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return false;
        output_ = Output::kStopped;
        for (auto& [handle, stream] : streams_) {
            cut = cut || stream->GetActivity(true) != kStopped;
            stream->StopChannel();
        }
        handed_.Clear();
        outputFresh_ = true;
    }
    // A channel that has played to its end has nothing more in the output than its last
    // moments, which are still heard.
    if (cut && device_)
        device_->Halt();
    return true;
}

bool AudioEngine::Pause() {
    std::lock_guard out(outputMutex_);
    {
        std::lock_guard lock(mutex_);
        if (!ready_)
            return false;
        output_ = Output::kPaused;
        outputFresh_ = true;
    }
    const size_t unheard = device_ ? device_->Halt() : 0;
    std::lock_guard lock(mutex_);
    handed_.Rewind(unheard); // Start plays them first
    return true;
}

bool AudioEngine::StreamPlay(Handle handle, bool restart) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    if (restart)
        return ChannelSetPosition(handle, 0) && StreamPlay(handle, false);
    stream->Play(false);
    std::lock_guard out(outputMutex_);
    WakeOutputLocked();
    return true;
}

bool AudioEngine::SetVolume(int volume) {
    if (volume < 0 || volume > 100)
        return false;
    std::lock_guard out(outputMutex_);
    volume_ = volume;
    if (outputVolume_ && device_)
        outputVolume_ = device_->SetVolume(volume);
    return true;
}

bool AudioEngine::ChannelSetPosition(Handle handle, int64_t bytes) {
    auto stream = Find(handle);
    if (!stream || bytes < 0)
        return false;
    std::lock_guard out(outputMutex_);
    bool running = false;
    {
        std::lock_guard lock(mutex_);
        running = output_ == Output::kRunning;
    }
    // The device holds audio from the old position: dropped, so the new one is heard at once.
    // Halted first, so that nothing from the new position is pulled and dropped.
    const bool playing = running && stream->GetActivity(true) != kStopped;
    const size_t unheard = playing && device_ ? device_->Halt() : 0;
    const bool moved = stream->SetPosition(bytes / kBytesPerFrame);
    {
        std::lock_guard lock(mutex_);
        if (moved) {
            handed_.Clear();
            outputFresh_ = true;
        } else {
            handed_.Rewind(unheard); // nothing changes: what was dropped is played again
        }
    }
    if (playing)
        WakeOutputLocked();
    return moved;
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
    if (!stream || !stream->History(samples, delayFrames_))
        return -1;
    analyzer_.Analyze(samples, buffer);
    return static_cast<int>(SpectrumAnalyzer::kBins);
}

size_t AudioEngine::Pull(int16_t* out, size_t frames) {
    if (mayWaitForDecoders_) {
        awaited_.clear();
        {
            std::lock_guard lock(mutex_);
            if (ready_ && output_ == Output::kRunning && handed_.Pending() < frames) {
                for (auto& [handle, stream] : streams_)
                    awaited_.push_back(stream);
            }
        }
        for (auto& stream : awaited_)
            stream->AwaitFrames(frames, kAwaitDecodersMs);
        awaited_.clear();
    }
    if (mix_.size() < frames * 2) {
        mix_.resize(frames * 2);
        scratch_.resize(frames * 2);
    }
    size_t produced = 0;
    size_t fadeFrom = 0; // the fade-in's step at the first frame
    size_t fadeCount = 0;
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || output_ != Output::kRunning) {
            outputFresh_ = true;
            return 0;
        }
        produced = handed_.Replay(mix_.data(), frames);
        if (produced < frames) {
            int32_t* live = mix_.data() + produced * 2;
            const size_t wanted = frames - produced;
            std::fill_n(live, wanted * 2, 0);
            bool playing = false;
            for (auto& [handle, stream] : streams_)
                playing = stream->MixInto(live, wanted, scratch_.data()) || playing;
            if (playing) {
                handed_.Record(live, wanted);
                produced = frames;
            }
        }
        if (produced == 0) {
            outputFresh_ = true;
            return 0;
        }
        if (outputFresh_) {
            outputFresh_ = false;
            fadeIn_ = kFadeInFrames;
        }
        fadeCount = std::min(fadeIn_, produced);
        fadeFrom = kFadeInFrames - fadeIn_;
        fadeIn_ -= fadeCount;
        if (produced < frames)
            outputFresh_ = true; // the device falls silent after these
    }
    const int32_t volume = outputVolume_ ? 100 : volume_.load();
    for (size_t i = 0; i < produced; ++i) {
        int64_t gain = volume;
        size_t divisor = 100;
        if (i < fadeCount) { // linear from silence
            gain *= static_cast<int64_t>(fadeFrom + i);
            divisor *= kFadeInFrames;
        }
        for (size_t c = 0; c < 2; ++c) {
            const int64_t sample = mix_[2 * i + c] * gain / static_cast<int64_t>(divisor);
            out[2 * i + c] = static_cast<int16_t>(std::clamp<int64_t>(sample, -32768, 32767));
        }
    }
    return produced;
}
