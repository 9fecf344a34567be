#include "platform/audio/StreamSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

StreamSource::StreamSource(int fd, std::string createdPath)
    : fd_(fd), createdPath_(std::move(createdPath)) {}

StreamSource::~StreamSource() {
    ::close(fd_);
}

std::unique_ptr<StreamSource> StreamSource::Open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<StreamSource>(new StreamSource(fd, {}));
}

std::unique_ptr<StreamSource> StreamSource::Create(const std::string& path) {
    if (path.empty())
        return nullptr;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<StreamSource>(new StreamSource(fd, path));
}

std::unique_ptr<StreamSource> StreamSource::CreateTemporary() {
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error)
        folder = "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Not every file system offers unnamed files: make a named one and unlink it at once.
        std::string name = folder + "/lantor-stream-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        ::unlink(name.c_str());
    }
    return std::unique_ptr<StreamSource>(new StreamSource(fd, {}));
}

int64_t StreamSource::Size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t StreamSource::ReadAt(int64_t offset, void* buffer, size_t size) const {
    for (;;) {
        ssize_t n = ::pread(fd_, buffer, size, offset);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool StreamSource::WriteAt(int64_t offset, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, bytes, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void StreamSource::RemoveCreatedFile() {
    if (!createdPath_.empty())
        ::unlink(createdPath_.c_str());
    createdPath_.clear();
}

bool StreamSource::MoveCreatedFile(const std::string& path) {
    if (createdPath_.empty())
        return false;
    if (::rename(createdPath_.c_str(), path.c_str()) != 0) {
        RemoveCreatedFile();
        return false;
    }
    createdPath_ = path;
    return true;
}
