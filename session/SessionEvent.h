#pragma once
#include "playback/NowPlayingInfo.h"
#include "service/SongRecord.h"

#include <string>
#include <vector>

// What the session tells its subscribers, as a copy; handled on the session's thread.
struct SessionEvent {
    enum class Kind {
        kStatus,          // the status (Snapshot().status, .notice) changed
        kSignedIn,        // the service accepted the account
        kSignInFailed,    // text: the service's reason, or "" when it gave none
        kSongsAdded,      // songs: appended to the queue
        kSongStarted,     // song: prepared and about to play
        kCoverArrived,    // song: its cover is in the cache
        kLyrics,          // song, found: its lyrics lookup began (false) or they are cached
        kLengthChanged,   // the playing song's length became known or exact
        kLiked,           // song.sid: the listener liked the playing song
        kDisliked,        // song.sid: kept out of playback for the rest of the run
        kPlaybackChanged, // Snapshot().playback or .playing may have changed
        kVolumeChanged,   // Snapshot().volume or .muted changed
        kSeeked,          // seconds: where the playing song was moved to
        kChannelChanged,  // Snapshot().channelId changed; the queue was emptied
    };
    Kind kind;
    NowPlayingInfo song;
    std::vector<SongRecord> songs;
    std::string text;
    double seconds = 0.0;
    bool found = false;
};
