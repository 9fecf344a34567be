#include "platform/audio/AudioStream.h"

#include <algorithm>
#include <vector>

#include "platform/audio/Mp3Decoder.h"
#include "platform/audio/StreamSource.h"

AudioStream::AudioStream(std::unique_ptr<StreamSource> source) : source_(std::move(source)) {}

AudioStream::~AudioStream() {
    Shutdown(false);
}

std::shared_ptr<AudioStream> AudioStream::FromFile(const std::string& path) {
    auto source = StreamSource::Open(path);
    if (!source)
        return nullptr;
    const int64_t size = source->Size();
    // The scan reads only frame headers; it gives the exact length before playback starts.
    const int64_t frames = size > 0 ? Mp3Decoder::ScanFrames(*source, size) : -1;
    if (frames <= 0)
        return nullptr;
    std::shared_ptr<AudioStream> stream(new AudioStream(std::move(source)));
    stream->inputAvailable_ = size;
    stream->inputComplete_ = true;
    stream->contentLength_ = size;
    stream->exactFrames_ = frames;
    stream->StartThreads();
    return stream;
}

std::shared_ptr<AudioStream> AudioStream::FromUrl(const std::string& url,
                                                  const std::string& savePath,
                                                  const std::string& partPath) {
    if (savePath.empty() != partPath.empty())
        return nullptr;
    auto source =
        savePath.empty() ? StreamSource::CreateTemporary() : StreamSource::Create(partPath);
    if (!source)
        return nullptr;
    std::shared_ptr<AudioStream> stream(new AudioStream(std::move(source)));
    stream->savePath_ = savePath;
    UrlFeeder::Sink& sink = *stream;
    stream->feeder_ = std::make_unique<UrlFeeder>(url, *stream->source_, sink);
    stream->StartThreads();
    return stream;
}

void AudioStream::StartThreads() {
    decoder_ = std::thread(&AudioStream::DecodeLoop, this);
    if (feeder_)
        feeder_->Start();
}

bool AudioStream::WaitForAudio(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return hasAudio_ || decoderEnded_ || stopping_; });
    return hasAudio_;
}

void AudioStream::Abort() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

void AudioStream::Shutdown(bool removeSavedFile) {
    std::lock_guard serial(shutdownMutex_);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (feeder_)
        feeder_->Stop();
    if (decoder_.joinable())
        decoder_.join();
    if (removeSavedFile)
        source_->RemoveCreatedFile();
}

void AudioStream::Play(bool restart) {
    std::lock_guard lock(mutex_);
    if (restart)
        SetPositionLocked(0);
    playing_ = true;
    stalled_ = false;
}

void AudioStream::StopChannel() {
    std::lock_guard lock(mutex_);
    playing_ = false;
}

bool AudioStream::SetPosition(int64_t frame) {
    std::lock_guard lock(mutex_);
    if (frame < 0 || (exactFrames_ >= 0 && frame > exactFrames_))
        return false;
    SetPositionLocked(frame);
    return true;
}

void AudioStream::SetPositionLocked(int64_t frame) {
    // The ring always starts at position_, so a seek to it changes nothing (the usual seek to 0
    // before the first play keeps what was decoded ahead).
    if (frame == position_)
        return;
    ring_.Clear();
    position_ = frame;
    seekTarget_ = frame;
    seekPending_ = true;
    ++generation_;
    decoderEnded_ = false;
    stalled_ = false;
    changed_.notify_all();
}

int64_t AudioStream::Position() const {
    std::lock_guard lock(mutex_);
    return position_;
}

int64_t AudioStream::Length() const {
    std::lock_guard lock(mutex_);
    return exactFrames_ >= 0 ? exactFrames_ : estimatedFrames_;
}

int AudioStream::GetActivity(bool outputRunning) const {
    std::lock_guard lock(mutex_);
    if (!playing_)
        return kStopped;
    if (!outputRunning)
        return kPaused;
    return stalled_ ? kStalled : kPlaying;
}

