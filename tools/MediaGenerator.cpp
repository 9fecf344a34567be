#include "tools/MediaGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>
#include <lame/lame.h>

namespace {

constexpr double kPi = 3.14159265358979323846;

// splitmix64: fixed arithmetic, so a seed gives the same stream on every platform (the standard
// distributions are not specified bit-exactly).
class Rng {
public:
    explicit Rng(std::uint64_t seed)
        : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<unsigned>(n)); }
    int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t state_;
};

// One cycle of a waveform built from harmonic amplitudes, read with linear interpolation.
class Wavetable {
public:
    static constexpr int kSize = 2048;
    explicit Wavetable(std::initializer_list<double> harmonics) {
        double peak = 0;
        for (int i = 0; i < kSize; ++i) {
            double x = 2 * kPi * i / kSize, v = 0;
            int h = 1;
            for (double a : harmonics)
                v += a * std::sin(h++ * x);
            table_[i] = static_cast<float>(v);
            peak = std::max(peak, std::abs(v));
        }
        table_[kSize] = table_[0];
        for (float& v : table_)
            v = static_cast<float>(v / peak);
    }
    float At(double phase) const { // phase in cycles, 0..1
        double p = phase * kSize;
        int i = static_cast<int>(p);
        float f = static_cast<float>(p - i);
        return table_[i] + (table_[i + 1] - table_[i]) * f;
    }

private:
    std::array<float, kSize + 1> table_{};
};

const Wavetable& LeadTable() {
    static const Wavetable t{1.0, 0.5, 0.33, 0.2, 0.12, 0.08, 0.04};
    return t;
}
const Wavetable& BassTable() {
    static const Wavetable t{1.0, 0.0, 0.3, 0.0, 0.12, 0.0, 0.05};
    return t;
}
const Wavetable& PadTable() {
    static const Wavetable t{1.0, 0.25, 0.1};
    return t;
}

double MidiToHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

struct Envelope {
    double attack, decay, sustain, release; // seconds, seconds, level, seconds
    double At(double t, double held) const {
        if (t < 0)
            return 0;
        double level;
        if (t < attack)
            level = t / attack;
        else if (t < attack + decay)
            level = 1.0 - (1.0 - sustain) * (t - attack) / decay;
        else
            level = sustain;
        if (t > held)
            level *= std::max(0.0, 1.0 - (t - held) / release);
        return level;
    }
};

class Mixer {
public:
    explicit Mixer(std::size_t frames) : left_(frames), right_(frames) {}

    void Tone(double start, double held, int note, double amp, double pan, const Wavetable& wave,
              const Envelope& env, double vibratoDepth) {
        const double hz = MidiToHz(note);
        const double total = held + env.release;
        auto first = static_cast<std::size_t>(std::max(0.0, start) * MediaGenerator::kSampleRate);
        auto last = std::min(
            left_.size(), static_cast<std::size_t>((start + total) * MediaGenerator::kSampleRate));
        const float gl = static_cast<float>(amp * (1.0 - pan));
        const float gr = static_cast<float>(amp * (1.0 + pan));
        double phase = 0;
        for (std::size_t i = first; i < last; ++i) {
            double t = static_cast<double>(i) / MediaGenerator::kSampleRate - start;
            double vib = t > 0.15 ? 1.0 + vibratoDepth * std::sin(2 * kPi * 5.2 * t) : 1.0;
            phase += hz * vib / MediaGenerator::kSampleRate;
            phase -= std::floor(phase);
            float v = wave.At(phase) * static_cast<float>(env.At(t, held));
            left_[i] += v * gl;
            right_[i] += v * gr;
        }
    }

    void Kick(double start, double amp) {
        auto first = static_cast<std::size_t>(start * MediaGenerator::kSampleRate);
        auto last = std::min(left_.size(), first + MediaGenerator::kSampleRate / 7);
        double phase = 0;
        for (std::size_t i = first; i < last; ++i) {
            double t = static_cast<double>(i - first) / MediaGenerator::kSampleRate;
            phase += (45.0 + 75.0 * std::exp(-t * 30)) / MediaGenerator::kSampleRate;
            auto v = static_cast<float>(amp * std::sin(2 * kPi * phase) * std::exp(-t * 18));
            left_[i] += v;
            right_[i] += v;
        }
    }

