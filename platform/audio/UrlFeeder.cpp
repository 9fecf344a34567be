#include "platform/audio/UrlFeeder.h"

#include <curl/curl.h>

#include <mutex>

#include "platform/Log.h"
#include "platform/audio/StreamSource.h"

namespace {

constexpr int kPollMs = 1000; // the multi handle wakes sooner for its own timers and for Stop

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

UrlFeeder::UrlFeeder(std::string url, StreamSource& target, Sink& sink)
    : url_(std::move(url)), target_(target), sink_(sink) {
    GlobalInit();
    multi_ = curl_multi_init();
}

UrlFeeder::~UrlFeeder() {
    Stop();
    if (multi_)
        curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void UrlFeeder::Start() {
    thread_ = std::thread(&UrlFeeder::Run, this);
}

void UrlFeeder::Stop() {
    stop_ = true;
    if (multi_)
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    if (thread_.joinable())
        thread_.join();
}

size_t UrlFeeder::WriteCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<UrlFeeder*>(self)->OnWrite(data, size * count);
}

size_t UrlFeeder::OnWrite(const char* data, size_t size) {
    if (stop_)
        return 0; // aborts the transfer
    if (!headersSeen_) {
        headersSeen_ = true;
        curl_off_t length = -1;
        if (curl_easy_getinfo(static_cast<CURL*>(easy_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T,
                              &length) == CURLE_OK &&
            length > 0)
            contentLength_ = length;
    }
    // Announced or grown over the cap: an endless stream, not a song.
    if (contentLength_ > kMaxBytes || received_ + static_cast<int64_t>(size) > kMaxBytes) {
        overCap_ = true;
        return 0;
    }
    if (!target_.WriteAt(received_, data, size)) {
        writeFailed_ = true;
        return 0;
    }
    received_ += static_cast<int64_t>(size);
    sink_.OnInput(contentLength_, received_);
    return size;
}

void UrlFeeder::Run() {
    bool complete = false;
    long status = 0; // of the answer; 0 when none came
    auto* multi = static_cast<CURLM*>(multi_);
    CURL* easy = curl_easy_init();
    easy_ = easy;
    if (multi && easy) {
        curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        // An error page is not a song: nothing of it reaches the decoder or the cache file.
        curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        // One transfer per feeder: do not keep the server's connection open after it.
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeS);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &UrlFeeder::WriteCallback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_multi_add_handle(multi, easy);
        int running = 1;
        while (!stop_ && running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (running && curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK)
                break;
        }
        int left = 0;
        CURLcode result = CURLE_FAILED_INIT;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                result = message->data.result;
        }
        complete = result == CURLE_OK;
        if (!stop_ && (!complete || (contentLength_ >= 0 && received_ != contentLength_)))
            LogFailure(result);
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_multi_remove_handle(multi, easy);
    }
    if (easy)
        curl_easy_cleanup(easy);
    easy_ = nullptr;
    // libcurl reports a body cut short of its Content-Length itself; this is the last word.
    complete = complete && !stop_ && (contentLength_ < 0 || received_ == contentLength_);
    DownloadEnd end = DownloadEnd::kNone;
    if (complete)
        end = DownloadEnd::kComplete;
    else if (overCap_)
        end = DownloadEnd::kOverCap;
    else if (!stop_ && !writeFailed_)
        end = status > 0 ? DownloadEnd::kFailed : DownloadEnd::kUnreachable;
    sink_.OnInputEnd(received_, end);
}

void UrlFeeder::LogFailure(int result) const {
    if (!Log::Enabled(Log::kNet))
        return;
    long status = 0;
    curl_easy_getinfo(static_cast<CURL*>(easy_), CURLINFO_RESPONSE_CODE, &status);
    const auto code = static_cast<CURLcode>(result);
    Log line(Log::kNet);
    line << "GET " << Log::Redacted(url_);
    if (overCap_)
        line << " aborted: over its cap of " << kMaxBytes << " bytes";
    else
        line << " failed";
    line << ": HTTP " << status << ", curl " << result << " (" << curl_easy_strerror(code) << "), "
         << received_ << " bytes";
}
