#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

// Checks of media bytes for tests: MPEG audio frame headers, a full MP3 decode, JPEG sizes.

struct Mp3Scan {
    int frames = 0;          // consecutive valid frames from the first byte on
    int sampleRate = 0;      // of the first frame; 0 when there is none
    int layer = 0;           // 3 for Layer III
    int mpegVersion = 0;     // 1 for MPEG-1
    bool uniform = true;     // every frame has the first frame's version, layer and rate
    bool reachedEnd = false; // the frames cover the whole input
};

// Walks frame headers from offset 0 (no ID3 tag expected) as long as they are valid.
Mp3Scan ScanMp3Frames(std::string_view bytes);

struct DecodedAudio {
    bool ok = false;
    long rate = 0;
    int channels = 0;
    std::vector<std::int16_t> pcm; // interleaved
};

// Decodes a whole MP3 with libmpg123 (gapless, so the length is the encoded one).
DecodedAudio DecodeMp3(std::string_view bytes);

// Width and height from the first SOF marker; false when the bytes are not a JPEG with one.
bool JpegSize(std::string_view bytes, int& width, int& height);
