#include "service/SignInReply.h"

#include "service/JsonNode.h"
#include "service/ServiceRequests.h"
#include "service/WebClient.h"

#include <json/value.h>

bool ReadSignInReply(std::string_view text, SignInReply& out) {
    JsonNode doc;
    if (!doc.Parse(text))
        return false;
    SignInReply reply;
    try {
        reply.err = doc.GetString("err").value_or("");
        reply.user_id = doc.GetString("user_id").value_or("");
        reply.token = doc.GetString("token").value_or("");
        reply.expire = doc.GetString("expire").value_or("");
    } catch (const Json::Exception&) {
        return false; // a reply of the wrong shape is a rejected sign-in
    }
    out = std::move(reply);
    return out.err == "ok";
}

std::optional<std::string> RequestSignIn(const WebClient& web, std::string_view base,
                                         std::string_view email, std::string_view password) {
    std::optional<std::string> body = SignInBody(email, password);
    if (!body)
        return std::nullopt;
    return web.Post(SignInUrl(base), *body);
}
