#pragma once
#include "service/SongRecord.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
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
    // Parses a playlist reply and appends each song kept by the rating filter, sending
    // msg::kSongAppended (wParam: const SongRecord*, a copy valid during the call) after each
    // append and then msg::kPlaylistArrived with the count when the list is not empty. False when
    // the reply does not parse. window may be null.
    bool AppendFromReply(std::string_view text, NotifyTarget* window);
    // The same for a reply asked for when ClearCount() was `since`: a reply to a request made
    // before a Clear belongs to what was cleared, so once a Clear has come nothing more of it is
    // appended and no msg::kPlaylistArrived follows. The songs appended, -1 when the reply does
    // not parse.
    int AppendFromReplySince(std::string_view text, NotifyTarget* window, std::uint64_t since);
    // How many times the list has been cleared.
    std::uint64_t ClearCount() const;
    // Ignored while the cleared flag is raised or when i is out of range.
    void SetStatus(int i, int status);
    // Empties the list (the capacity stays) and raises the cleared flag.
    void Clear();
    void ResetClearedFlag();
    std::size_t Capacity() const;

private:
    mutable std::mutex lock_; // guards records_, cleared_ and clears_
    std::vector<SongRecord> records_;
    bool cleared_ = false;
    std::uint64_t clears_ = 0;
};
