#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Makes the demo station's media from nothing but a seed: short melodies encoded as MP3
// (44.1 kHz, joint stereo, libmp3lame), LRC texts timed to the melodies' phrases, and JPEG
// covers (libjpeg). The same seed always gives the same bytes.
class MediaGenerator {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kMp3Kbps = 128;

    // One sung phrase of a melody. Phrases with the same motif repeat the same notes (the
    // chorus), so their lyric line is written once with several time tags.
    struct Phrase {
        double startSeconds = 0;
        double lengthSeconds = 0;
        int motif = 0;
        bool chorus = false;
    };

    struct Melody {
        std::vector<std::int16_t> pcm; // interleaved stereo
        std::vector<Phrase> phrases;   // in time order
        double seconds = 0;
    };

    struct LrcHeader {
        std::string title, artist, album; // UTF-8
        int offsetMs = 0;
    };

    // A melody of the given length (at least 0.1 s): lead voice with harmonics and envelopes,
    // bass, a soft chord pad and light percussion, fading out at the end.
    static Melody RenderMelody(double seconds, std::uint32_t seed);

    // Encodes interleaved stereo 16-bit samples at 44.1 kHz. Empty on encoder failure.
    static std::string EncodeMp3(const std::vector<std::int16_t>& interleavedStereo);

    // A whole short song (meant for 1 to 3 s) as MP3 bytes, for tests that need a real file.
    static std::string MakeShortMp3(double seconds, std::uint32_t seed = 1);

    // A sine of hz (0: silence) at amplitude (of full scale) for seconds, to the sample.
    struct Tone {
        double hz = 440;
        double seconds = 1;
        double amplitude = 0.5;
    };
    // Tones one after another as MP3 bytes: fixtures whose length and pitch a test knows.
    static std::string MakeToneMp3(const std::vector<Tone>& tones);

    // Full-scale white noise of the given length (at least 0.1 s) as MP3 bytes: every spectrum
    // band busy at once.
    static std::string MakeNoiseMp3(double seconds, std::uint32_t seed = 1);

    // LRC text (UTF-8, LF line ends): ti/ar/al/by/offset tags, then one line per verse phrase
    // and one line carrying every chorus phrase's time tag. Verse lines are taken from
    // verseLines in turn; a missing chorusLine uses the first verse line.
    static std::string MakeLrc(const LrcHeader& header, const std::vector<Phrase>& phrases,
                               const std::vector<std::string>& verseLines,
                               const std::string& chorusLine);

    // "[mm:ss.xx]" for a time in seconds (hundredths truncated).
    static std::string TimeTag(double seconds);

    // A cover picture of the given size as baseline JPEG; empty when the size is not positive.
    static std::string MakeCover(int width, int height, std::uint32_t seed, int quality = 85);

    // Encodes packed RGB rows. Empty on failure.
    static std::string EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height,
                                  int quality);
};
