#pragma once
#include "service/CachePath.h" // CacheKind, the kind argument of Download

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Result of WebClient::Download.
enum DownloadResult {
    kDownloadOk = 0,         // the whole body is in the file and the file is closed
    kDownloadOpenFailed = 1, // no connection, no answer, or cancelled before any of the body
                             // arrived; no file written
    kDownloadFileFailed = 2, // bad kind, a sid that is no file name, or the file cannot be made
                             // or written (the disk refused it part-way); nothing of it is kept
    kDownloadReadFailed = 3, // the body broke off part-way, or came short of its
                             // Content-Length; nothing of it is kept
    kDownloadOffline = 4,    // the system reports being offline, or no transfer handle
    kDownloadNoUrl = 5,      // no URL given
    kDownloadTooLarge = 6,   // the body was announced or grew over the cap for its kind: the
                             // transfer was aborted and nothing of it is kept
    kDownloadHttpError = 7,  // the server answered with a status of 400 or more; no file written
};

// Stateless HTTP transport over libcurl: Get and Post bring a whole body into memory, Download
// streams one into a cache file (see CachePath.h). Each call uses its own curl handle, so one
// instance may be used from several threads at once; the options are fixed at construction.
//
// Every transfer has a connect time-out and a stall time-out (aborted when fewer than 1 byte/s
// arrive for stallSeconds), may have a bound on its whole duration, and can be cancelled through
// a flag that a shutdown raises. Every body has a size cap that fits what it carries, checked
// against the announced length and while the bytes arrive: a body over it is aborted. A transfer
// that times out, goes over its cap or is cancelled is a failure; each failure logs one line
// (category net).
class WebClient {
public:
    static constexpr long kConnectTimeoutMs = 10'000;
    static constexpr long kStallSeconds = 30;
    static constexpr std::size_t kMaxBodyBytes = 32u << 20;
    static constexpr std::size_t kDownloadChunkBytes = 163'840;
    // What Download lets each kind of cache file weigh.
    static constexpr std::size_t kMaxSongBytes = 256u << 20;
    static constexpr std::size_t kMaxCoverBytes = 16u << 20;
    static constexpr std::size_t kMaxLyricsBytes = 4u << 20;

    struct Options {
        long connectTimeoutMs = kConnectTimeoutMs;
        long stallSeconds = kStallSeconds; // libcurl counts it in whole seconds, at least 1
        // Connect and transfer together; 0: no bound (a song may legitimately take minutes).
        long totalTimeoutMs = 0;
        std::size_t maxBodyBytes = kMaxBodyBytes; // Get and Post
        // Download's cap; 0: the kind's own (kMaxSongBytes, kMaxCoverBytes, kMaxLyricsBytes).
        std::size_t maxDownloadBytes = 0;
        // Get and Post give none for an answer with an HTTP status of 400 or more.
        bool failOnHttpError = false;
        // When set and raised, running transfers end within about a second. Must outlive the
        // client.
        const std::atomic<bool>* cancel = nullptr;
    };

    WebClient();
    explicit WebClient(const std::atomic<bool>* cancel);
    explicit WebClient(const Options& options);

    const Options& GetOptions() const { return options_; }

    // The body of a GET, or none (length 0) on any failure and for an empty body. The text's
    // c_str() ends the body with the extra zero byte. HTTP error pages are returned like any
    // other body unless failOnHttpError is set; redirects are not followed. An empty url fails.
    // Only http and https.
    std::optional<std::string> Get(std::string_view url, std::size_t* length = nullptr) const;

    // The body of a form POST (application/x-www-form-urlencoded) of body, or none.
    std::optional<std::string> Post(std::string_view url, std::string_view body) const;

    // What Request brings back.
    struct Reply {
        long status = 0;
        std::vector<std::pair<std::string, std::string>> headers; // as sent, in order
        std::string body;
        // The value of the first header of that name (in any case), trimmed; "" when absent.
        std::string Header(std::string_view name) const;
    };
    static constexpr std::size_t kMaxHeaderBytes = 64u << 10;

    // A request of method "GET" or "POST" (body sent as it is) with extra header lines
    // ("Name: value"), giving the answer whatever its status. None when no complete answer came
    // (no connection, time-out, cancel, a body over the cap or headers over kMaxHeaderBytes),
    // for another method, and for a header line holding CR, LF or NUL (it would forge headers).
    std::optional<Reply> Request(std::string_view method, std::string_view url,
                                 const std::vector<std::string>& headerLines,
                                 std::string_view body = {}) const;

    // Streams the body, in chunks of at most kDownloadChunkBytes, into a temporary file beside
    // work.Cache(kind, name) (see CacheTempPath) and moves it into place, replacing an older copy,
    // only once the transfer has ended cleanly with every byte the server announced; on any
    // failure or cancel the temporary file is deleted and an older copy stays. Sends
    // "Accept: */*" and the user agent "Agent<ms since boot>", follows up to 10 redirects.
    // Returns a DownloadResult. An empty url counts as none. A response of 400 or more writes
    // nothing.
    int Download(std::string_view url, std::string_view name, int kind,
                 const WorkFolder& work = WorkFolder()) const;
    // The cap Download applies to kind.
    std::size_t DownloadCap(int kind) const;

    // The options that WebClients made from now on start with. Tests shorten the time-outs.
    static Options DefaultOptions();
    static void SetDefaultTimeoutsForTesting(long connectTimeoutMs, long stallSeconds);
    static void ResetDefaultsForTesting();

private:
    Options options_;
};
