#include "service/CachePath.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

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

constexpr std::string_view kTempSuffix = ".part";

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

template <typename Matches>
void DeleteMatching(const WorkFolder& work, const CacheFolder& f, Matches matches) {
    std::error_code ec;
    fs::directory_iterator it(work.Path(f.folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (!matches(p.filename().string()))
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

std::string CacheTempPath(std::string_view finalPath) {
    static std::atomic<unsigned long> next{0};
    std::string path(finalPath);
    path.append(".")
        .append(std::to_string(::getpid()))
        .append("-")
        .append(std::to_string(next.fetch_add(1, std::memory_order_relaxed)))
        .append(kTempSuffix);
    return path;
}

bool IsCacheTempName(std::string_view fileName, std::string_view extension) {
    if (!EndsWith(fileName, kTempSuffix))
        return false;
    std::string_view rest = fileName.substr(0, fileName.size() - kTempSuffix.size());
    const size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view token = rest.substr(dot + 1);
    if (token.empty() || token.find_first_not_of("0123456789-") != std::string_view::npos)
        return false;
    return EndsWith(rest.substr(0, dot), extension);
}

bool CommitCacheFile(const std::string& tempPath, const std::string& finalPath) {
    if (std::rename(tempPath.c_str(), finalPath.c_str()) == 0)
        return true;
    std::remove(tempPath.c_str());
    return false;
}

bool WriteCacheFile(int kind, std::string_view sid, std::string_view bytes,
                    const WorkFolder& work) {
    std::optional<std::string> path = work.Cache(kind, sid);
    if (!path)
        return false;
    const std::string temp = CacheTempPath(*path);
    std::FILE* out = std::fopen(temp.c_str(), "wbe");
    if (!out)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    written = std::fclose(out) == 0 && written;
    if (!written) {
        std::remove(temp.c_str());
        return false;
    }
    return CommitCacheFile(temp, *path);
}

bool CreateCacheFolders(const WorkFolder& work) {
    bool ok = true;
    for (const CacheFolder& f : kFolders) {
        const std::string folder = work.Path(f.folder);
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder, ec))
            ok = false;
    }
    return ok;
}

void DeleteCachedFiles(const WorkFolder& work) {
    for (const CacheFolder& f : kFolders)
        DeleteMatching(work, f,
                       [&f](std::string_view name) { return EndsWith(name, f.extension); });
    for (const CacheFolder& f : kFolders)
        DeleteMatching(work, f,
                       [&f](std::string_view name) { return IsCacheTempName(name, f.extension); });
}