bool AudioStream::History(float* mono, size_t delayFrames) const {
    std::lock_guard lock(mutex_);
    if (!hasOutput_)
        return false;
    const size_t size = history_.size();
    const size_t from =
        (historyNext_ + size - std::min(delayFrames, kMaxDelayFrames) - kSpectrumFrames) % size;
    // In at most two pieces, where the ring wraps.
    const size_t first = std::min(kSpectrumFrames, size - from);
    std::copy_n(history_.begin() + static_cast<std::ptrdiff_t>(from), first, mono);
    std::copy_n(history_.begin(), kSpectrumFrames - first, mono + first);
    return true;
}

void AudioStream::AwaitFrames(size_t frames, std::chrono::milliseconds max) {
    std::unique_lock lock(mutex_);
    outputWaits_ = true;
    changed_.wait_for(lock, max, [&] {
        return !playing_ || stopping_ || decoderEnded_ || decoderWantsInput_ ||
               ring_.Size() >= frames;
    });
    outputWaits_ = false;
}

bool AudioStream::MixInto(int32_t* mix, size_t frames, int16_t* scratch) {
    bool wakeDecoder = false;
    {
        std::lock_guard lock(mutex_);
        if (!playing_)
            return false;
        // After running dry, wait for a little reserve so a slow download does not stutter.
        bool held = stalled_ && !decoderEnded_ && ring_.Size() < kResumeFrames;
        size_t got = held ? 0 : ring_.Pop(scratch, frames);
        for (size_t i = 0; i < got; ++i) {
            const int32_t left = scratch[2 * i];
            const int32_t right = scratch[2 * i + 1];
            mix[2 * i] += left;
            mix[2 * i + 1] += right;
            history_[historyNext_] = static_cast<float>(left + right) * (1.0f / 65536.0f);
            historyNext_ = (historyNext_ + 1) % history_.size();
        }
        if (got > 0)
            hasOutput_ = true;
        position_ += static_cast<int64_t>(got);
        if (got < frames) {
            if (decoderEnded_ && ring_.Size() == 0)
                playing_ = false; // played to its end
            else
                stalled_ = true;
        } else {
            stalled_ = false;
        }
        wakeDecoder = decoderWantsSpace_ && ring_.Free() >= kRefillFrames;
    }
    if (wakeDecoder)
        changed_.notify_all();
    return true;
}

void AudioStream::EndDecodingLocked(uint64_t generation) {
    if (generation != generation_ || decoderEnded_)
        return;
    decoderEnded_ = true;
    changed_.notify_all();
}

