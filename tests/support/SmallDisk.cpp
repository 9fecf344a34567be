#include "tests/support/SmallDisk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

SmallDisk::SmallDisk() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lantor-disk-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        reason_ = std::string("no folder to mount on: ") + std::strerror(errno);
        return;
    }
    path_ = pattern;
    if (::mount("tmpfs", pattern.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0700"))
        reason_ = std::string("mounting a small tmpfs needs root: ") + std::strerror(errno);
}

SmallDisk::~SmallDisk() {
    if (Mounted())
        ::umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty())
        ::rmdir(path_.c_str());
}

bool SmallDisk::Fill() const {
    const int fd = ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    // Big blocks, then single bytes for the rest of the last page.
    const std::string block(4096, 'f');
    for (std::size_t size : {block.size(), std::size_t{1}})
        while (fd >= 0 && ::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
        }
    const bool full = fd >= 0 && errno == ENOSPC;
    if (fd >= 0)
        ::close(fd);
    return full;
}
