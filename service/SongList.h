#pragma once
#include "service/SongRecord.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

class NotifyTarget;

// The song queue: one per process, appended to in reply order until a channel switch clears it.
// A song's index is its position. Every operation takes the list's own lock; messages to the
// window are sent only after it has been released, with copies of what the handler reads.
class SongList {
public:
    static constexpr std::size_t kInitialCapacity = 50;

    static SongList& Instance();
    SongList();

    int Count() const;
    // A copy of record i, or an empty record (no texts, numbers 0) when i is out of range.
    SongRecord At(int i) const;
    // Parses a playlist reply and appends the songs kept by the rating filter as one block, so
    // the songs of two replies never interleave and a Clear lands before or after all of them.
    // Then sends msg::kSongAppended for each (wParam: const SongRecord*, a copy valid during the
    // call) and msg::kPlaylistArrived with the count when the list is not empty. False when the
    // reply does not parse. window may be null.
    bool AppendFromReply(std::string_view text, NotifyTarget* window);
    // The same for a reply asked for when ClearCount() was `since`: a reply to a request made
    // before a Clear belongs to what was cleared, so once a Clear has come none of it is
    // appended and nothing is sent. The songs appended, -1 when the reply does not parse.
    int AppendFromReplySince(std::string_view text, NotifyTarget* window, std::uint64_t since);
    // How many times the list has been cleared.
    std::uint64_t ClearCount() const;
    // Ignored while the cleared flag is raised or when i is out of range.
    void SetStatus(int i, int status);
    // Empties the list (the capacity stays), raises the cleared flag and ends the player's claim.
    void Clear();
    void ResetClearedFlag();
    std::size_t Capacity() const;

    // Who writes a song's music file. The player claims the song it opens and owns any file it
    // saves for it; the prefetch downloads only songs of status 0 that the player has not
    // claimed, and its result never replaces the player's status 3. Each call checks that
    // record i still is the song sid, so a call about a list that was cleared meanwhile does
    // nothing.

    // The player is about to open song i: claims it until EndPlay and returns its status, or -1
    // when record i is not the song sid.
    int BeginPlay(int i, std::string_view sid);
    // Status 3 for the song the player claimed, also while the cleared flag is raised: the claim
    // was made after the Clear.
    void MarkPlayed(int i, std::string_view sid);
    // The player has left song i (its stream is freed).
    void EndPlay(int i);
    // The prefetch may download song i: status 0 becomes 1. False when the song is claimed by
    // the player, not at status 0, or the cleared flag is raised.
    bool BeginDownload(int i, std::string_view sid);
    // The prefetch's download of song i has ended: status 1 becomes 2 (ok) or 0; any other
    // status stays.
    void EndDownload(int i, std::string_view sid, bool ok);

private:
    // Appends a reply's songs unless since is given and a Clear came after it.
    int Append(std::string_view text, NotifyTarget* window, std::optional<std::uint64_t> since);
    // Record i when it exists and is the song sid; lock_ held.
    SongRecord* FindLocked(int i, std::string_view sid);

    mutable std::mutex lock_; // guards records_, cleared_, clears_ and playing_
    std::vector<SongRecord> records_;
    bool cleared_ = false;
    std::uint64_t clears_ = 0;
    int playing_ = -1; // the song the player has claimed since the last Clear; -1 none
};
