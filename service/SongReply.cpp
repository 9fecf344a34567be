#include "service/SongReply.h"

#include "platform/TextEncoding.h"
#include "service/JsonNode.h"
#include "service/ReplyScan.h"

#include <algorithm>
#include <json/value.h>
#include <string>
#include <vector>

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
    ReplyScan scan(text);
    if (!scan.Run())
        return false;
    // Only the songs needed are built: those still wanted, read as one array, again while the
    // filter drops some and more are left.
    const std::vector<std::string_view>& elements = scan.Songs();
    std::vector<SongRecord> kept;
    for (std::size_t next = 0; kept.size() < maxSongs && next < elements.size();) {
        const std::size_t n = std::min(elements.size() - next, maxSongs - kept.size());
        std::string batch = "[";
        for (std::size_t i = next; i < next + n; ++i) {
            batch += elements[i];
            batch += i + 1 < next + n ? "," : "]";
        }
        JsonNode doc;
        if (!doc.Parse(batch))
            return false; // the reader would have refused the whole reply
        for (std::size_t i = 0; i < n && kept.size() < maxSongs; ++i) {
            SongRecord song;
            if (ReadSongElement(doc.Element(static_cast<int>(i)), song))
                kept.push_back(std::move(song));
        }
        next += n;
    }
    for (SongRecord& song : kept)
        each(std::move(song));
    return true;
}
