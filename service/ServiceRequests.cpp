#include "service/ServiceRequests.h"

#include "platform/TextEncoding.h"

namespace {

constexpr std::string_view kApp = "app_name=radio_desktop_win&version=100";

// A base given with a trailing "/" must not double the slash before the path.
std::string_view TrimBase(std::string_view base) {
    while (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    return base;
}

std::string PeopleUrl(std::string_view base, std::string_view type, const PlaylistQuery& q) {
    std::string url(TrimBase(base));
    url.append("/j/app/radio/people?").append(kApp).append("&").append(type);
    url.append("&user_id=").append(q.user_id);
    url.append("&expire=").append(q.expire);
    url.append("&token=").append(q.token);
    url.append("&sid=").append(q.sid ? *q.sid : std::string_view("(null)"));
    url.append("&channel=").append(std::to_string(q.channel));
    return url;
}

} // namespace

std::string SignInUrl(std::string_view base) {
    return std::string(TrimBase(base)).append("/j/app/login");
}

std::optional<std::string> SignInBody(std::string_view email, std::string_view password) {
    std::string body = "email=";
    body.append(UrlEncode(email)).append("&password=").append(UrlEncode(password));
    body.append("&").append(kApp);
    if (body.size() > kMaxSignInBodyLength)
        return std::nullopt;
    return body;
}

std::string ChannelListUrl(std::string_view base) {
    return std::string(TrimBase(base)).append("/j/app/radio/channels");
}

std::string PlaylistUrl(std::string_view base, const PlaylistQuery& q) {
    return PeopleUrl(base, "type=n", q);
}

std::string PlaylistUrl(std::string_view base, const PlaylistQuery& q, std::string_view history) {
    return PeopleUrl(base, "type=n", q).append("&h=").append(history);
}

std::string LikeReportUrl(std::string_view base, const PlaylistQuery& q) {
    return PeopleUrl(base, "type=e&status=r", q);
}
