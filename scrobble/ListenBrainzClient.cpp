#include "scrobble/ListenBrainzClient.h"

#include "platform/Log.h"
#include "platform/TextEncoding.h"
#include "scrobble/ListenPayload.h"

#include <json/json.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <memory>

namespace {

constexpr const char* kNoServer = "no http(s) server address";

WebClient::Options ClientOptions(const std::atomic<bool>* cancel) {
    WebClient::Options o = WebClient::DefaultOptions();
    o.totalTimeoutMs = ListenBrainzClient::kTotalTimeoutMs;
    o.maxBodyBytes = ListenBrainzClient::kMaxReplyBytes;
    o.cancel = cancel;
    return o;
}

// The reply as a JSON object, or null.
Json::Value ParseObject(const std::string& body) {
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 32;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    try {
        if (!reader->parse(body.data(), body.data() + body.size(), &value, nullptr) ||
            !value.isObject())
            return Json::Value();
    } catch (const Json::Exception&) {
        return Json::Value(); // nested deeper than the stack limit: the reader throws
    }
    return value;
}

std::string ServerText(const Json::Value& reply, const char* member) {
    const Json::Value& v = reply[member];
    return v.isString() ? ListenPayload::CleanText(v.asString(), ListenBrainzClient::kMaxErrorBytes)
                        : std::string();
}

// A server's id: letters, digits and "-" (a UUID), nothing that could break a request.
bool IsWellFormedMsid(const std::string& msid) {
    if (msid.empty() || msid.size() > 64)
        return false;
    for (const char c : msid)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
            return false;
    return true;
}

int HeaderNumber(const WebClient::Reply& reply, std::string_view name) {
    const std::string text = reply.Header(name);
    int value = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0)
        return -1;
    return value;
}

} // namespace

ListenBrainzClient::ListenBrainzClient(std::string serverBase, const std::atomic<bool>* cancel)
    : server_(std::move(serverBase)), web_(ClientOptions(cancel)) {
    while (!server_.empty() && server_.back() == '/')
        server_.pop_back();
}

bool ListenBrainzClient::HasUsableServer() const {
    const bool http = server_.rfind("http://", 0) == 0 && server_.size() > 7;
    const bool https = server_.rfind("https://", 0) == 0 && server_.size() > 8;
    return (http || https) && server_.find_first_of(" \t\r\n") == std::string::npos;
}

