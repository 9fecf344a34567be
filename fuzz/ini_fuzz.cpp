// Parse and serialize any bytes; one round of parsing normalises a file, so a second round must
// give the same text back. Then the same bytes, split at 0x1F into a section, a key and a value,
// are set: whatever SetString takes, Save and Load give back as the same sections and keys, and
// the value without its control characters (cut at most to what fits on a line).
#include "settings/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

std::string_view TakePart(std::string_view& rest) {
    const std::size_t end = rest.find('\x1f');
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    IniFile first;
    first.Parse(input);
    std::string once = first.Serialize();
    IniFile second;
    second.Parse(once);
    if (second.Serialize() != once)
        std::abort();
    std::string value;
    int n = 0;
    second.GetString("AppSet", "history", value, "");
    second.GetInt("AppSet", "volume", n, 50);
    second.SetString("AppSet", "volume", "1");

    std::string_view rest = input;
    const std::string_view section = TakePart(rest);
    const std::string_view key = TakePart(rest);
    IniFile set;
    set.Parse("[AppSet]\r\nvolume=50\r\n");
    if (!set.SetString(section, key, rest))
        return 0;
    IniFile back;
    back.Parse(set.Serialize());
    if (back.Sections().size() != set.Sections().size() || back.Serialize() != set.Serialize() ||
        !back.GetString(section, key, value, ""))
        std::abort();
    std::string clean;
    for (char c : rest)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            clean.push_back(c);
    // A cut keeps a whole line's worth, less at most half a character.
    const std::size_t room = IniFile::kMaxLineWrite - key.size() - 1;
    if (clean.compare(0, value.size(), value) != 0 ||
        (value.size() != clean.size() && value.size() + 1 < room))
        std::abort();
    return 0;
}
