#pragma once
#include <optional>
#include <string>
#include <string_view>

// The working folder, given once at start-up: the cache below Temp/, the pictures in res/ and
// the scrobble queue are all found through it. "" is the process's current folder at each use
// (where the program was started, unless something changes it).
class WorkFolder {
public:
    static constexpr std::string_view kScrobbleQueueName = "listens.jsonl";

    WorkFolder() = default;
    explicit WorkFolder(std::string folder);

    // relative below the folder.
    std::string Path(std::string_view relative) const;
    // The cache file of kind and sid (see CachePath); the length limit counts the relative part.
    std::optional<std::string> Cache(int kind, std::string_view sid) const;
    // A picture of the program, "res/" + name.
    std::string Resource(std::string_view name) const;
    std::string ScrobbleQueue() const;

    const std::string& Folder() const { return folder; }

private:
    std::string folder; // "" or ending in "/"
};
