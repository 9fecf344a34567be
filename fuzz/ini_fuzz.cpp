// Parse and serialize any bytes; one round of parsing normalises a file, so a second round must
// give the same text back.
#include "settings/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IniFile first;
    first.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
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
    return 0;
}
