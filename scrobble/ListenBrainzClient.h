#pragma once
#include "scrobble/Listen.h"
#include "service/WebClient.h"

#include <json/value.h>

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
    static constexpr std::size_t kMaxReplyBytes = 256u << 10;
    static constexpr int kLookupCount = 25; // listens read around a moment
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
        std::string msid;  // FindRecordingMsid: the id found; "" when the listen is not there yet
        long status = 0;   // 0: no answer
        std::string error; // why, for the user and the log (bounded)
        int rateRemaining = -1;      // X-RateLimit-Remaining; -1 when not sent
        int rateResetInSeconds = -1; // X-RateLimit-Reset-In; -1 when not sent
    };
    // POST /1/submit-listens of listens as listenType ("playing_now", "single", "import").
    SubmitResult Submit(std::string_view token, std::string_view listenType,
                        const std::vector<Listen>& listens) const;

    // The recording_msid the server gave the user's stored listen: the one listened at
    // listen.listenedAt with its artist and track (GET /1/user/<user>/listens around that
    // moment). Listens are stored a little after they are accepted, so a fresh one may not be
    // found yet: kAccepted with no msid.
    SubmitResult FindRecordingMsid(std::string_view token, std::string_view user,
                                   const Listen& listen) const;
    // POST /1/feedback/recording-feedback: score 1 loves the recording, 0 takes that back.
    SubmitResult SubmitFeedback(std::string_view token, std::string_view msid, int score) const;

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
    SubmitResult Exchange(std::string_view method, std::string_view path, std::string_view token,
                          std::string_view body, Json::Value* reply = nullptr) const;
    std::optional<WebClient::Reply> Send(std::string_view method, std::string_view path,
                                         std::string_view token, std::string_view body) const;

    std::string server_;
    WebClient web_;
};
