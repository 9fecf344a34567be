#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The bytes of one stream, held in a file: the file being played, the cache file a download is
// saved into, or an unnamed temporary file when the download is not saved. Reads and writes
// take explicit offsets, so a writer thread and a reader thread share it without a lock as long
// as the reader stays below what the writer has reported (the owning stream tracks that).
class StreamSource {
public:
    // An existing file, read-only. Null if it cannot be opened.
    static std::unique_ptr<StreamSource> Open(const std::string& path);
    // A new or truncated file to write into. Null if it cannot be created.
    static std::unique_ptr<StreamSource> Create(const std::string& path);
    // A file in the temporary folder that vanishes when closed.
    static std::unique_ptr<StreamSource> CreateTemporary();

    ~StreamSource();
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;

    // Current size of the file in bytes, -1 on error.
    int64_t Size() const;
    // Reads up to size bytes at offset; returns the count (0 at the end) or -1.
    int64_t ReadAt(int64_t offset, void* buffer, size_t size) const;
    // Writes all of data at offset.
    bool WriteAt(int64_t offset, const void* data, size_t size);
    // Deletes a file made by Create (the reads and writes keep working on the open file).
    void RemoveCreatedFile();
    // Renames a file made by Create to path, replacing what is there; the open file stays in
    // use. When that fails the file is deleted. False when there is no such file or it failed.
    bool MoveCreatedFile(const std::string& path);

private:
    StreamSource(int fd, std::string createdPath);

    const int fd_;
    std::string createdPath_; // where the file made by Create now is; empty once removed
};
