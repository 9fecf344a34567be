#include "platform/audio/PulseOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/Log.h"

namespace {

constexpr int kRate = 44100;
constexpr size_t kBytesPerFrame = 4;
constexpr size_t kChunkFrames = 2048; // one Pull at most, about 46 ms

const pa_sample_spec kSpec{PA_SAMPLE_S16NE, kRate, 2};

} // namespace

bool PulseOutput::Open(Source& source) {
    if (loop_)
        return stream_ != nullptr;
    source_ = &source;
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return false;
    pa_threaded_mainloop_lock(loop_);
    const bool ok = pa_threaded_mainloop_start(loop_) >= 0 && ConnectLocked();
    pa_threaded_mainloop_unlock(loop_);
    if (!ok)
        Close();
    return ok;
}

bool PulseOutput::ConnectLocked() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, clientName_.c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    context_ =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), nullptr, properties);
    if (!context_) {
        pa_proplist_free(properties);
        return false;
    }
    pa_context_set_state_callback(context_, &PulseOutput::OnContextState, this);
    // Only a server that already runs: without one the caller uses another output at once.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        pa_proplist_free(properties);
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            pa_proplist_free(properties);
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    stream_ = pa_stream_new_with_proplist(context_, "Music", &kSpec, nullptr, properties);
    pa_proplist_free(properties);
    if (!stream_)
        return false;
    pa_stream_set_state_callback(stream_, &PulseOutput::OnStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseOutput::OnWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kBufferMs * PA_USEC_PER_MSEC, &kSpec));
    attr.prebuf = 0; // no automatic start or stop: corking alone starts and stops it
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
        return false;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) {
            // The server asks for more each time it has played minreq, keeping the whole
            // latency less about half of that ahead.
            const pa_buffer_attr* given = pa_stream_get_buffer_attr(stream_);
            const size_t minreq = given ? given->minreq : 0;
            delayFrames_ =
                (attr.tlength - std::min<size_t>(attr.tlength, minreq / 2)) / kBytesPerFrame;
            return true;
        }
        if (!PA_STREAM_IS_GOOD(state))
            return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

void PulseOutput::Play() {
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    if (stream_ && !failed_) {
        if (corked_) {
            corked_ = false;
            WaitLocked(pa_stream_cork(stream_, 0, &PulseOutput::OnDone, this));
        }
        // What the server asked for while the source had nothing, or before the uncork.
        const size_t writable = pa_stream_writable_size(stream_);
        if (writable != static_cast<size_t>(-1) && writable > 0)
            WriteLocked(writable);
    }
    pa_threaded_mainloop_unlock(loop_);
}

size_t PulseOutput::Halt() {
    if (!loop_)
        return 0;
    size_t unheard = 0;
    pa_threaded_mainloop_lock(loop_);
    if (stream_ && !failed_) {
        if (!corked_) {
            corked_ = true;
            WaitLocked(pa_stream_cork(stream_, 1, &PulseOutput::OnDone, this));
            // Corked, the server reads no further: what lies between its read and write
            // positions was never heard. The cork also takes back what the sink had mixed
            // ahead, on the server's own thread after it acknowledged the cork; asking twice
            // reads the position after that.
            WaitLocked(pa_stream_update_timing_info(stream_, &PulseOutput::OnDone, this));
            WaitLocked(pa_stream_update_timing_info(stream_, &PulseOutput::OnDone, this));
            if (const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
                timing && timing->write_index > timing->read_index)
                unheard =
                    static_cast<size_t>(timing->write_index - timing->read_index) / kBytesPerFrame;
        }
        WaitLocked(pa_stream_flush(stream_, &PulseOutput::OnDone, this));
        idle_ = false;
    }
    pa_threaded_mainloop_unlock(loop_);
    return unheard;
}

bool PulseOutput::SetVolume(int volume) {
    if (!loop_)
        return false;
    bool set = false;
    pa_threaded_mainloop_lock(loop_);
    if (stream_ && !failed_) {
        pa_cvolume levels;
        pa_cvolume_set(&levels, kSpec.channels, pa_sw_volume_from_linear(volume / 100.0));
        // Not waited for: the server takes it before whatever is asked of it next.
        if (pa_operation* operation = pa_context_set_sink_input_volume(
                context_, pa_stream_get_index(stream_), &levels, nullptr, nullptr)) {
            pa_operation_unref(operation);
            set = true;
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    return set;
}

void PulseOutput::Close() {
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

void PulseOutput::WriteLocked(size_t bytes) {
    if (corked_ || failed_)
        return;
    for (size_t frames = bytes / kBytesPerFrame; frames > 0;) {
        const size_t want = std::min(frames, kChunkFrames);
        chunk_.resize(want * 2);
        const size_t got = source_->Pull(chunk_.data(), want);
        if (got > 0 && pa_stream_write(stream_, chunk_.data(), got * kBytesPerFrame, nullptr, 0,
                                       PA_SEEK_RELATIVE) < 0) {
            FailedLocked("write");
            return;
        }
        if (got < want) {
            if (!idle_) {
                // Corked once the server has played what it holds: corking sooner would take
                // back what the sink has mixed ahead, the last moments of a song.
                idle_ = true;
                if (pa_operation* operation =
                        pa_stream_drain(stream_, &PulseOutput::OnDrained, this))
                    pa_operation_unref(operation);
            }
            return;
        }
        frames -= want;
    }
    idle_ = false;
}

void PulseOutput::WaitLocked(pa_operation* operation) {
    if (!operation)
        return;
    // A lost connection cancels the operation; the state callbacks wake this wait.
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(operation);
}

void PulseOutput::FailedLocked(const char* what) {
    if (failed_)
        return;
    failed_ = true;
    Log(Log::kPlayer) << "sound server " << what << " failed: "
                      << pa_strerror(context_ ? pa_context_errno(context_) : PA_ERR_UNKNOWN);
}

void PulseOutput::OnContextState(pa_context* context, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED && output->stream_)
        output->FailedLocked("connection");
    pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::OnStreamState(pa_stream* stream, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED)
        output->FailedLocked("stream");
    pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::OnWrite(pa_stream*, size_t bytes, void* self) {
    static_cast<PulseOutput*>(self)->WriteLocked(bytes);
}

void PulseOutput::OnDrained(pa_stream* stream, int success, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    // Everything written has been played and there is nothing more: the server may idle.
    if (success && output->idle_ && !output->corked_) {
        output->corked_ = true;
        if (pa_operation* operation = pa_stream_cork(stream, 1, nullptr, nullptr))
            pa_operation_unref(operation);
    }
}

void PulseOutput::OnDone(pa_stream*, int, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop_, 0);
}
