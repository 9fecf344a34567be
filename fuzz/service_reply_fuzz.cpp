// Every service reply reader on any bytes: no crash, no exception, and what the readers keep is
// consistent with the filter. The playlist reader, which builds only the songs it keeps, keeps
// what the whole document read by the JSON reader gives and refuses what it refuses.
#include "service/ChannelList.h"
#include "service/JsonNode.h"
#include "service/SignInReply.h"
#include "service/SongReply.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    SignInReply reply;
    if (ReadSignInReply(text, reply) && reply.err != "ok")
        std::abort();
    ChannelList channels;
    channels.AppendFromReply(text);
    if (channels.Count() > 0 && channels.Capacity() < static_cast<std::size_t>(channels.Count()))
        std::abort();
    const std::size_t max = size % 4; // 0 to 3 songs: the cap falls in every place
    std::vector<std::string> kept, whole;
    const bool parsed = ParseSongReply(
        text,
        [&](SongRecord&& song) {
            if (!(song.rating_avg > 1.0) || (song.like != "0" && song.like != "1"))
                std::abort();
            kept.push_back(song.sid + '|' + song.title + '|' + song.like);
        },
        max);
    JsonNode doc;
    const bool wholeParsed = doc.Parse(text);
    SongRecord song;
    for (int i = 0; whole.size() < max && doc.Member("song").Element(i).IsValid(); ++i)
        if (ReadSongElement(doc.Member("song").Element(i), song))
            whole.push_back(song.sid + '|' + song.title + '|' + song.like);
    if (parsed != wholeParsed || kept != whole)
        std::abort();
    return 0;
}
