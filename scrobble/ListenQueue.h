#pragma once
#include "scrobble/Listen.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// The listens not yet accepted by the server, oldest first, kept in a file of one JSON line per
// listen so they survive a restart and a kill. Append and Remove change the memory only; Save
// writes the whole file afresh (temporary file, fsync, rename, fsync of the folder), so after a
// crash the file holds either the old or the new list, never a torn one. One process owns the
// file (the program runs once per user). Thread-safe.
class ListenQueue {
public:
    // Beyond this the oldest listen is dropped with a log line (weeks of listening offline).
    static constexpr std::size_t kMaxListens = 10'000;
    // A bigger file is no queue this program wrote: it is moved aside, not read.
    static constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

    struct Entry {
        std::uint64_t id = 0; // increasing in queue order
        Listen listen;
        std::string line; // as the file holds it
    };

    explicit ListenQueue(std::string path);

    // Reads the file; its listens go before those appended meanwhile (every id changes). A missing
    // file is an empty queue; lines that are no listen are dropped with a log line. A file that
    // cannot be read (or is too big) is renamed to path + ".unreadable", so no later Save
    // overwrites it, and the result is false.
    bool Load();
    // Gives the new entry's id.
    std::uint64_t Append(const Listen& listen);
    // Up to count of the oldest entries, of those with an id up to maxId.
    std::vector<Entry> Oldest(std::size_t count, std::uint64_t maxId = UINT64_MAX) const;
    // The id of the newest entry the last successful Save wrote (0: none).
    std::uint64_t SavedThroughId() const;
    // Removes the entries with these ids (those still there).
    void Remove(const std::vector<std::uint64_t>& ids);
    // Writes the file when the queue changed since the last save; false when that failed (the
    // queue stays in memory and the next Save tries again).
    bool Save();
    std::size_t Count() const;
    const std::string& Path() const { return path_; }

private:
    const std::string path_;

    // Lock order: fileLock_ before lock_.
    std::mutex fileLock_; // serialises Save; guards savedVersion_
    std::uint64_t savedVersion_ = 0;

    mutable std::mutex lock_; // guards the fields down to savedThroughId_
    std::deque<Entry> entries_;
    std::uint64_t nextId_ = 1;
    std::uint64_t version_ = 0; // counts changes
    std::uint64_t savedThroughId_ = 0;
};
