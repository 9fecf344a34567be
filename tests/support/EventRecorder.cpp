#include "tests/support/EventRecorder.h"

void EventRecorder::Add(Event event) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(std::move(event));
    }
    arrived_.notify_all();
}

void EventRecorder::OnPlaylist(std::uint64_t generation, SongList::Appended result) {
    Add({kPlaylist, {}, generation, std::move(result)});
}

void EventRecorder::OnPrefetchPassDone() {
    Add({kPrefetchPassDone, {}, 0, {}});
}

void EventRecorder::OnSongStarting(NowPlayingInfo song) {
    if (NowPlayingMedia* m = media)
        m->Fetch(song);
    Add({kSongStarting, std::move(song), 0, {}});
}

void EventRecorder::OnEndOfList(NowPlayingInfo last) {
    Add({kEndOfList, std::move(last), 0, {}});
}

void EventRecorder::OnDecoderFailure() {
    Add({kDecoderFailure, {}, 0, {}});
}

void EventRecorder::OnCoverReady(NowPlayingInfo song) {
    Add({kCoverReady, std::move(song), 0, {}});
}

void EventRecorder::OnLyricsState(NowPlayingInfo song, bool found) {
    Add({found ? kLyricsFound : kLyricsBegun, std::move(song), 0, {}});
}

std::vector<EventRecorder::Event> EventRecorder::Events(Kind kind) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Event> out;
    for (const Event& e : events_)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

int EventRecorder::Count(Kind kind) const {
    return static_cast<int>(Events(kind).size());
}

std::vector<int> EventRecorder::Indexes(Kind kind) const {
    std::vector<int> out;
    for (const Event& e : Events(kind))
        out.push_back(e.song.index);
    return out;
}

int EventRecorder::SongsAppended() const {
    int n = 0;
    for (const Event& e : Events(kPlaylist))
        n += static_cast<int>(e.playlist.songs.size());
    return n;
}

int EventRecorder::EmptyPlaylists() const {
    int n = 0;
    for (const Event& e : Events(kPlaylist))
        n += e.playlist.songs.empty();
    return n;
}

bool EventRecorder::WaitFor(Kind kind, int n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, timeout, [&] {
        int count = 0;
        for (const Event& e : events_)
            count += e.kind == kind;
        return count >= n;
    });
}

void EventRecorder::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
}
