#pragma once
#include <optional>
#include <string>
#include <string_view>

class WebClient;

// The values of a sign-in reply, texts exactly as received. user_id, token and expire go into
// every playlist request; the client never interprets expire.
struct SignInReply {
    std::string err; // "ok" when the service accepted the credentials
    std::string user_id;
    std::string token;
    std::string expire;
};

// Reads a sign-in reply. When the text does not parse (or a member has the wrong type) the
// result is false and out is left alone. Otherwise all four texts are stored, whatever "err"
// says, and the result is whether "err" is exactly "ok".
bool ReadSignInReply(std::string_view text, SignInReply& out);

// Posts the sign-in form to base + "/j/app/login" and returns the reply text, or none when no
// reply came. A body longer than kMaxSignInBodyLength refuses the sign-in: nothing is sent.
std::optional<std::string> RequestSignIn(const WebClient& web, std::string_view base,
                                         std::string_view email, std::string_view password);
