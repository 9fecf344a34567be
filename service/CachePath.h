#pragma once
#include "service/WorkFolder.h"

#include <optional>
#include <string>
#include <string_view>

// The cache folders below the working folder, one file per song and kind, named by the
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
bool CreateCacheFolders(const WorkFolder& work = WorkFolder());

// A download never writes the final file itself: it writes a temporary file beside it and moves
// that into place only once it holds everything the server sent, so a file at a CachePath is
// always complete. The temporary name is finalPath + "." + token + ".part" (for example
// "Temp/Music/1234.mp3.4711-3.part"), the token being digits and "-", new for every call: two
// writers of one song never share a file, and no reader takes a file being written for a
// cached one.
std::string CacheTempPath(std::string_view finalPath);

// Whether fileName (without its folder) has that temporary form for a final name ending in
// extension (".mp3", ".jpg", ".lrc").
bool IsCacheTempName(std::string_view fileName, std::string_view extension);

// Moves a complete temporary file into place, replacing an older copy in one step (a reader
// that has the old copy open keeps reading it). On failure the temporary file is deleted.
bool CommitCacheFile(const std::string& tempPath, const std::string& finalPath);

// Writes bytes as the cache file of kind and sid through a temporary file: afterwards either the
// complete file is in place (true) or the old state stands and no temporary file is left.
bool WriteCacheFile(int kind, std::string_view sid, std::string_view bytes,
                    const WorkFolder& work = WorkFolder());

// Deletes the cached files: "Temp/Music/*.mp3", then "Temp/Album/*.jpg", then
// "Temp/Lyrics/*.lrc", then the temporary files that downloads left in those folders. Entries
// that cannot be deleted (or are folders) are passed over.
void DeleteCachedFiles(const WorkFolder& work = WorkFolder());
