// A queue file's line on any bytes: no crash, no exception; what is read is a sendable listen
// that is written back as a line reading the same.
#include "scrobble/ListenPayload.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::optional<Listen> listen = ListenPayload::FromLine(line);
    if (!listen)
        return 0;
    if (!ListenPayload::Problem(*listen, true).empty() ||
        ListenPayload::FromLine(ListenPayload::ToLine(*listen)) != listen)
        std::abort();
    return 0;
}
