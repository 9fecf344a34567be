#include "service/SongReply.h"

#include "platform/TextEncoding.h"
#include "service/JsonNode.h"

#include <algorithm>
#include <json/value.h>

namespace {

std::string ReadText(const JsonNode& element, const char* name) {
    return Utf8ToAnsi(element.GetString(name).value_or(""));
}

} // namespace

bool ReadSongElement(const JsonNode& element, SongRecord& out) {
    if (!element.IsValid())
        return false;
    SongRecord song;
    try {
        song.rating_avg = element.GetDouble("rating_avg");
        if (!(song.rating_avg > 1.0)) // also drops a value that compares unordered
            return false;
        song.title = ReadText(element, "title");
        song.artist = ReadText(element, "artist");
        song.picture = ReadText(element, "picture");
        song.url = ReadText(element, "url");
        song.company = ReadText(element, "company");
        song.albumtitle = ReadText(element, "albumtitle");
        song.public_time = ReadText(element, "public_time");
        song.sid = ReadText(element, "sid");
        // The sid names cache files and goes into the history setting: a control character
        // there is a broken or hostile record.
        if (std::any_of(song.sid.begin(), song.sid.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            return false;
        song.aid = ReadText(element, "aid");
        song.like.assign(1, element.GetInt("like") != 0 ? '1' : '0');
    } catch (const Json::Exception&) {
        return false;
    }
    out = std::move(song);
    return true;
}

bool ParseSongReply(std::string_view text, const std::function<void(SongRecord&&)>& each,
                    std::size_t maxSongs) {
    JsonNode doc;
    if (!doc.Parse(text))
        return false;
    JsonNode songs = doc.Member("song");
    std::size_t kept = 0;
    for (int i = 0; kept < maxSongs; ++i) {
        JsonNode element = songs.Element(i);
        if (!element.IsValid())
            break;
        SongRecord song;
        if (ReadSongElement(element, song)) {
            ++kept;
            each(std::move(song));
        }
    }
    return true;
}