bool ListenBrainzClient::IsWellFormedToken(std::string_view token) {
    if (token.empty() || token.size() > kMaxTokenBytes)
        return false;
    for (const char c : token)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

std::optional<WebClient::Reply> ListenBrainzClient::Send(std::string_view method,
                                                         std::string_view path,
                                                         std::string_view token,
                                                         std::string_view body) const {
    const std::string url = server_ + std::string(path);
    std::vector<std::string> headers{"Authorization: Token " + std::string(token)};
    if (method == "POST")
        headers.emplace_back("Content-Type: application/json");
    std::optional<WebClient::Reply> reply = web_.Request(method, url, headers, body);
    if (!reply)
        Log(Log::kNet) << method << " " << Log::Redacted(url) << " failed: no answer";
    else if (reply->status != 200)
        Log(Log::kNet) << method << " " << Log::Redacted(url) << " failed: HTTP " << reply->status
                       << " " << Log::Redacted(reply->body.substr(0, kMaxErrorBytes));
    return reply;
}

ListenBrainzClient::SubmitResult
ListenBrainzClient::Exchange(std::string_view method, std::string_view path, std::string_view token,
                             std::string_view body, Json::Value* replyBody) const {
    SubmitResult result;
    if (!IsWellFormedToken(token)) {
        result.outcome = Outcome::kTokenRefused;
        result.error = "the token is not well-formed";
        return result;
    }
    if (!HasUsableServer()) {
        result.error = kNoServer;
        return result;
    }
    const std::optional<WebClient::Reply> reply = Send(method, path, token, body);
    if (!reply) {
        result.error = "no answer from " + server_;
        return result;
    }
    result.status = reply->status;
    result.rateRemaining = HeaderNumber(*reply, "X-RateLimit-Remaining");
    result.rateResetInSeconds = HeaderNumber(*reply, "X-RateLimit-Reset-In");
    Json::Value parsed = ParseObject(reply->body);
    result.error = ServerText(parsed, "error");
    switch (reply->status) {
    case 200:
        result.outcome = Outcome::kAccepted;
        result.error.clear();
        if (replyBody)
            *replyBody = std::move(parsed);
        break;
    case 401:
        result.outcome = Outcome::kTokenRefused;
        break;
    case 400:
        // Only the server's own verdict condemns a request; a proxy's error page does not.
        result.outcome = result.error.empty() ? Outcome::kRetryLater : Outcome::kRejected;
        break;
    case 413:
        result.outcome = Outcome::kTooLarge;
        break;
    default:
        result.outcome = Outcome::kRetryLater;
        break;
    }
    if (result.outcome != Outcome::kAccepted && result.error.empty())
        result.error = "HTTP " + std::to_string(reply->status);
    return result;
}

ListenBrainzClient::SubmitResult
ListenBrainzClient::Submit(std::string_view token, std::string_view listenType,
                           const std::vector<Listen>& listens) const {
    return Exchange("POST", "/1/submit-listens", token,
                    ListenPayload::SubmitBody(listenType, listens));
}

ListenBrainzClient::SubmitResult ListenBrainzClient::FindRecordingMsid(std::string_view token,
                                                                       std::string_view user,
                                                                       const Listen& listen) const {
    const std::string path = "/1/user/" + UrlEncode(user) +
                             "/listens?min_ts=" + std::to_string(listen.listenedAt - 1) +
                             "&max_ts=" + std::to_string(listen.listenedAt + 1) +
                             "&count=" + std::to_string(kLookupCount);
    Json::Value reply;
    SubmitResult result = Exchange("GET", path, token, {}, &reply);
    // Each step checks the type: jsoncpp throws on a member of a value that is no object.
    const Json::Value& payload = static_cast<const Json::Value&>(reply)["payload"];
    if (result.outcome != Outcome::kAccepted || !payload.isObject() ||
        !payload["listens"].isArray())
        return result;
    for (const Json::Value& item : payload["listens"]) {
        if (!item.isObject() || !item["track_metadata"].isObject())
            continue;
        const Json::Value& meta = item["track_metadata"];
        if (!item["listened_at"].isInt64() || item["listened_at"].asInt64() != listen.listenedAt ||
            meta["artist_name"] != listen.artist || meta["track_name"] != listen.track)
            continue;
        // Newer servers put it beside the metadata, older ones inside additional_info.
        std::string msid = ServerText(item, "recording_msid");
        if (msid.empty() && meta["additional_info"].isObject())
            msid = ServerText(meta["additional_info"], "recording_msid");
        if (IsWellFormedMsid(msid)) {
            result.msid = msid;
            break;
        }
    }
    return result;
}

ListenBrainzClient::SubmitResult
ListenBrainzClient::SubmitFeedback(std::string_view token, std::string_view msid, int score) const {
    Json::Value body(Json::objectValue);
    body["recording_msid"] = std::string(msid);
    body["score"] = score;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Exchange("POST", "/1/feedback/recording-feedback", token,
                    Json::writeString(builder, body));
}

ListenBrainzClient::TokenCheck ListenBrainzClient::ValidateToken(std::string_view token) const {
    TokenCheck check;
    if (!IsWellFormedToken(token)) {
        check.state = TokenState::kRefused;
        check.error = token.empty() ? "no token" : "the token is not well-formed";
        return check;
    }
    if (!HasUsableServer()) {
        check.error = kNoServer;
        return check;
    }
    const std::optional<WebClient::Reply> reply = Send("GET", "/1/validate-token", token, {});
    if (!reply) {
        check.error = "no answer from " + server_;
        return check;
    }
    const Json::Value body = ParseObject(reply->body);
    if (reply->status == 200 && body["valid"].isBool()) {
        const std::string user = ServerText(body, "user_name");
        if (body["valid"].asBool() && !user.empty()) {
            check.state = TokenState::kValid;
            check.userName = user;
            return check;
        }
        check.state = TokenState::kRefused;
        check.error = ServerText(body, "message");
    } else if (reply->status == 400 || reply->status == 401 || reply->status == 403) {
        check.state = TokenState::kRefused;
        check.error = ServerText(body, "error");
    } else {
        check.error = "unexpected answer (HTTP " + std::to_string(reply->status) + ")";
        return check;
    }
    if (check.error.empty())
        check.error = "token refused";
    return check;
}
