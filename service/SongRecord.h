#pragma once
#include <string>

// One song of a playlist reply. Texts are ANSI (GBK), converted from the service's UTF-8 when
// the record is built; a member missing from the reply gives an empty text.
struct SongRecord {
    std::string title;
    std::string artist;
    std::string albumtitle;
    std::string public_time;
    std::string company;
    double rating_avg = 0.0;
    std::string picture; // cover URL
    std::string url;     // MP3 URL
    std::string aid;
    std::string sid;        // names the cache files and the history entries
    std::string like = "0"; // "1" or "0"
    int index = 0;          // position in the SongList, fixed at append
    int status = 0;         // 0 not cached, 1 downloading, 2 cached, 3 played
};
