#pragma once
#include "platform/WorkerGroup.h"
#include "service/ServiceRequests.h"
#include "service/SongList.h"
#include "service/WebClient.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// Holds what a playlist request needs (the sign-in texts, channel, the song id remembered by the
// last like, the history) and runs the workers that refill the SongList and pre-download its
// songs into the music cache. The workers report to a listener, on their own threads.
class RadioClient {
public:
    static constexpr int kHistoryEntries = 20;

    // Called on the worker threads, with values; an implementation queues them and returns.
    class Listener {
    public:
        virtual ~Listener() = default;
        // What a playlist request of the fetch or like worker did, for the songs of generation.
        // Not parsed when no reply came; no songs when it added none. Not reported for a
        // generation a channel switch has ended meanwhile.
        virtual void OnPlaylist(std::uint64_t generation, SongList::Appended result) = 0;
        // A prefetch pass over a non-empty list has ended.
        virtual void OnPrefetchPassDone() = 0;
    };

    // serviceBase: "scheme://host[:port]". listener may be null.
    RadioClient(Listener* listener, std::string userId, std::string token, std::string expire,
                SongList& songs, std::string serviceBase, WorkFolder work = WorkFolder());
    ~RadioClient();
    RadioClient(const RadioClient&) = delete;
    RadioClient& operator=(const RadioClient&) = delete;

    // Empties the song list, which belongs to the previous channel, and asks for the new one. A
    // fetch still running for the previous channel is cancelled, its songs are never appended,
    // and it asks for the new channel instead.
    void SetChannel(int channel);
    // Starts a fetch worker unless one runs (then the request is dropped, not queued).
    void RequestMore();
    // Remembers the song and asks for a playlist with history, then sends the like report.
    bool Like(std::string sid, std::string aid);
    // Rebuilds the history from the list and returns it.
    std::string History();
    // Up to 20 "sid:p" (played) or "sid:s" entries of the newest songs, newest first, joined
    // by "|".
    std::string BuildHistory();
    // Starts a prefetch pass unless one runs.
    void StartPrefetch();

    // Stops starting workers, cancels running transfers and joins every worker.
    void Shutdown();

    int Channel() const;
    bool FetchBusy() const;
    bool PrefetchBusy() const;
    std::string RequestUrl() const;

private:
    void FetchWorker();
    void LikeWorker();
    void PrefetchWorker();
    // One playlist request with the values it was built from.
    struct Request {
        std::string url;
        std::string history;
        std::optional<std::string> sid;
        int channel = 1;
        PlaylistQuery Query(const std::string& userId, const std::string& expire,
                            const std::string& token) const;
    };
    Request PlaylistRequest(bool withHistory);
    // Reports a request's result unless a channel switch or Shutdown came meanwhile.
    void Report(std::uint64_t generation, SongList::Appended result);

    Listener* const listener;
    SongList& songs;
    const std::string userId, token, expire;
    const std::string serviceBase;
    const WorkFolder work;
    std::atomic<bool> cancel_{false};
    WebClient web;
    std::atomic<bool> fetchCancel_{false}; // raised by a channel switch and by Shutdown
    WebClient fetchWeb;                    // the fetch worker's transfers

    mutable std::mutex lock; // guards the fields down to aid
    bool fetchBusy = false;
    bool prefetchBusy = false;
    bool stopping = false;
    int channel = 1;
    std::optional<std::string> sid; // none until the first like: sent as "(null)"
    std::optional<std::string> aid;

    mutable std::mutex historyLock; // guards history and requestUrl
    std::string history;
    std::string requestUrl;

    WorkerGroup fetchThreads, likeThreads, prefetchThreads;
};
