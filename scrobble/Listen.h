#pragma once
#include <cstdint>
#include <string>

// A song as the player knows it: the program's texts (ANSI code page) and its length.
struct ListenSong {
    std::string artist;
    std::string title;
    std::string album;
    std::int64_t lengthMs = 0; // 0: not known yet
};

// One listen (or playing_now notice) as it goes to the server, texts in UTF-8. Two listens with
// the same listenedAt, artist and track are the same listen: the server keeps one.
struct Listen {
    std::int64_t listenedAt = 0; // UTC seconds at the song's start; 0 in a playing_now notice
    std::string artist;
    std::string track;
    std::string release;
    std::int64_t durationMs = 0; // 0: not known

    bool operator==(const Listen&) const = default;
};
