#include "playback/NowPlayingMedia.h"

#include "lyrics/LrcSearcher.h"
#include "platform/Log.h"
#include "service/CachePath.h"
#include "service/WebClient.h"

#include <filesystem>
#include <system_error>

NowPlayingMedia::NowPlayingMedia(Listener& listener_, Options options_, WorkFolder work_)
    : listener(listener_), options(std::move(options_)), work(std::move(work_)) {
    for (Worker& worker : workers) {
        try {
            worker.thread = std::thread(&NowPlayingMedia::Run, this, std::ref(worker));
        } catch (const std::system_error& e) {
            Log(Log::kPlayer) << "media worker not started: " << e.what();
        }
    }
}

NowPlayingMedia::~NowPlayingMedia() {
    Shutdown();
}

void NowPlayingMedia::Fetch(const NowPlayingInfo& song) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stopping ||
            (current != 0 && song.generation == songGeneration && song.playId == songPlayId))
            return;
        ++current;
        songGeneration = song.generation;
        songPlayId = song.playId;
        jobs.clear(); // all stale now
        for (Worker& worker : workers)
            if (worker.request != 0)
                worker.cancel = true;
        jobs.push_back({current, Kind::kCover, song});
        jobs.push_back({current, Kind::kLyrics, song});
    }
    wake.notify_all();
}

void NowPlayingMedia::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        jobs.clear();
        for (Worker& worker : workers)
            worker.cancel = true;
    }
    wake.notify_all();
    for (Worker& worker : workers)
        if (worker.thread.joinable())
            worker.thread.join();
}

void NowPlayingMedia::Run(Worker& worker) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock);
            worker.request = 0;
            wake.wait(guard, [&] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
            worker.request = job.request;
            worker.cancel = false;
        }
        if (job.kind == Kind::kCover)
            FetchCover(job, worker.cancel);
        else
            FetchLyrics(job, worker.cancel);
    }
}

void NowPlayingMedia::FetchCover(const Job& job, const std::atomic<bool>& cancel) {
    const auto path = work.Cache(kCacheAlbum, job.song.sid);
    if (!path)
        return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(*path, error)) {
        WebClient::Options web = WebClient::DefaultOptions();
        web.cancel = &cancel;
        web.totalTimeoutMs = kCoverTimeoutMs;
        // WebClient logs a failed transfer with its reason.
        if (WebClient(web).Download(job.song.picture, job.song.sid, kCacheAlbum) != kDownloadOk)
            return;
    }
    if (IsCurrent(job.request))
        listener.OnCoverReady(job.song);
}

void NowPlayingMedia::FetchLyrics(const Job& job, const std::atomic<bool>& cancel) {
    if (!IsCurrent(job.request))
        return;
    const NowPlayingInfo& song = job.song;
    listener.OnLyricsState(song, false);
    const bool found = options.lyrics ? options.lyrics(song.title, song.artist, song.sid, &cancel)
                                      : LrcSearcher(options.lyricsFirstBase,
                                                    options.lyricsSecondBase, &cancel, work)
                                            .FindLyrics(song.title, song.artist, song.sid);
    if (found && IsCurrent(job.request))
        listener.OnLyricsState(song, true);
}

bool NowPlayingMedia::IsCurrent(std::uint64_t request) const {
    std::lock_guard<std::mutex> guard(lock);
    return !stopping && request == current;
}
