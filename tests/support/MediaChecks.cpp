#include "tests/support/MediaChecks.h"

#include <memory>

#include <mpg123.h>

namespace {

struct FrameHeader {
    int version = 0, layer = 0, rate = 0;
    std::size_t length = 0;
};

bool ParseFrameHeader(const unsigned char* h, FrameHeader& out) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (h[1] >> 3) & 3, layerBits = (h[1] >> 1) & 3;
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return false;
    static const int kRates[3] = {44100, 48000, 32000};
    // Layer III bitrates in kbit/s: MPEG-1, then MPEG-2/2.5.
    static const int kL3[2][15] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    out.version = versionBits == 3 ? 1 : 2;
    out.layer = 4 - layerBits;
    out.rate = kRates[rateIndex] >> (versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2);
    if (out.layer != 3)
        return false; // only Layer III is of interest here
    const int kbps = kL3[out.version == 1 ? 0 : 1][bitrateIndex];
    const int perFrame = out.version == 1 ? 144 : 72;
    out.length = static_cast<std::size_t>(perFrame * kbps * 1000 / out.rate + padding);
    return true;
}

} // namespace

Mp3Scan ScanMp3Frames(std::string_view bytes) {
    Mp3Scan scan;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t offset = 0;
    while (offset + 4 <= bytes.size()) {
        FrameHeader h;
        if (!ParseFrameHeader(p + offset, h) || offset + h.length > bytes.size())
            break;
        if (scan.frames == 0) {
            scan.sampleRate = h.rate;
            scan.layer = h.layer;
            scan.mpegVersion = h.version;
        } else if (h.rate != scan.sampleRate || h.layer != scan.layer ||
                   h.version != scan.mpegVersion) {
            scan.uniform = false;
        }
        ++scan.frames;
        offset += h.length;
    }
    scan.reachedEnd = scan.frames > 0 && offset == bytes.size();
    return scan;
}

DecodedAudio DecodeMp3(std::string_view bytes) {
    DecodedAudio out;
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> mh(mpg123_new(nullptr, nullptr),
                                                                mpg123_delete);
    if (!mh || mpg123_open_feed(mh.get()) != MPG123_OK)
        return out;
    mpg123_param(mh.get(), MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    if (mpg123_feed(mh.get(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) !=
        MPG123_OK)
        return out;
    std::vector<unsigned char> buf(65536);
    for (;;) {
        std::size_t done = 0;
        int rc = mpg123_read(mh.get(), buf.data(), buf.size(), &done);
        if (rc == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(mh.get(), &out.rate, &out.channels, &encoding);
            if (encoding != MPG123_ENC_SIGNED_16)
                return out;
        }
        const auto* samples = reinterpret_cast<const std::int16_t*>(buf.data());
        out.pcm.insert(out.pcm.end(), samples, samples + done / 2);
        if (rc == MPG123_NEED_MORE || rc == MPG123_DONE)
            break;
        if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT)
            return out;
    }
    out.ok = out.rate > 0 && !out.pcm.empty();
    return out;
}

bool JpegSize(std::string_view bytes, int& width, int& height) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    std::size_t i = 2;
    while (i + 4 <= bytes.size()) {
        if (p[i] != 0xFF)
            return false;
        const unsigned char marker = p[i + 1];
        const std::size_t length = static_cast<std::size_t>(p[i + 2] << 8 | p[i + 3]);
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (i + 9 > bytes.size())
                return false;
            height = p[i + 5] << 8 | p[i + 6];
            width = p[i + 7] << 8 | p[i + 8];
            return true;
        }
        i += 2 + length;
    }
    return false;
}
