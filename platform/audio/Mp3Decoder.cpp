#include "platform/audio/Mp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <mutex>

#include "platform/audio/StreamSource.h"

namespace {

mpg123_handle* NewHandle() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle)
        return nullptr;
    // One output format for every stream: the output device and positions count in it.
    if (mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
        mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, Mp3Decoder::kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

// Reader over a complete source for the scan, which needs to seek.
struct ScanReader {
    const StreamSource* source;
    int64_t size;
    int64_t position = 0;

    static mpg123_ssize_t Read(void* self, void* buffer, size_t count) {
        auto* r = static_cast<ScanReader*>(self);
        size_t left = static_cast<size_t>(std::max<int64_t>(0, r->size - r->position));
        int64_t n = r->source->ReadAt(r->position, buffer, std::min(count, left));
        if (n > 0)
            r->position += n;
        return static_cast<mpg123_ssize_t>(n);
    }

    static off_t Seek(void* self, off_t offset, int whence) {
        auto* r = static_cast<ScanReader*>(self);
        int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r->position : r->size;
        int64_t target = base + offset;
        if (whence < SEEK_SET || whence > SEEK_END || target < 0)
            return -1;
        r->position = target;
        return static_cast<off_t>(target);
    }
};

} // namespace

Mp3Decoder::Mp3Decoder() : handle_(NewHandle()) {
    Reset();
}

Mp3Decoder::~Mp3Decoder() {
    if (handle_)
        mpg123_delete(handle_);
}

bool Mp3Decoder::Reset() {
    if (!handle_)
        return false;
    mpg123_close(handle_);
    return mpg123_open_feed(handle_) == MPG123_OK;
}

bool Mp3Decoder::Feed(const unsigned char* data, size_t size) {
    return handle_ && mpg123_feed(handle_, data, size) == MPG123_OK;
}

Mp3Decoder::Status Mp3Decoder::Read(int16_t* out, size_t maxFrames, size_t& frames) {
    frames = 0;
    if (!handle_)
        return Status::kFailed;
    size_t bytes = 0;
    int result = mpg123_read(handle_, out, maxFrames * 4, &bytes);
    frames = bytes / 4;
    switch (result) {
    case MPG123_OK:
    case MPG123_NEW_FORMAT:
        return Status::kOk;
    case MPG123_NEED_MORE:
        return Status::kNeedMore;
    default: // MPG123_DONE never comes in feed mode; everything else is an error
        return frames > 0 ? Status::kOk : Status::kFailed;
    }
}

int64_t Mp3Decoder::Seek(int64_t frame, int64_t& inputOffset) {
    if (!handle_)
        return -1;
    off_t offset = 0;
    off_t reached = mpg123_feedseek(handle_, static_cast<off_t>(frame), SEEK_SET, &offset);
    if (reached < 0)
        return -1;
    inputOffset = offset;
    return reached;
}

void Mp3Decoder::SetInputSize(int64_t bytes) {
    if (handle_ && bytes > 0)
        mpg123_set_filesize(handle_, static_cast<off_t>(bytes));
}

int64_t Mp3Decoder::LengthFrames() {
    if (!handle_)
        return -1;
    off_t length = mpg123_length(handle_);
    return length > 0 ? static_cast<int64_t>(length) : -1;
}

int64_t Mp3Decoder::ScanFrames(const StreamSource& source, int64_t size) {
    mpg123_handle* handle = NewHandle();
    if (!handle)
        return -1;
    ScanReader reader{&source, size};
    int64_t frames = -1;
    if (mpg123_replace_reader_handle(handle, &ScanReader::Read, &ScanReader::Seek, nullptr) ==
            MPG123_OK &&
        mpg123_open_handle(handle, &reader) == MPG123_OK) {
        if (mpg123_scan(handle) == MPG123_OK) {
            off_t length = mpg123_length(handle);
            frames = length > 0 ? static_cast<int64_t>(length) : -1;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return frames;
}
