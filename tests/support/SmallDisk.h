#pragma once
#include <filesystem>
#include <string>

// A tmpfs of 256 KiB mounted at a fresh folder while the object lives: a real disk that fills
// up. Mounting needs root (as CI runs the tests); without it Reason says why, to skip with.
class SmallDisk {
public:
    SmallDisk();
    ~SmallDisk(); // unmounts, also while files on it are open
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return reason_.empty(); }
    const std::string& Reason() const { return reason_; }
    const std::filesystem::path& Path() const { return path_; }
    // Takes every free byte; true when a write then failed for want of space.
    bool Fill() const;

private:
    std::filesystem::path path_;
    std::string reason_;
};