void AudioStream::DecodeLoop() {
    Mp3Decoder decoder;
    std::vector<unsigned char> input(kInputChunkBytes);
    std::vector<int16_t> pcm(kDecodeChunkFrames * 2);
    int64_t feedOffset = 0; // next input byte for the decoder
    int64_t skipFrames = 0; // decoded frames to drop to land on a seek target
    bool needInput = false;
    bool sizeGiven = false;
    bool estimated = false;

    std::unique_lock lock(mutex_);
    uint64_t generation = generation_;
    if (!decoder.Ok())
        EndDecodingLocked(generation);
    while (!stopping_) {
        if (seekPending_) {
            seekPending_ = false;
            const int64_t target = seekTarget_;
            generation = generation_;
            lock.unlock();
            int64_t offset = 0;
            int64_t reached = decoder.Seek(target, offset);
            if (reached < 0 || reached > target) {
                // Decode from the start and drop everything before the target.
                decoder.Reset();
                sizeGiven = false;
                offset = 0;
                reached = 0;
            }
            feedOffset = offset;
            skipFrames = target - reached;
            needInput = false;
            lock.lock();
            continue;
        }
        if (decoderEnded_) {
            changed_.wait(lock);
            continue;
        }
        if (needInput) {
            if (inputAvailable_ > feedOffset) {
                const auto size = static_cast<size_t>(
                    std::min<int64_t>(inputAvailable_ - feedOffset, kInputChunkBytes));
                const int64_t contentLength = contentLength_;
                lock.unlock();
                if (!sizeGiven && contentLength > 0) {
                    decoder.SetInputSize(contentLength);
                    sizeGiven = true;
                }
                const int64_t got = source_->ReadAt(feedOffset, input.data(), size);
                const bool fed = got > 0 && decoder.Feed(input.data(), static_cast<size_t>(got));
                if (fed)
                    feedOffset += got;
                lock.lock();
                if (fed)
                    needInput = false;
                else
                    EndDecodingLocked(generation);
            } else if (inputComplete_) {
                EndDecodingLocked(generation);
            } else {
                decoderWantsInput_ = true;
                if (outputWaits_)
                    changed_.notify_all(); // no more audio until the download brings some
                changed_.wait(lock);
                decoderWantsInput_ = false;
            }
            continue;
        }
        if (ring_.Free() < kDecodeChunkFrames) {
            // Full enough: sleep until the output has taken a good part, not a frame at a time.
            decoderWantsSpace_ = true;
            changed_.wait(lock);
            decoderWantsSpace_ = false;
            continue;
        }
        const size_t room = std::min(ring_.Free(), kDecodeChunkFrames);
        lock.unlock();
        size_t frames = 0;
        const Mp3Decoder::Status status = decoder.Read(pcm.data(), room, frames);
        int64_t estimate = -1;
        if (frames > 0 && !estimated) {
            // Known from here on: the first frame's bitrate (or an Info tag) and the size.
            estimate = decoder.LengthFrames();
            estimated = true;
        }
        lock.lock();
        if (generation != generation_)
            continue; // a seek came meanwhile; handling it resets the decoder's state
        const auto skip = static_cast<size_t>(std::min<int64_t>(skipFrames, frames));
        skipFrames -= static_cast<int64_t>(skip);
        if (frames > skip) {
            ring_.Push(pcm.data() + skip * 2, frames - skip);
            if (!hasAudio_ || outputWaits_) {
                hasAudio_ = true;
                changed_.notify_all();
            }
        }
        if (estimate > 0)
            estimatedFrames_ = estimate;
        if (status == Mp3Decoder::Status::kNeedMore)
            needInput = true;
        else if (status == Mp3Decoder::Status::kFailed)
            EndDecodingLocked(generation);
    }
}

void AudioStream::OnInput(int64_t contentLength, int64_t received) {
    bool wakeDecoder = false;
    {
        std::lock_guard lock(mutex_);
        contentLength_ = contentLength;
        inputAvailable_ = received;
        wakeDecoder = decoderWantsInput_;
    }
    if (wakeDecoder)
        changed_.notify_all();
}

DownloadEnd AudioStream::Downloaded() const {
    std::lock_guard lock(mutex_);
    return downloaded_;
}

void AudioStream::OnInputEnd(int64_t received, DownloadEnd end) {
    // Only a complete copy of what the server sent may be taken for the song's cache file. The
    // feeder's thread is the only one touching the file's name until Shutdown has joined it.
    if (!savePath_.empty()) {
        if (end == DownloadEnd::kComplete)
            source_->MoveCreatedFile(savePath_);
        else
            source_->RemoveCreatedFile();
    }
    {
        std::lock_guard lock(mutex_);
        inputAvailable_ = received;
        inputComplete_ = true;
        downloaded_ = end;
        if (stopping_)
            return;
    }
    changed_.notify_all();
    // All that will ever come is in: the exact length replaces the estimate, also after a
    // broken transfer (the stream ends where the data ends).
    const int64_t frames = received > 0 ? Mp3Decoder::ScanFrames(*source_, received) : -1;
    std::lock_guard lock(mutex_);
    exactFrames_ = std::max<int64_t>(frames, 0);
}
