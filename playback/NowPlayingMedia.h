#pragma once
#include "playback/NowPlayingInfo.h"
#include "service/WorkFolder.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Brings the cover and the lyrics of the playing song into the cache on a small pool of threads.
// Each Fetch is one request; a newer request makes the older ones stale: their queued jobs are
// skipped, their transfers cancelled and their reports dropped. A Fetch of the song already
// requested (a retry of the same song keeps its playId) starts nothing.
class NowPlayingMedia {
public:
    static constexpr int kThreads = 2;
    // A cover download gives up after this, connect and transfer together.
    static constexpr long kCoverTimeoutMs = 15'000;

    // Called on a pool thread; an implementation queues the values and returns.
    class Listener {
    public:
        virtual ~Listener() = default;
        // The song's cover file is in the cache.
        virtual void OnCoverReady(NowPlayingInfo song) = 0;
        // The song's lyrics lookup has begun (found false), or its lyrics are in the cache.
        virtual void OnLyricsState(NowPlayingInfo song, bool found) = 0;
    };

    // Looks the lyrics of a song up; true when they are in the cache. Arguments: title,
    // artist, sid, cancel flag.
    using LyricsLookup = std::function<bool(const std::string&, const std::string&,
                                            const std::string&, const std::atomic<bool>*)>;
    struct Options {
        std::string lyricsFirstBase; // the two lyrics sites, scheme://host[:port]
        std::string lyricsSecondBase;
        LyricsLookup lyrics; // empty: an LrcSearcher on the two sites
    };

    // work: where the cover and lyrics files are.
    NowPlayingMedia(Listener& listener, Options options, WorkFolder work = WorkFolder());
    ~NowPlayingMedia(); // Shutdown()
    NowPlayingMedia(const NowPlayingMedia&) = delete;
    NowPlayingMedia& operator=(const NowPlayingMedia&) = delete;

    void Fetch(const NowPlayingInfo& song);
    // Cancels every transfer and joins the threads; later Fetches do nothing.
    void Shutdown();

private:
    enum class Kind { kCover, kLyrics };
    struct Job {
        std::uint64_t request;
        Kind kind;
        NowPlayingInfo song;
    };
    struct Worker {
        std::thread thread;
        std::atomic<bool> cancel{false}; // its job went stale, or Shutdown
        std::uint64_t request = 0;       // of the job it runs; 0 idle (guarded by lock)
    };

    void Run(Worker& worker);
    void FetchCover(const Job& job, const std::atomic<bool>& cancel);
    void FetchLyrics(const Job& job, const std::atomic<bool>& cancel);
    bool IsCurrent(std::uint64_t request) const;

    Listener& listener;
    const Options options;
    const WorkFolder work;

    mutable std::mutex lock;
    std::condition_variable wake; // a job came, or Shutdown
    // Guarded by lock:
    std::deque<Job> jobs;
    std::uint64_t current = 0;                        // the newest request
    std::uint64_t songGeneration = 0, songPlayId = 0; // the song it is about
    bool stopping = false;
    std::array<Worker, kThreads> workers;
};
