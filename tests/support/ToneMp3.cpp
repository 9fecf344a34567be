#include "tests/support/ToneMp3.h"

#include <lame.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ToneMp3 {

namespace {

int64_t ToneFrames(const Tone& tone) {
    return static_cast<int64_t>(std::llround(tone.seconds * kRate));
}

} // namespace

int64_t FrameCount(const std::vector<Tone>& tones) {
    int64_t frames = 0;
    for (const Tone& tone : tones)
        frames += ToneFrames(tone);
    return frames;
}

std::vector<int16_t> Pcm(const std::vector<Tone>& tones) {
    std::vector<int16_t> pcm;
    pcm.reserve(static_cast<size_t>(FrameCount(tones)) * 2);
    for (const Tone& tone : tones) {
        const double step = 2.0 * std::numbers::pi * tone.hz / kRate;
        const double scale = std::clamp(tone.amplitude, 0.0, 1.0) * 32767.0;
        for (int64_t i = 0, n = ToneFrames(tone); i < n; ++i) {
            auto sample = static_cast<int16_t>(std::lround(scale * std::sin(step * i)));
            pcm.push_back(sample);
            pcm.push_back(sample);
        }
    }
    return pcm;
}

std::string Encode(const std::vector<int16_t>& stereoPcm, int kbps) {
    lame_global_flags* lame = lame_init();
    if (!lame)
        return {};
    lame_set_in_samplerate(lame, kRate);
    lame_set_out_samplerate(lame, kRate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 7);
    lame_set_bWriteVbrTag(lame, 1);
    std::string mp3;
    if (lame_init_params(lame) >= 0) {
        constexpr size_t kChunkFrames = 8192;
        std::vector<unsigned char> out(kChunkFrames * 5 / 4 + 7200);
        std::vector<short> chunk;
        bool ok = true;
        for (size_t at = 0; ok && at < stereoPcm.size() / 2; at += kChunkFrames) {
            size_t frames = std::min(kChunkFrames, stereoPcm.size() / 2 - at);
            chunk.assign(stereoPcm.begin() + at * 2, stereoPcm.begin() + (at + frames) * 2);
            int n = lame_encode_buffer_interleaved(lame, chunk.data(), static_cast<int>(frames),
                                                   out.data(), static_cast<int>(out.size()));
            ok = n >= 0;
            if (ok)
                mp3.append(reinterpret_cast<const char*>(out.data()), n);
        }
        int n = ok ? lame_encode_flush(lame, out.data(), static_cast<int>(out.size())) : -1;
        if (n >= 0) {
            mp3.append(reinterpret_cast<const char*>(out.data()), n);
            // The first frame was a placeholder for the Info tag, known only now.
            unsigned char tag[2880];
            size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
            if (tagSize > 0 && tagSize <= mp3.size())
                std::copy(tag, tag + tagSize, mp3.begin());
        } else {
            mp3.clear();
        }
    }
    lame_close(lame);
    return mp3;
}

} // namespace ToneMp3