    void Hat(double start, double amp, double pan, Rng& rng) {
        auto first = static_cast<std::size_t>(start * MediaGenerator::kSampleRate);
        auto last = std::min(left_.size(), first + MediaGenerator::kSampleRate / 25);
        double prev = 0;
        for (std::size_t i = first; i < last; ++i) {
            double t = static_cast<double>(i - first) / MediaGenerator::kSampleRate;
            double n = rng.Unit() * 2 - 1;
            double v = (n - prev) * 0.5 * amp * std::exp(-t * 90); // difference: a crude high-pass
            prev = n;
            left_[i] += static_cast<float>(v * (1 - pan));
            right_[i] += static_cast<float>(v * (1 + pan));
        }
    }

    std::vector<std::int16_t> Finish(double fadeOutSeconds) {
        const std::size_t frames = left_.size();
        const auto fadeIn = static_cast<std::size_t>(0.01 * MediaGenerator::kSampleRate);
        const auto fadeOut = static_cast<std::size_t>(fadeOutSeconds * MediaGenerator::kSampleRate);
        float peak = 1e-6f;
        for (std::size_t i = 0; i < frames; ++i)
            peak = std::max({peak, std::abs(left_[i]), std::abs(right_[i])});
        const float gain = 0.89f / peak;
        std::vector<std::int16_t> pcm(frames * 2);
        for (std::size_t i = 0; i < frames; ++i) {
            float g = gain;
            if (i < fadeIn)
                g *= static_cast<float>(i) / static_cast<float>(fadeIn);
            if (fadeOut && i + fadeOut > frames)
                g *= static_cast<float>(frames - i) / static_cast<float>(fadeOut);
            pcm[2 * i] = static_cast<std::int16_t>(std::lround(left_[i] * g * 32767));
            pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(right_[i] * g * 32767));
        }
        return pcm;
    }

private:
    std::vector<float> left_, right_;
};

struct Note {
    double beat;   // offset in the phrase
    double length; // beats
    int degree;    // melody scale degree, may leave 0..n-1 (octaves)
};

std::vector<Note> MakeMotif(Rng& rng, int scaleSize, bool chorus) {
    static const double kLengths[] = {0.5, 1, 1, 1, 1.5, 2};
    std::vector<Note> notes;
    double beat = 0;
    const double sung = chorus ? 7.0 : 6.5; // the rest of the 8 beats is a breath
    int degree = rng.Range(0, scaleSize - 1) + (chorus ? scaleSize / 2 : 0);
    while (beat < sung) {
        double len = std::min(kLengths[rng.Below(6)], sung - beat);
        notes.push_back({beat, len, degree});
        beat += len;
        degree += rng.Range(-2, 2);
        degree = std::clamp(degree, -2, scaleSize + 3);
    }
    notes.back().degree = chorus ? scaleSize : 0; // land on the tonic
    return notes;
}

int DegreeToSemitone(const std::vector<int>& scale, int degree) {
    const int n = static_cast<int>(scale.size());
    int octave = degree >= 0 ? degree / n : -((-degree + n - 1) / n);
    return scale[static_cast<std::size_t>(degree - octave * n)] + 12 * octave;
}

std::string FormatTag(const char* key, const std::string& value) {
    return "[" + std::string(key) + ":" + value + "]\n";
}

// libjpeg reports fatal errors through error_exit; jump back instead of exiting the process.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Kept free of C++ objects with destructors: longjmp may leave it.
bool CompressJpeg(const std::uint8_t* rgb, int width, int height, int quality, unsigned char** out,
                  unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnJpegError;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(cinfo.next_scanline) *
                                                      static_cast<std::size_t>(width) * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

std::array<double, 3> HsvToRgb(double h, double s, double v) {
    h = std::fmod(h, 1.0) * 6;
    int i = static_cast<int>(h);
    double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i % 6) {
    case 0:
        return {v, t, p};
    case 1:
        return {q, v, p};
    case 2:
        return {p, v, t};
    case 3:
        return {p, q, v};
    case 4:
        return {t, p, v};
    default:
        return {v, p, q};
    }
}

} // namespace

