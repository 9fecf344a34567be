// Parses any bytes as LRC text and moves the cursors over every line, checking that the three
// cursors always name neighbouring lines of the timeline.
#include "lyrics/LrcTimeline.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    LrcTimeline::ParseTimeTag(text);
    int redraws = 0;
    LrcTimeline lrc([&] { ++redraws; });
    lrc.SetLrcText(text);
    lrc.ParseLrc();
    Check(lrc.IsLoaded() && !lrc.CurLineKey());
    const LrcTimeline::Timeline& timeline = lrc.GetTimeline();
    Check(timeline.size() <= lrc.LrcText().size());
    for (auto it = timeline.begin(); it != timeline.end(); ++it) {
        lrc.SetPlayTime(it->first);
        Check(lrc.CurLineKey() == it->first);
        Check(lrc.CurLineText() == it->second);
        Check(lrc.PrevLineKey().has_value() == (it != timeline.begin()));
        Check(lrc.NextLineKey().has_value() == (std::next(it) != timeline.end()));
        Check(it->second.find('\n') == std::string::npos &&
              it->second.find('\r') == std::string::npos);
    }
    Check(redraws == static_cast<int>(timeline.size()));
    lrc.SetPlayTime(-1);
    lrc.ClearLrc();
    Check(!lrc.IsLoaded() && lrc.GetTimeline().empty() && lrc.CurLineText().empty());
    return 0;
}
