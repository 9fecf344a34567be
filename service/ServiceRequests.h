#pragma once
#include <optional>
#include <string>
#include <string_view>

// The requests the client makes to the radio service, built from the service base
// ("scheme://host[:port]", see SessionSettings::ServiceBase) byte-exact as the service expects
// them. Query values are inserted as they are, without percent-encoding.

// What every playlist and report request carries: the three sign-in texts, the song id the last
// like action remembered (none before the first like: sent as "(null)") and the channel number.
struct PlaylistQuery {
    std::string_view user_id;
    std::string_view expire;
    std::string_view token;
    std::optional<std::string_view> sid;
    int channel = 1;
};

// The longest sign-in body the service takes (the old 1,023-byte buffer, zero included).
constexpr size_t kMaxSignInBodyLength = 1022;

std::string SignInUrl(std::string_view base);
// "email=%s&password=%s&app_name=radio_desktop_win&version=100" with both values percent-encoded
// as typed (ANSI bytes); none when the body would be longer than kMaxSignInBodyLength.
std::optional<std::string> SignInBody(std::string_view email, std::string_view password);

std::string ChannelListUrl(std::string_view base);

std::string PlaylistUrl(std::string_view base, const PlaylistQuery& q);
// The same with "&h=" and the history text appended.
std::string PlaylistUrl(std::string_view base, const PlaylistQuery& q, std::string_view history);

// The follow-up report after a like ("type=e&status=r"); its reply is not read.
std::string LikeReportUrl(std::string_view base, const PlaylistQuery& q);
