#include "tests/support/SmallDisk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

SmallDisk::SmallDisk(std::size_t bytes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lantor-disk-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        reason_ = std::string("no folder to mount on: ") + std::strerror(errno);
        return;
    }
    path_ = pattern;
    const std::string size = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) != 0) {
        reason_ = std::string("mounting a small tmpfs needs root: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

SmallDisk::~SmallDisk() {
    if (mounted_)
        ::umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty())
        ::rmdir(path_.c_str());
}

bool SmallDisk::Fill() const {
    const int fd =
        ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Big blocks first, then single bytes for what is left of the last page.
    const std::string block(4096, 'f');
    for (std::size_t size : {block.size(), std::size_t{1}}) {
        while (::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
        }
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}
