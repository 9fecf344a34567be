#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

TempDir::TempDir(bool enter, const std::filesystem::path& base) {
    std::string pattern =
        ((base.empty() ? std::filesystem::temp_directory_path() : base) / "lantor-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (enter) {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
        entered_ = true;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    if (entered_)
        std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

void TempDir::MakeCacheFolders() const {
    for (const char* d : {"Temp/Music", "Temp/Album", "Temp/Lyrics"})
        std::filesystem::create_directories(path_ / d);
}

void TempDir::WriteFile(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = path_ / relative;
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::ReadFile(const std::string& relative) const {
    std::ifstream f(path_ / relative, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}
