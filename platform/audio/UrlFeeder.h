#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

class StreamSource;

// How a download ended. The song list counts kFailed and kOverCap against the song; no answer at
// all (a refused connection, say) is the network's fault, not the song's.
enum class DownloadEnd {
    kNone,        // still running, stopped, or the disk refused the bytes
    kComplete,    // every byte the server announced
    kUnreachable, // no answer came
    kFailed,      // the server answered with an error, or the transfer broke after its answer
    kOverCap,     // aborted at the cap: an endless stream, not a song
};

// Downloads one URL on a thread of its own and writes every byte received, in order, into a
// StreamSource, reporting progress to a sink. It never waits for the consumer, so a paused
// player does not stall the transfer into its low-speed abort.
class UrlFeeder {
public:
    static constexpr long kConnectTimeoutMs = 10000;
    static constexpr long kLowSpeedBytesPerSecond = 1; // below this for kLowSpeedTimeS: abort
    static constexpr long kLowSpeedTimeS = 30;
    // A song, not an endless stream: a body announced or grown over it is aborted, and the
    // transfer ends incomplete (nothing of it is saved).
    static constexpr int64_t kMaxBytes = int64_t{256} << 20;

    // Called on the feeder's thread.
    class Sink {
    public:
        virtual ~Sink() = default;
        // received bytes are in the source; contentLength is -1 when the server gave none.
        virtual void OnInput(int64_t contentLength, int64_t received) = 0;
        // The transfer is over: no more bytes come. kComplete: it ended cleanly with every byte
        // the server announced (any length when it announced none).
        virtual void OnInputEnd(int64_t received, DownloadEnd end) = 0;
    };

    UrlFeeder(std::string url, StreamSource& target, Sink& sink);
    ~UrlFeeder(); // stops and joins
    UrlFeeder(const UrlFeeder&) = delete;
    UrlFeeder& operator=(const UrlFeeder&) = delete;

    void Start();
    // Aborts the transfer at once (no wait for the next progress tick) and joins the thread.
    void Stop();

private:
    void Run();
    size_t OnWrite(const char* data, size_t size);
    void LogFailure(int curlResult) const;
    static size_t WriteCallback(char* data, size_t size, size_t count, void* self);

    const std::string url_;
    StreamSource& target_;
    Sink& sink_;
    void* multi_ = nullptr; // CURLM*, made before the thread starts so Stop can wake it
    std::atomic<bool> stop_{false};
    std::thread thread_;

    // Feeder thread only.
    void* easy_ = nullptr; // CURL*
    int64_t received_ = 0;
    int64_t contentLength_ = -1;
    bool headersSeen_ = false;
    bool overCap_ = false;
    bool writeFailed_ = false;
};