MediaGenerator::Melody MediaGenerator::RenderMelody(double seconds, std::uint32_t seed) {
    seconds = std::max(seconds, 0.1);
    Rng rng(seed);
    const bool minor = rng.Below(2) == 1;
    const std::vector<int> harmony =
        minor ? std::vector<int>{0, 2, 3, 5, 7, 8, 10} : std::vector<int>{0, 2, 4, 5, 7, 9, 11};
    const std::vector<int> melodyScale =
        rng.Below(2) == 0
            ? (minor ? std::vector<int>{0, 3, 5, 7, 10} : std::vector<int>{0, 2, 4, 7, 9})
            : harmony;
    static const int kMajorProgressions[][4] = {{0, 4, 5, 3}, {0, 5, 3, 4}, {0, 3, 4, 0}};
    static const int kMinorProgressions[][4] = {{0, 5, 2, 6}, {0, 3, 4, 0}, {0, 6, 5, 6}};
    const int* progression =
        minor ? kMinorProgressions[rng.Below(3)] : kMajorProgressions[rng.Below(3)];
    const int root = rng.Range(57, 64);
    const double beat = 60.0 / rng.Range(92, 132);
    const double bar = 4 * beat, phraseLen = 8 * beat;
    const double intro = seconds >= 8 ? bar : 0;
    const int scaleSize = static_cast<int>(melodyScale.size());

    std::vector<std::vector<Note>> motifs;
    for (int m = 0; m < 3; ++m)
        motifs.push_back(MakeMotif(rng, scaleSize, false));
    const std::vector<Note> chorus = MakeMotif(rng, scaleSize, true);

    Melody melody;
    melody.seconds = seconds;
    static const int kForm[] = {0, -1, 1, -1, 2, 0, -1, -1, 1, -1}; // -1: chorus
    for (int k = 0;; ++k) {
        double start = intro + k * phraseLen;
        if (start >= seconds || (k > 0 && start + 1.0 > seconds))
            break;
        int form = kForm[k % 10];
        melody.phrases.push_back({start, phraseLen, form < 0 ? 3 : form, form < 0});
    }

    const auto frames = static_cast<std::size_t>(std::lround(seconds * kSampleRate));
    Mixer mix(frames);
    const Envelope leadEnv{0.012, 0.15, 0.6, 0.09};
    const Envelope bassEnv{0.008, 0.25, 0.5, 0.06};
    const Envelope padEnv{0.25, 0.4, 0.7, 0.4};
    const double melodyPan = (rng.Unit() - 0.5) * 0.4;

    for (const Phrase& p : melody.phrases) {
        const auto& notes = p.chorus ? chorus : motifs[static_cast<std::size_t>(p.motif)];
        for (const Note& n : notes) {
            int pitch = root + 12 + DegreeToSemitone(melodyScale, n.degree);
            mix.Tone(p.startSeconds + n.beat * beat, n.length * beat * 0.92, pitch,
                     p.chorus ? 0.36 : 0.3, melodyPan, LeadTable(), leadEnv, 0.004);
        }
    }
    for (int b = 0; b * bar < seconds; ++b) {
        const double start = b * bar;
        const int degree = progression[b % 4];
        const int chordRoot = root - 12 + harmony[static_cast<std::size_t>(degree)];
        mix.Tone(start, beat * 1.8, chordRoot, 0.3, 0.15, BassTable(), bassEnv, 0);
        mix.Tone(start + 2 * beat, beat * 1.8, chordRoot + 7, 0.26, 0.15, BassTable(), bassEnv, 0);
        for (int voice = 0; voice < 3; ++voice) {
            int d = degree + 2 * voice;
            int pitch = root + harmony[static_cast<std::size_t>(d % 7)] + (d >= 7 ? 12 : 0);
            mix.Tone(start, bar - 0.05, pitch, 0.06, voice - 1.0, PadTable(), padEnv, 0.002);
        }
        if (start >= intro) {
            for (int k = 0; k < 4; ++k) {
                if (k % 2 == 0)
                    mix.Kick(start + k * beat, 0.45);
                mix.Hat(start + (k + 0.5) * beat, 0.12, 0.3, rng);
            }
        }
    }
    melody.pcm = mix.Finish(std::min(1.5, seconds * 0.2));
    return melody;
}

