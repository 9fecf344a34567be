#pragma once
#include "playback/CAudioPlayer.h"
#include "playback/NowPlayingMedia.h"
#include "service/RadioClient.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// Stands in for the window: records every report of the workers, on the reporting thread, with
// the values it carried. Like the window, it asks media (when set) for each starting song's
// cover and lyrics.
class EventRecorder : public RadioClient::Listener,
                      public CAudioPlayer::Listener,
                      public NowPlayingMedia::Listener {
public:
    enum Kind {
        kPlaylist,
        kPrefetchPassDone,
        kSongStarting,
        kEndOfList,
        kDecoderFailure,
        kCoverReady,
        kLyricsBegun,
        kLyricsFound,
    };
    struct Event {
        Kind kind;
        NowPlayingInfo song;
        std::uint64_t generation = 0;
        SongList::Appended playlist;
    };

    void OnPlaylist(std::uint64_t generation, SongList::Appended result) override;
    void OnPrefetchPassDone() override;
    void OnSongStarting(NowPlayingInfo song) override;
    void OnEndOfList(NowPlayingInfo last) override;
    void OnDecoderFailure() override;
    void OnCoverReady(NowPlayingInfo song) override;
    void OnLyricsState(NowPlayingInfo song, bool found) override;

    std::vector<Event> Events(Kind kind) const;
    int Count(Kind kind) const;
    // The song index of each event of that kind.
    std::vector<int> Indexes(Kind kind) const;
    // Songs the playlist events brought, and playlist events that brought none.
    int SongsAppended() const;
    int EmptyPlaylists() const;
    // Waits until at least n events of that kind came; false on time-out.
    bool WaitFor(Kind kind, int n, std::chrono::milliseconds timeout) const;
    void Clear();

    std::atomic<NowPlayingMedia*> media{nullptr};

private:
    void Add(Event event);

    mutable std::mutex lock_; // guards events_
    mutable std::condition_variable arrived_;
    std::vector<Event> events_;
};
