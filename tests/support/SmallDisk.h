#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

// A small tmpfs of its own, mounted at a fresh folder for as long as the object lives: a real
// disk that fills up. Mounting needs root (as CI runs the tests); without it nothing is mounted
// and Reason says why, for the test to skip with.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes = 256u << 10);
    ~SmallDisk(); // unmounts, also while something on it is still open
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const std::filesystem::path& Path() const { return path_; }
    // Takes every free byte with a file of its own; true when a write then failed with ENOSPC.
    bool Fill() const;

private:
    std::filesystem::path path_;
    bool mounted_ = false;
    std::string reason_;
};
