#pragma once
#include <optional>
#include <string>
#include <string_view>

// The cache folders below the current directory, one file per song and kind, named by the
// song's sid. Every cache path in the program is built here, because the sid comes from the
// network and must never name anything outside Temp/.

enum CacheKind {
    kCacheMusic = 1,  // "Temp/Music/%s.mp3"
    kCacheAlbum = 2,  // "Temp/Album/%s.jpg"
    kCacheLyrics = 3, // "Temp/Lyrics/%s.lrc"
};

// Paths longer than this are refused (the old 260-character buffer, zero included).
constexpr size_t kMaxCachePathLength = 259;

// Whether sid can be used as a file name: not empty, not "." or "..", and free of "/", "\",
// NUL and control bytes (below 0x20, and 0x7F). GBK bytes (0x80 and above) are fine.
bool IsSafeCacheName(std::string_view sid);

// The relative path for the kind, or none when the kind is not 1 to 3, the sid is not a safe
// name or the path would be longer than kMaxCachePathLength.
std::optional<std::string> CachePath(int kind, std::string_view sid);

// Creates Temp/Music, Temp/Album and Temp/Lyrics when missing; false when one cannot be made.
bool CreateCacheFolders();

// Deletes the cached files: "Temp/Music/*.mp3", then "Temp/Album/*.jpg", then
// "Temp/Lyrics/*.lrc". Entries that cannot be deleted (or are folders) are passed over.
void DeleteCachedFiles();
