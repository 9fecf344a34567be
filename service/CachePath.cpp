#include "service/CachePath.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct CacheFolder {
    const char* folder;
    const char* extension;
};

// Indexed by kind - 1.
constexpr CacheFolder kFolders[] = {
    {"Temp/Music", ".mp3"},
    {"Temp/Album", ".jpg"},
    {"Temp/Lyrics", ".lrc"},
};

void DeleteMatching(const CacheFolder& f) {
    std::error_code ec;
    fs::directory_iterator it(f.folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::string name = p.filename().string();
        std::string_view ext = f.extension;
        if (name.size() < ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext))
            continue;
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            continue; // fs::remove would take an empty folder with it
        std::error_code removeEc;
        fs::remove(p, removeEc);
    }
}

} // namespace

bool IsSafeCacheName(std::string_view sid) {
    if (sid.empty() || sid == "." || sid == "..")
        return false;
    for (unsigned char c : sid) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\')
            return false;
    }
    return true;
}

std::optional<std::string> CachePath(int kind, std::string_view sid) {
    if (kind < kCacheMusic || kind > kCacheLyrics || !IsSafeCacheName(sid))
        return std::nullopt;
    const CacheFolder& f = kFolders[kind - 1];
    std::string path;
    path.reserve(std::char_traits<char>::length(f.folder) + 1 + sid.size() + 4);
    path.append(f.folder).append("/").append(sid).append(f.extension);
    if (path.size() > kMaxCachePathLength)
        return std::nullopt;
    return path;
}

bool CreateCacheFolders() {
    bool ok = true;
    for (const CacheFolder& f : kFolders) {
        std::error_code ec;
        fs::create_directories(f.folder, ec);
        if (ec || !fs::is_directory(f.folder, ec))
            ok = false;
    }
    return ok;
}

void DeleteCachedFiles() {
    for (const CacheFolder& f : kFolders)
        DeleteMatching(f);
}
