#include "service/WebClient.h"

#include "platform/Connectivity.h"
#include "platform/Log.h"
#include "platform/OutOfMemory.h"
#include "service/CachePath.h"

#include <cstdio>
#include <ctime>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <new>

namespace {

std::mutex gDefaultsLock; // guards gDefaults
WebClient::Options gDefaults;

void EnsureCurlGlobalInit() {
    // curl_global_init is not thread-safe; the first transfer may come from any thread.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

int OnProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load(std::memory_order_relaxed) ? 1 : 0;
}

bool Cancelled(const WebClient::Options& o) {
    return o.cancel && o.cancel->load(std::memory_order_relaxed);
}

EasyHandle NewHandle(const std::string& url, const WebClient::Options& o) {
    EnsureCurlGlobalInit();
    EasyHandle h(curl_easy_init());
    if (!h)
        return h;
    CURL* c = h.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    // Signals cannot carry time-outs in a program with worker threads.
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, o.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, o.stallSeconds < 1 ? 1L : o.stallSeconds);
    if (o.totalTimeoutMs > 0) {
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, o.totalTimeoutMs);
    }
    // URLs come from the network (song, cover and lyrics links): never let one read a local
    // file or reach another protocol.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(c, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
    // Bigger reads than libcurl's 16 KB default: fewer calls per body, and a download writes
    // chunks of at most this size.
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(WebClient::kDownloadChunkBytes));
    if (o.cancel) {
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, o.cancel);
    }
    return h;
}

long ResponseCode(CURL* easy) {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

curl_off_t AnnouncedLength(CURL* easy) {
    curl_off_t announced = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    return announced;
}

// One line for a transfer that failed; a cancelled one (a shutdown) is no failure. cap is set
// when the body went over it.
void LogFailure(const WebClient::Options& o, std::string_view method, std::string_view url,
                long status, CURLcode rc, std::uint64_t bytes, std::size_t cap = 0) {
    if (Cancelled(o) || !Log::Enabled(Log::kNet))
        return;
    Log line(Log::kNet);
    line << method << " " << Log::Redacted(url);
    if (cap)
        line << " aborted: over its cap of " << cap << " bytes";
    else
        line << " failed";
    line << ": HTTP " << status << ", curl " << static_cast<int>(rc) << " ("
         << curl_easy_strerror(rc) << "), " << bytes << " bytes";
}

struct MemorySink {
    CURL* easy;
    std::string body;
    std::size_t cap;
    bool reserved = false;
    bool overCap = false;
};

std::size_t AppendToMemory(char* data, std::size_t size, std::size_t count, void* target) {
    auto* sink = static_cast<MemorySink*>(target);
    std::size_t bytes = size * count;
    if (!sink->reserved) {
        sink->reserved = true;
        const curl_off_t announced = AnnouncedLength(sink->easy);
        sink->overCap = announced > 0 && static_cast<std::size_t>(announced) > sink->cap;
        if (!sink->overCap && announced > 0)
            sink->body.reserve(static_cast<std::size_t>(announced));
    }
    if (sink->overCap || bytes > sink->cap - sink->body.size()) {
        sink->overCap = true;
        return 0; // aborts the transfer
    }
    try {
        sink->body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        ExitOutOfMemory();
    }
    return bytes;
}

std::optional<std::string> FetchIntoMemory(EasyHandle handle, const WebClient::Options& o,
                                           std::size_t* length, std::string_view method,
                                           std::string_view url) {
    if (length)
        *length = 0;
    if (!handle)
        return std::nullopt;
    MemorySink sink{handle.get(), {}, o.maxBodyBytes};
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, AppendToMemory);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &sink);
    CURLcode rc = curl_easy_perform(handle.get());
    const long status = ResponseCode(handle.get());
    const bool refused = o.failOnHttpError && status >= 400;
    handle.reset();
    if (rc != CURLE_OK || refused || sink.body.empty()) {
        LogFailure(o, method, url, status, rc, sink.body.size(), sink.overCap ? sink.cap : 0);
        return std::nullopt;
    }
    if (length)
        *length = sink.body.size();
    return std::move(sink.body);
}

// Collects a Request's response headers; a new status line (after "100 Continue") starts over.
struct HeaderSink {
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t bytes = 0;
};

