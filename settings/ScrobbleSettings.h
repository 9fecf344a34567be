#pragma once
#include <cstddef>
#include <string>
#include <string_view>

class SessionSettings;

// Scrobbling's keys of config.ini [AppSet]: the switch ("on" or "off", off by default) and the
// listening-history server. The token is a secret: it lives in the keyring under kTokenEntry,
// never in config.ini.
struct ScrobbleSettings {
    static constexpr const char* kSwitchKey = "scrobble";
    static constexpr const char* kServerKey = "scrobbleserver";
    static constexpr const char* kTokenEntry = "listenbrainz-token";
    static constexpr std::size_t kMaxServerBytes = 512;

    bool on = false;
    std::string server; // a usable http(s) base without a trailing "/"

    // What config.ini holds now; a stored server that is no usable one reads as the default.
    static ScrobbleSettings Load(SessionSettings& stored);
    static bool SaveSwitch(SessionSettings& stored, bool on);
    // False, storing nothing, for a server that is not usable or when config.ini cannot be
    // written.
    static bool SaveServer(SessionSettings& stored, std::string_view server);
    // server as stored: trailing "/" dropped; "" when it is no http(s) base of printable ASCII
    // without blanks within kMaxServerBytes.
    static std::string Usable(std::string_view server);
};
