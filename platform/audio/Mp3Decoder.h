#pragma once
#include <cstddef>
#include <cstdint>

struct mpg123_handle_struct;
class StreamSource;

// One libmpg123 decoder in feed mode, its output forced to 44,100 Hz 16-bit stereo whatever the
// MP3 holds. Not synchronised: one thread uses it at a time.
class Mp3Decoder {
public:
    static constexpr long kRate = 44100;

    enum class Status {
        kOk,       // decoded something, or more may come without new input
        kNeedMore, // feed the next input bytes
        kFailed,   // the data cannot be decoded (further)
    };

    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    bool Ok() const { return handle_ != nullptr; }
    // Starts over at input byte 0, as a new decoder.
    bool Reset();
    bool Feed(const unsigned char* data, size_t size);
    // Decodes up to maxFrames stereo frames into out; frames is set to how many.
    Status Read(int16_t* out, size_t maxFrames, size_t& frames);
    // Prepares to decode from the given output frame on. Input must continue at inputOffset.
    // Returns the frame the decoder will actually deliver first, -1 on failure.
    int64_t Seek(int64_t frame, int64_t& inputOffset);
    // The total input size, when known, lets LengthFrames estimate from the bitrate.
    void SetInputSize(int64_t bytes);
    // Output frames of the whole stream as far as known so far, -1 if unknown.
    int64_t LengthFrames();

    // Exact output frames of a complete MP3 of the given size (its frame headers scanned).
    // -1 when it holds no MP3 audio.
    static int64_t ScanFrames(const StreamSource& source, int64_t size);

private:
    mpg123_handle_struct* handle_ = nullptr;
};