std::size_t AppendHeader(char* data, std::size_t size, std::size_t count, void* target) {
    auto* sink = static_cast<HeaderSink*>(target);
    const std::size_t bytes = size * count;
    if (bytes > WebClient::kMaxHeaderBytes - sink->bytes)
        return 0; // over the cap: the transfer fails
    sink->bytes += bytes;
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
        sink->headers.clear();
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return bytes;
    try {
        sink->headers.emplace_back(line.substr(0, colon), line.substr(colon + 1));
    } catch (const std::bad_alloc&) {
        ExitOutOfMemory();
    }
    return bytes;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Writes a download into its temporary file (see CacheTempPath); whatever is not moved into
// place by Commit is deleted when the sink goes.
struct FileSink {
    CURL* easy = nullptr;
    std::string path;               // the temporary file
    std::unique_ptr<char[]> buffer; // declared before file: the file is closed first
    std::unique_ptr<std::FILE, FileCloser> file;
    std::size_t cap = 0;
    std::size_t written = 0;
    bool made = false;
    bool overCap = false;
    bool httpError = false;
    bool fileError = false;
    bool writeError = false;

    FileSink() = default;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink() { Discard(); }

    bool Open() {
        file.reset(std::fopen(path.c_str(), "wbe"));
        if (!file)
            return false;
        made = true;
        // libcurl hands over 16 KB pieces; gather them into writes of up to one chunk.
        buffer = std::make_unique<char[]>(WebClient::kDownloadChunkBytes);
        std::setvbuf(file.get(), buffer.get(), _IOFBF, WebClient::kDownloadChunkBytes);
        return true;
    }

    void Discard() {
        file.reset();
        if (made)
            std::remove(path.c_str());
        made = false;
    }

    // Closes the complete file and moves it into place.
    int Commit(const std::string& finalPath) {
        if (!file && !Open())
            return kDownloadFileFailed; // an empty body still makes an (empty) file
        if (std::fclose(file.release()) != 0)
            return kDownloadReadFailed;
        made = false;
        return CommitCacheFile(path, finalPath) ? kDownloadOk : kDownloadFileFailed;
    }
};

std::size_t AppendToFile(char* data, std::size_t size, std::size_t count, void* target) {
    auto* sink = static_cast<FileSink*>(target);
    std::size_t bytes = size * count;
    if (!sink->file) {
        // The file is only made once an acceptable answer has begun: an error page is no song.
        if (ResponseCode(sink->easy) >= 400) {
            sink->httpError = true;
            return bytes == 0 ? 1 : 0;
        }
        const curl_off_t announced = AnnouncedLength(sink->easy);
        if (announced > 0 && static_cast<std::size_t>(announced) > sink->cap) {
            sink->overCap = true;
            return bytes == 0 ? 1 : 0;
        }
        if (!sink->Open()) {
            sink->fileError = true;
            return bytes == 0 ? 1 : 0;
        }
    }
    if (bytes > sink->cap - sink->written) {
        sink->overCap = true;
        return 0;
    }
    if (bytes && std::fwrite(data, 1, bytes, sink->file.get()) != bytes) {
        sink->writeError = true;
        return 0;
    }
    sink->written += bytes;
    return bytes;
}

long MillisecondsSinceBoot() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<long>(ts.tv_sec) * 1000L + ts.tv_nsec / 1'000'000L;
}

} // namespace

WebClient::WebClient() : options_(DefaultOptions()) {}

WebClient::WebClient(const std::atomic<bool>* cancel) : options_(DefaultOptions()) {
    options_.cancel = cancel;
}

WebClient::WebClient(const Options& options) : options_(options) {}

WebClient::Options WebClient::DefaultOptions() {
    std::lock_guard<std::mutex> guard(gDefaultsLock);
    return gDefaults;
}

void WebClient::SetDefaultTimeoutsForTesting(long connectTimeoutMs, long stallSeconds) {
    std::lock_guard<std::mutex> guard(gDefaultsLock);
    gDefaults.connectTimeoutMs = connectTimeoutMs;
    gDefaults.stallSeconds = stallSeconds;
}

void WebClient::ResetDefaultsForTesting() {
    std::lock_guard<std::mutex> guard(gDefaultsLock);
    gDefaults = Options();
}

std::optional<std::string> WebClient::Get(std::string_view url, std::size_t* length) const {
    if (length)
        *length = 0;
    if (url.empty() || Cancelled(options_))
        return std::nullopt;
    return FetchIntoMemory(NewHandle(std::string(url), options_), options_, length, "GET", url);
}

