#include "service/RadioClient.h"

#include "platform/Log.h"
#include "service/CachePath.h"
#include "service/ServiceRequests.h"
#include "service/SongList.h"

#include <filesystem>

RadioClient::RadioClient(Listener* listener_, std::string userId_, std::string token_,
                         std::string expire_, SongList& songs_, std::string serviceBase_,
                         WorkFolder work_)
    : listener(listener_), songs(songs_), userId(std::move(userId_)), token(std::move(token_)),
      expire(std::move(expire_)), serviceBase(std::move(serviceBase_)), work(std::move(work_)),
      web(&cancel_), fetchWeb(&fetchCancel_) {}

RadioClient::~RadioClient() {
    Shutdown();
}

void RadioClient::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        fetchCancel_ = true;
    }
    cancel_ = true;
    fetchThreads.JoinAll();
    likeThreads.JoinAll();
    prefetchThreads.JoinAll();
}

void RadioClient::SetChannel(int n) {
    {
        std::lock_guard<std::mutex> guard(lock);
        channel = n;
        // The old channel's reply is not wanted: end its transfer now rather than wait for it.
        if (fetchBusy)
            fetchCancel_ = true;
    }
    // Cleared after the channel changed: a request built before the Clear finds its reply
    // refused, one built after it asks for the new channel.
    songs.Clear();
    RequestMore();
}

void RadioClient::RequestMore() {
    std::lock_guard<std::mutex> guard(lock);
    if (fetchBusy || stopping)
        return;
    fetchBusy = true;
    if (!fetchThreads.Start([this] { FetchWorker(); }))
        fetchBusy = false;
}

bool RadioClient::Like(std::string sid_, std::string aid_) {
    std::lock_guard<std::mutex> guard(lock);
    sid = std::move(sid_);
    aid = std::move(aid_);
    if (!stopping)
        likeThreads.Start([this] { LikeWorker(); });
    return true;
}

std::string RadioClient::History() {
    return BuildHistory();
}

std::string RadioClient::BuildHistory() {
    std::string text;
    int count = songs.Count();
    for (int i = count - 1, n = 0; i >= 0 && n < kHistoryEntries; --i, ++n) {
        SongRecord song = songs.At(i);
        if (n > 0)
            text += '|';
        text += song.sid;
        text += song.status == 3 ? ":p" : ":s";
    }
    std::lock_guard<std::mutex> guard(historyLock);
    history = text;
    return text;
}

RadioClient::Request RadioClient::PlaylistRequest(bool withHistory) {
    Request r;
    r.history = BuildHistory();
    {
        std::lock_guard<std::mutex> guard(lock);
        r.sid = sid;
        r.channel = channel;
    }
    PlaylistQuery q = r.Query(userId, expire, token);
    // The history form is used whenever the list holds a song (its history is not empty).
    r.url = withHistory || !r.history.empty() ? PlaylistUrl(serviceBase, q, r.history)
                                              : PlaylistUrl(serviceBase, q);
    std::lock_guard<std::mutex> guard(historyLock);
    requestUrl = r.url;
    return r;
}

PlaylistQuery RadioClient::Request::Query(const std::string& userId, const std::string& expire,
                                          const std::string& token) const {
    PlaylistQuery q{userId, expire, token, std::nullopt, channel};
    if (sid)
        q.sid = *sid;
    return q;
}

void RadioClient::FetchWorker() {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping) {
                fetchBusy = false;
                return;
            }
            fetchCancel_ = false;
        }
        // Read before the request: a Clear after it (a channel switch) makes the reply unwanted.
        const std::uint64_t generation = songs.Generation();
        Request r = PlaylistRequest(false);
        SongList::Appended result;
        if (auto reply = fetchWeb.Get(r.url))
            result = songs.AppendFor(generation, *reply);
        {
            std::lock_guard<std::mutex> guard(lock);
            // A switch cleared the list or cancelled the transfer: ask for the new channel now.
            if (!stopping && (songs.Generation() != generation || fetchCancel_))
                continue;
            fetchBusy = false;
        }
        Report(generation, std::move(result));
        return;
    }
}

void RadioClient::LikeWorker() {
    const std::uint64_t generation = songs.Generation();
    Request r = PlaylistRequest(true);
    auto reply = web.Get(r.url);
    SongList::Appended result;
    if (reply) {
        result = songs.AppendFor(generation, *reply);
        // The report carries the same values as the request it follows.
        web.Get(LikeReportUrl(serviceBase, r.Query(userId, expire, token)));
    }
    Report(generation, std::move(result));
}

void RadioClient::Report(std::uint64_t generation, SongList::Appended result) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stopping)
            return;
    }
    if (listener && songs.Generation() == generation)
        listener->OnPlaylist(generation, std::move(result));
}

void RadioClient::StartPrefetch() {
    std::lock_guard<std::mutex> guard(lock);
    if (prefetchBusy || stopping)
        return;
    // Raised here rather than in the worker, so two calls close together start one pass.
    prefetchBusy = true;
    if (!prefetchThreads.Start([this] { PrefetchWorker(); }))
        prefetchBusy = false;
}

void RadioClient::PrefetchWorker() {
    std::uint64_t generation = songs.Generation();
    bool any = songs.Count() > 0;
    for (int i = 0; any && i < songs.Count(); ++i) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping)
                break;
        }
        // A channel switch: the pass starts again with the new channel's first song.
        if (const std::uint64_t now = songs.Generation(); now != generation) {
            generation = now;
            i = 0;
        }
        // Songs the player has claimed or played are its own: their files are never written
        // here, and their status 3 stays.
        SongRecord song = songs.At(i);
        if (song.status != 0 || !songs.BeginDownload(i, song.sid, generation))
            continue;
        // A sid the list holds twice is in the cache already after its first download.
        std::error_code error;
        const auto path = work.Cache(kCacheMusic, song.sid);
        const int result = path && std::filesystem::is_regular_file(*path, error)
                               ? kDownloadOk
                               : web.Download(song.url, song.sid, kCacheMusic, work);
        if (result == kDownloadTooLarge) {
            Log(Log::kNet) << "song " << song.sid << " is over its cap: not downloaded again";
            songs.MarkFailed(song.sid);
        } else if ((result == kDownloadOk || result == kDownloadHttpError ||
                    result == kDownloadReadFailed) &&
                   songs.CountDownload(song.sid, result == kDownloadOk)) {
            Log(Log::kNet) << "song " << song.sid << " failed " << SongList::kMaxFailures
                           << " times: not downloaded again";
        }
        songs.EndDownload(i, song.sid, generation, result == kDownloadOk);
    }
    bool stopped;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopped = stopping;
    }
    if (any && !stopped && listener)
        listener->OnPrefetchPassDone();
    std::lock_guard<std::mutex> guard(lock);
    prefetchBusy = false;
}

int RadioClient::Channel() const {
    std::lock_guard<std::mutex> guard(lock);
    return channel;
}

bool RadioClient::FetchBusy() const {
    std::lock_guard<std::mutex> guard(lock);
    return fetchBusy;
}

bool RadioClient::PrefetchBusy() const {
    std::lock_guard<std::mutex> guard(lock);
    return prefetchBusy;
}

std::string RadioClient::RequestUrl() const {
    std::lock_guard<std::mutex> guard(historyLock);
    return requestUrl;
}
