// Every service reply reader on any bytes: no crash, no exception, and what the readers keep is
// consistent with the filter.
#include "service/ChannelList.h"
#include "service/SignInReply.h"
#include "service/SongReply.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    SignInReply reply;
    if (ReadSignInReply(text, reply) && reply.err != "ok")
        std::abort();
    ChannelList channels;
    channels.AppendFromReply(text);
    if (channels.Count() > 0 && channels.Capacity() < static_cast<std::size_t>(channels.Count()))
        std::abort();
    ParseSongReply(text, [](SongRecord&& song) {
        if (!(song.rating_avg > 1.0) || (song.like != "0" && song.like != "1"))
            std::abort();
    });
    return 0;
}