std::optional<std::string> WebClient::Post(std::string_view url, std::string_view body) const {
    if (url.empty() || Cancelled(options_))
        return std::nullopt;
    EasyHandle h = NewHandle(std::string(url), options_);
    if (!h)
        return std::nullopt;
    curl_easy_setopt(h.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h.get(), CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    return FetchIntoMemory(std::move(h), options_, nullptr, "POST", url);
}

int WebClient::Download(std::string_view url, std::string_view name, int kind,
                        const WorkFolder& work) const {
    if (url.empty())
        return kDownloadNoUrl;
    if (Connectivity::IsOffline())
        return kDownloadOffline;
    std::optional<std::string> path = work.Cache(kind, name);
    if (!path)
        return kDownloadFileFailed;
    if (Cancelled(options_))
        return kDownloadOpenFailed;

    EasyHandle h = NewHandle(std::string(url), options_);
    if (!h)
        return kDownloadOffline;
    CURL* c = h.get();
    char agent[64];
    std::snprintf(agent, sizeof agent, "Agent%ld", MillisecondsSinceBoot());
    HeaderList headers(curl_slist_append(nullptr, "Accept: */*"));
    if (!headers)
        ExitOutOfMemory();
    FileSink sink;
    sink.easy = c;
    sink.path = CacheTempPath(*path);
    sink.cap = DownloadCap(kind);
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, AppendToFile);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    CURLcode rc = curl_easy_perform(c);
    long status = ResponseCode(c);
    curl_off_t announced = -1, received = 0;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &received);
    h.reset();

    int result = kDownloadOk;
    if (sink.overCap)
        result = kDownloadTooLarge;
    else if (rc != CURLE_OK && sink.httpError)
        result = kDownloadHttpError;
    else if (rc != CURLE_OK && (sink.fileError || sink.writeError))
        result = kDownloadFileFailed;
    else if (rc != CURLE_OK)
        result = sink.made ? kDownloadReadFailed : kDownloadOpenFailed;
    else if (status >= 400 || sink.httpError)
        result = kDownloadHttpError;
    // libcurl reports a body cut short of its Content-Length itself; this is the last word.
    else if (announced >= 0 && received != announced)
        result = kDownloadReadFailed;
    if (result != kDownloadOk) {
        LogFailure(options_, "GET", url, status, rc, static_cast<std::uint64_t>(received),
                   sink.overCap ? sink.cap : 0);
        return result;
    }
    result = sink.Commit(*path);
    if (result != kDownloadOk)
        LogFailure(options_, "GET", url, status, rc, static_cast<std::uint64_t>(received));
    return result;
}

std::size_t WebClient::DownloadCap(int kind) const {
    if (options_.maxDownloadBytes > 0)
        return options_.maxDownloadBytes;
    switch (kind) {
    case kCacheMusic:
        return kMaxSongBytes;
    case kCacheAlbum:
        return kMaxCoverBytes;
    default:
        return kMaxLyricsBytes;
    }
}

std::string WebClient::Reply::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (SameNoCase(key, name))
            return std::string(Trimmed(value));
    return {};
}

std::optional<WebClient::Reply> WebClient::Request(std::string_view method, std::string_view url,
                                                   const std::vector<std::string>& headerLines,
                                                   std::string_view body) const {
    const bool post = method == "POST";
    if ((!post && method != "GET") || url.empty() || Cancelled(options_))
        return std::nullopt;
    // No "Expect: 100-continue" round trip before a larger body.
    HeaderList headers(curl_slist_append(nullptr, "Expect:"));
    if (!headers)
        ExitOutOfMemory();
    for (const std::string& line : headerLines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return std::nullopt;
        // Appending to a list keeps its head.
        if (!curl_slist_append(headers.get(), line.c_str()))
            ExitOutOfMemory();
    }
    EasyHandle h = NewHandle(std::string(url), options_);
    if (!h)
        return std::nullopt;
    CURL* c = h.get();
    MemorySink sink{c, {}, options_.maxBodyBytes};
    HeaderSink headerSink;
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    if (post) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, AppendToMemory);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, AppendHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &headerSink);
    const CURLcode rc = curl_easy_perform(c);
    const long status = ResponseCode(c);
    h.reset();
    if (rc != CURLE_OK || status == 0) {
        LogFailure(options_, method, url, status, rc, sink.body.size(),
                   sink.overCap ? sink.cap : 0);
        return std::nullopt;
    }
    return Reply{status, std::move(headerSink.headers), std::move(sink.body)};
}
