#pragma once
#include "scrobble/Listen.h"
#include "service/WebClient.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The listening-history server's API 1 over HTTP(S): submitting listens and checking a token.
// Stateless but for the server and the transfer options; calls block, so workers make them.
// The token goes only into the Authorization header, never into a URL or a log line.
class ListenBrainzClient {
public:
    static constexpr std::string_view kDefaultServer = "https://api.listenbrainz.org";
    static constexpr long kTotalTimeoutMs = 30'000;
    static constexpr std::size_t kMaxReplyBytes = 64u << 10;
    static constexpr std::size_t kMaxTokenBytes = 256;
    static constexpr std::size_t kMaxErrorBytes = 300; // of a server's text kept for the user

    // serverBase: "http(s)://host[:port][/path]"; a trailing "/" is dropped. cancel (optional)
    // ends running requests at shutdown.
    explicit ListenBrainzClient(std::string serverBase = std::string(kDefaultServer),
                                const std::atomic<bool>* cancel = nullptr);

    // Whether the server base is an http or https URL.
    bool HasUsableServer() const;
    const std::string& Server() const { return server_; }

    enum class Outcome {
        kAccepted,     // 200: the listens are stored
        kTokenRefused, // 401: nothing more is sent until another token
        kRejected,     // 400 with the server's error: a listen in the request is refused
        kTooLarge,     // 413: the request was too big
        kRetryLater,   // no answer, time-out, 429, 5xx or anything else: send it again later
    };
    struct SubmitResult {
        Outcome outcome = Outcome::kRetryLater;
        long status = 0;             // 0: no answer
        std::string error;           // why, for the user and the log (bounded)
        int rateRemaining = -1;      // X-RateLimit-Remaining; -1 when not sent
        int rateResetInSeconds = -1; // X-RateLimit-Reset-In; -1 when not sent
    };
    // POST /1/submit-listens of listens as listenType ("playing_now", "single", "import").
    SubmitResult Submit(std::string_view token, std::string_view listenType,
                        const std::vector<Listen>& listens) const;

    enum class TokenState {
        kValid,       // userName is set
        kRefused,     // the server (or the token's form) says no; error says why
        kUnreachable, // no usable answer; error says why; the token may still be good
    };
    struct TokenCheck {
        TokenState state = TokenState::kUnreachable;
        std::string userName;
        std::string error;
    };
    // GET /1/validate-token.
    TokenCheck ValidateToken(std::string_view token) const;

    // Whether a token can be sent at all: 1 to kMaxTokenBytes printable ASCII characters
    // without spaces (anything else would break or forge the header).
    static bool IsWellFormedToken(std::string_view token);

private:
    std::optional<WebClient::Reply> Send(std::string_view method, std::string_view path,
                                         std::string_view token, std::string_view body) const;

    std::string server_;
    WebClient web_;
};
