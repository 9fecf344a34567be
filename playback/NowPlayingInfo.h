#pragma once
#include <cstdint>
#include <string>

// What the player tells about the song it has prepared, always as a copy. The texts are copies
// of the song's record (GBK), not references into the song list, which a channel switch clears.
struct NowPlayingInfo {
    static constexpr std::size_t kMaxDisplayName = 119;

    std::uint64_t generation = 0; // of the song list the song was taken from
    std::uint64_t playId = 0;     // new for each song the player prepares; kept by its retries
    int index = 0;
    std::string displayName; // "artist - title", cut to kMaxDisplayName bytes
    std::string title;
    std::string artist;
    std::string picture;
    std::string url;
    std::string sid;
    std::string aid;
    std::string musicPath; // "Temp/Music/<sid>.mp3"; empty when the sid is no file name
    float position = 0.0f; // seconds played
    float duration = 0.0f; // seconds; 0 until the stream has started
};
