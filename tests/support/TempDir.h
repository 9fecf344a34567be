#pragma once
#include <filesystem>
#include <string>

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
// With enter set, the process works in it until the end (config.ini and Temp/ are relative to
// the current directory), then returns to where it was. base: where to make it instead.
class TempDir {
public:
    explicit TempDir(bool enter = false, const std::filesystem::path& base = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Creates Temp/Music, Temp/Album and Temp/Lyrics inside.
    void MakeCacheFolders() const;
    void WriteFile(const std::string& relative, const std::string& bytes) const;
    std::string ReadFile(const std::string& relative) const;

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
    bool entered_ = false;
};
