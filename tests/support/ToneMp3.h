#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Small MP3 fixtures made in code: tones at 44.1 kHz in stereo, encoded by LAME with its Info
// tag, so a decoder knows the exact length (encoder delay and padding removed).
namespace ToneMp3 {

struct Tone {
    double hz = 440.0; // 0 gives silence
    double seconds = 1.0;
    double amplitude = 0.5; // of full scale
};

constexpr int kRate = 44100;

// Interleaved stereo 16-bit PCM of the tones one after another.
std::vector<int16_t> Pcm(const std::vector<Tone>& tones);
// MP3 bytes of interleaved stereo 16-bit PCM at kRate; empty if LAME refuses.
std::string Encode(const std::vector<int16_t>& stereoPcm, int kbps = 128);
// Number of stereo frames Pcm() makes for the tones.
int64_t FrameCount(const std::vector<Tone>& tones);

inline std::string Sine(double hz, double seconds, double amplitude = 0.5) {
    return Encode(Pcm({{hz, seconds, amplitude}}));
}

} // namespace ToneMp3
