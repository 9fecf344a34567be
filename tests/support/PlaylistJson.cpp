#include "tests/support/PlaylistJson.h"

#include <json/json.h>

std::string SongJson(const TestSong& song) {
    auto orMade = [&](const std::string& text, const std::string& made) {
        return text.empty() ? made : text;
    };
    Json::Value v(Json::objectValue);
    v["title"] = orMade(song.title, "t" + song.sid);
    v["artist"] = orMade(song.artist, "a" + song.sid);
    v["albumtitle"] = orMade(song.album, "al" + song.sid);
    v["rating_avg"] = song.rating;
    v["sid"] = song.sid;
    v["aid"] = "9";
    v["url"] = orMade(song.url, "http://127.0.0.1:1/" + song.sid + ".mp3");
    v["picture"] = song.picture;
    v["like"] = song.like;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, v);
}

std::string PlaylistJson(const std::vector<std::string>& elements) {
    std::string reply = R"({"r":0,"song":[)";
    for (const std::string& element : elements)
        reply += (&element == elements.data() ? "" : ",") + element;
    return reply + "]}";
}
