#pragma once
#include <string>
#include <vector>

// A song of a playlist reply as the service sends it. Texts left empty are made from the sid:
// title "t<sid>", artist "a<sid>", albumtitle "al<sid>", url "http://127.0.0.1:1/<sid>.mp3".
struct TestSong {
    std::string sid;
    double rating = 4.5;
    int like = 0;
    std::string title = {}, artist = {}, album = {}, url = {}, picture = {}; // UTF-8
};

// One element of a reply's "song" array.
std::string SongJson(const TestSong& song);
// The reply {"r":0,"song":[...]} holding the elements as written (SongJson's or broken ones).
std::string PlaylistJson(const std::vector<std::string>& elements);
