#include "tests/support/MediaChecks.h"
#include "tools/MediaGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <set>

namespace {

std::vector<std::string> TimeTagsOf(const std::string& line) {
    static const std::regex tag(R"(\[\d\d:\d\d\.\d\d\])");
    std::vector<std::string> tags;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), tag);
         it != std::sregex_iterator(); ++it)
        tags.push_back(it->str());
    return tags;
}

TEST(MediaGenerator, SameSeedGivesSameBytesAndOtherSeedsDiffer) {
    EXPECT_EQ(MediaGenerator::MakeShortMp3(1.0, 7), MediaGenerator::MakeShortMp3(1.0, 7));
    EXPECT_NE(MediaGenerator::MakeShortMp3(1.0, 7), MediaGenerator::MakeShortMp3(1.0, 8));
    EXPECT_EQ(MediaGenerator::MakeCover(90, 60, 3), MediaGenerator::MakeCover(90, 60, 3));
    EXPECT_NE(MediaGenerator::MakeCover(90, 60, 3), MediaGenerator::MakeCover(90, 60, 4));
}

TEST(MediaGenerator, ShortMp3IsMpeg1Layer3At44kAndDecodesToItsLength) {
    for (double seconds : {1.0, 2.0, 3.0}) {
        SCOPED_TRACE(seconds);
        const std::string mp3 = MediaGenerator::MakeShortMp3(seconds, 11);
        const Mp3Scan scan = ScanMp3Frames(mp3);
        EXPECT_EQ(scan.mpegVersion, 1);
        EXPECT_EQ(scan.layer, 3);
        EXPECT_EQ(scan.sampleRate, 44100);
        EXPECT_TRUE(scan.uniform);
        EXPECT_TRUE(scan.reachedEnd);
        // 1152 samples a frame, plus the tag frame and the encoder's padding.
        EXPECT_NEAR(scan.frames, seconds * 44100 / 1152, 4);

        const DecodedAudio audio = DecodeMp3(mp3);
        ASSERT_TRUE(audio.ok);
        EXPECT_EQ(audio.rate, 44100);
        EXPECT_EQ(audio.channels, 2);
        // The Info tag makes the decoded length the rendered one.
        EXPECT_NEAR(static_cast<double>(audio.pcm.size()) / 2, seconds * 44100, 1152);
    }
}

// A plain tone would have one loudness and one pitch throughout.
TEST(MediaGenerator, MelodyChangesPitchAndLoudness) {
    const MediaGenerator::Melody melody = MediaGenerator::RenderMelody(8, 5);
    ASSERT_EQ(melody.pcm.size(), 8u * 44100 * 2);
    const std::size_t window = 4410; // 100 ms
    std::set<int> crossingBuckets;
    double quietest = 1e9, loudest = 0;
    for (std::size_t start = 0; start + window <= melody.pcm.size() / 2 - 44100; start += window) {
        int crossings = 0;
        double energy = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            const int a = melody.pcm[2 * i], b = melody.pcm[2 * i + 2];
            crossings += (a < 0) != (b < 0);
            energy += static_cast<double>(a) * a;
        }
        crossingBuckets.insert(crossings / 10);
        const double rms = std::sqrt(energy / window);
        quietest = std::min(quietest, rms);
        loudest = std::max(loudest, rms);
    }
    EXPECT_GE(crossingBuckets.size(), 4u);
    EXPECT_GT(loudest, 2 * quietest);
    EXPECT_GT(loudest, 3000);
}

TEST(MediaGenerator, PhrasesFillTheSongAndChorusesRepeat) {
    for (double seconds : {20.0, 30.0, 40.0}) {
        SCOPED_TRACE(seconds);
        const auto melody = MediaGenerator::RenderMelody(seconds, 42);
        ASSERT_GE(melody.phrases.size(), 3u);
        double previous = -1;
        int choruses = 0;
        for (const auto& p : melody.phrases) {
            EXPECT_GT(p.startSeconds, previous);
            EXPECT_LT(p.startSeconds, seconds);
            previous = p.startSeconds;
            choruses += p.chorus;
        }
        EXPECT_GE(choruses, 2);
    }
}

TEST(MediaGenerator, LrcPutsALineOnEveryPhraseAndGroupsTheChorus) {
    const auto melody = MediaGenerator::RenderMelody(30, 9);
    const std::string lrc = MediaGenerator::MakeLrc({"月光", "林夏", "夜航", 0}, melody.phrases,
                                                    {"第一句", "Second line"}, "合唱 chorus");
    for (const char* tag : {"[ti:月光]\n", "[ar:林夏]\n", "[al:夜航]\n", "[offset:0]\n", "[by:"})
        EXPECT_NE(lrc.find(tag), std::string::npos) << tag;

    std::set<std::string> tags;
    std::size_t chorusTags = 0;
    std::size_t pos = 0;
    while (pos < lrc.size()) {
        std::size_t end = lrc.find('\n', pos);
        const std::string line = lrc.substr(pos, end - pos);
        const auto lineTags = TimeTagsOf(line);
        tags.insert(lineTags.begin(), lineTags.end());
        if (line.find("合唱 chorus") != std::string::npos)
            chorusTags = lineTags.size();
        pos = end + 1;
    }
    std::size_t expectedChorus = 0;
    for (const auto& p : melody.phrases) {
        EXPECT_TRUE(tags.count(MediaGenerator::TimeTag(p.startSeconds))) << p.startSeconds;
        expectedChorus += p.chorus;
    }
    EXPECT_GE(chorusTags, 2u);
    EXPECT_EQ(chorusTags, expectedChorus);
    EXPECT_NE(lrc.find("]第一句\n"), std::string::npos);
    EXPECT_NE(lrc.find("]Second line\n"), std::string::npos);
}

TEST(MediaGenerator, TimeTagTruncatesToHundredths) {
    struct Case {
        double seconds;
        const char* tag;
    } cases[] = {{0, "[00:00.00]"},
                 {2.339, "[00:02.33]"},
                 {62.999, "[01:02.99]"},
                 {600, "[10:00.00]"},
                 {-1, "[00:00.00]"}};
    for (const auto& c : cases)
        EXPECT_EQ(MediaGenerator::TimeTag(c.seconds), c.tag) << c.seconds;
}

TEST(MediaGenerator, CoversHaveTheAskedSize) {
    struct Case {
        int w, h;
    } cases[] = {{64, 64}, {90, 120}, {500, 300}, {1, 1}, {300, 300}};
    for (const auto& c : cases) {
        const std::string jpg = MediaGenerator::MakeCover(c.w, c.h, 1);
        int w = 0, h = 0;
        ASSERT_TRUE(JpegSize(jpg, w, h)) << c.w << "x" << c.h;
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        EXPECT_EQ(static_cast<unsigned char>(jpg[jpg.size() - 2]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(jpg.back()), 0xD9);
    }
    EXPECT_TRUE(MediaGenerator::MakeCover(0, 10, 1).empty());
    EXPECT_TRUE(MediaGenerator::MakeCover(10, -1, 1).empty());
}

} // namespace