std::string MediaGenerator::EncodeMp3(const std::vector<std::int16_t>& interleavedStereo) {
    std::unique_ptr<lame_global_flags, int (*)(lame_global_flags*)> gf(lame_init(), lame_close);
    if (!gf)
        return {};
    lame_set_in_samplerate(gf.get(), kSampleRate);
    lame_set_out_samplerate(gf.get(), kSampleRate);
    lame_set_num_channels(gf.get(), 2);
    lame_set_mode(gf.get(), JOINT_STEREO);
    lame_set_brate(gf.get(), kMp3Kbps);
    lame_set_quality(gf.get(), 7); // fast; the tunes are simple
    lame_set_bWriteVbrTag(gf.get(), 1);
    if (lame_init_params(gf.get()) < 0)
        return {};

    const int frames = static_cast<int>(interleavedStereo.size() / 2);
    std::string out;
    std::vector<unsigned char> buf(static_cast<std::size_t>(frames) * 5 / 4 + 7200);
    constexpr int kChunk = 8192;
    for (int done = 0; done < frames; done += kChunk) {
        int n = std::min(kChunk, frames - done);
        int bytes = lame_encode_buffer_interleaved(
            gf.get(), const_cast<short*>(interleavedStereo.data() + 2 * done), n, buf.data(),
            static_cast<int>(buf.size()));
        if (bytes < 0)
            return {};
        out.append(reinterpret_cast<const char*>(buf.data()), static_cast<std::size_t>(bytes));
    }
    int bytes = lame_encode_flush(gf.get(), buf.data(), static_cast<int>(buf.size()));
    if (bytes < 0)
        return {};
    out.append(reinterpret_cast<const char*>(buf.data()), static_cast<std::size_t>(bytes));
    // The first frame was reserved for the Info tag (exact length for gapless players).
    std::size_t tagSize = lame_get_lametag_frame(gf.get(), buf.data(), buf.size());
    if (tagSize > 0 && tagSize <= out.size())
        out.replace(0, tagSize, reinterpret_cast<const char*>(buf.data()), tagSize);
    return out;
}

std::string MediaGenerator::MakeShortMp3(double seconds, std::uint32_t seed) {
    return EncodeMp3(RenderMelody(seconds, seed).pcm);
}

std::string MediaGenerator::MakeToneMp3(const std::vector<Tone>& tones) {
    std::vector<std::int16_t> pcm;
    for (const Tone& tone : tones) {
        const double step = 2.0 * kPi * tone.hz / kSampleRate;
        const double scale = std::clamp(tone.amplitude, 0.0, 1.0) * 32767.0;
        for (long i = 0, n = std::lround(tone.seconds * kSampleRate); i < n; ++i) {
            const auto sample = static_cast<std::int16_t>(std::lround(scale * std::sin(step * i)));
            pcm.push_back(sample);
            pcm.push_back(sample);
        }
    }
    return EncodeMp3(pcm);
}

std::string MediaGenerator::MakeNoiseMp3(double seconds, std::uint32_t seed) {
    Rng rng(seed);
    const auto frames = static_cast<std::size_t>(std::max(0.1, seconds) * kSampleRate);
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::int16_t& sample : pcm)
        sample = static_cast<std::int16_t>(rng.Range(-24000, 24000));
    return EncodeMp3(pcm);
}

std::string MediaGenerator::TimeTag(double seconds) {
    long hundredths = static_cast<long>(std::max(0.0, seconds) * 100);
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%02ld:%02ld.%02ld]", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return buf;
}

std::string MediaGenerator::MakeLrc(const LrcHeader& header, const std::vector<Phrase>& phrases,
                                    const std::vector<std::string>& verseLines,
                                    const std::string& chorusLine) {
    std::string lrc = FormatTag("ti", header.title) + FormatTag("ar", header.artist) +
                      FormatTag("al", header.album) + FormatTag("by", "LantorFM demo station") +
                      FormatTag("offset", std::to_string(header.offsetMs));
    // The opening line names the song while the intro plays.
    lrc += TimeTag(0) + header.title + " - " + header.artist + "\n";
    std::string chorusTags;
    for (const Phrase& p : phrases)
        if (p.chorus)
            chorusTags += TimeTag(p.startSeconds);
    bool chorusWritten = false;
    std::size_t verse = 0;
    for (const Phrase& p : phrases) {
        if (p.startSeconds < 0.01)
            continue; // the opening line holds 00:00
        if (p.chorus) {
            if (!chorusWritten) {
                std::string text =
                    chorusLine.empty() && !verseLines.empty() ? verseLines[0] : chorusLine;
                lrc += chorusTags + text + "\n";
                chorusWritten = true;
            }
            continue;
        }
        std::string text =
            verseLines.empty() ? std::string() : verseLines[verse++ % verseLines.size()];
        lrc += TimeTag(p.startSeconds) + text + "\n";
    }
    return lrc;
}

std::string MediaGenerator::EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height,
                                       int quality) {
    if (width <= 0 || height <= 0 ||
        rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
        return {};
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    bool ok = CompressJpeg(rgb.data(), width, height, quality, &mem, &size);
    std::string out;
    if (ok && mem)
        out.assign(reinterpret_cast<const char*>(mem), size);
    std::free(mem);
    return out;
}

std::string MediaGenerator::MakeCover(int width, int height, std::uint32_t seed, int quality) {
    if (width <= 0 || height <= 0)
        return {};
    Rng rng(seed ^ 0xC0DEu);
    const double hue = rng.Unit();
    const auto a = HsvToRgb(hue, 0.55 + 0.3 * rng.Unit(), 0.85);
    const auto b = HsvToRgb(hue + 0.25 + 0.3 * rng.Unit(), 0.7, 0.35);
    const auto mark = HsvToRgb(hue + 0.5, 0.35, 0.98);
    const int pattern = rng.Below(3);
    const double cx = 0.3 + 0.4 * rng.Unit(), cy = 0.3 + 0.4 * rng.Unit();
    const double rings = 6 + rng.Below(10);
    const double scale = std::min(width, height);

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            const double g = std::clamp(0.6 * v + 0.4 * u, 0.0, 1.0);
            std::array<double, 3> c;
            for (int k = 0; k < 3; ++k)
                c[k] = a[k] * (1 - g) + b[k] * g;
            const double dx = (x - cx * width) / scale, dy = (y - cy * height) / scale;
            const double r = std::sqrt(dx * dx + dy * dy);
            double m = 0; // share of the mark colour
            if (pattern == 0) {
                m = r < 0.45 ? 0.25 + 0.25 * std::cos(r * rings * 2 * kPi) : 0;
                if (r < 0.06)
                    m = 0.9;
            } else if (pattern == 1) {
                m = std::sin((u + v) * rings * kPi) > 0.6 ? 0.35 : 0;
            } else {
                m = r < 0.22 ? 0.8 : (v > 0.7 ? 0.2 * std::sin(u * rings * kPi) + 0.2 : 0);
            }
            for (int k = 0; k < 3; ++k) {
                double value = c[k] * (1 - m) + mark[k] * m;
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + k] =
                    static_cast<std::uint8_t>(std::clamp(value * 255.0, 0.0, 255.0));
            }
        }
    }
    return EncodeJpeg(rgb, width, height, quality);
}
