#pragma once
#include "service/SongRecord.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The song queue of one session, appended to in reply order until a channel switch clears it.
// A song's index is its position. Every operation takes the list's own lock and hands out copies.
// A reply adds at most kMaxReplySongs songs (its first ones) and the list holds at most kMaxSongs:
// a full list refuses further songs (indexes never move), so the player waits at its end until a
// channel switch.
//
// Each Clear starts a new generation. Work begun on an older one (a reply asked for before a
// channel switch, a prefetch pass or a song claimed from the old songs) names its generation, and
// finds its appends and status changes refused: one mechanism for every "the list was cleared".
class SongList {
public:
    static constexpr std::size_t kInitialCapacity = 50;
    static constexpr std::size_t kMaxReplySongs = 500;
    static constexpr std::size_t kMaxSongs = 5000;

    // What one playlist reply did to the list.
    struct Appended {
        bool parsed = false;
        std::vector<SongRecord> songs; // copies of the songs appended, in order
        int count = 0;                 // songs in the list afterwards
        // Songs appended whose sid the list had not held since the last Clear: a reply with none
        // (empty, or repeating queued songs) brought nothing new.
        int fresh = 0;
    };

    static constexpr std::chrono::milliseconds kFailureSpacing{10'000};
    explicit SongList(std::chrono::milliseconds failureSpacing = kFailureSpacing);

    int Count() const;
    // A copy of record i, or an empty record (no texts, numbers 0) when i is out of range.
    SongRecord At(int i) const;
    // Parses a playlist reply and appends the songs kept by the rating filter as one block, so
    // the songs of two replies never interleave and a Clear lands before or after all of them.
    // False when the reply does not parse; copies of the songs appended go to appended.
    bool AppendFromReply(std::string_view text, std::vector<SongRecord>* appended = nullptr);
    // The same for a reply asked for in generation: once a Clear has come, none of it is
    // appended.
    Appended AppendFor(std::uint64_t generation, std::string_view text);
    std::uint64_t Generation() const;
    // Ignored when i is out of range.
    void SetStatus(int i, int status);
    // Empties the list (the capacity stays), starts a new generation and ends the player's claim.
    void Clear();
    std::size_t Capacity() const;

    // Who writes a song's music file. The player claims the song it opens and owns any file it
    // saves for it; the prefetch downloads only songs of status 0 that the player has not
    // claimed, and its result never replaces the player's status 3. Each call checks that
    // record i still is the song sid of generation, so a call about a list that was cleared
    // meanwhile does nothing.

    // The player is about to open song i: claims it until EndPlay and returns its status, or -1
    // when record i is not the song sid.
    int BeginPlay(int i, std::string_view sid, std::uint64_t generation);
    // Status 3 for the song the player claimed.
    void MarkPlayed(int i, std::string_view sid, std::uint64_t generation);
    // The player has left song i (its stream is freed).
    void EndPlay(int i);
    // The prefetch may download song i: status 0 becomes 1. False when the song is claimed by
    // the player or not at status 0.
    bool BeginDownload(int i, std::string_view sid, std::uint64_t generation);
    // The prefetch's download of song i has ended: status 1 becomes 2 (ok) or 0; any other
    // status stays.
    void EndDownload(int i, std::string_view sid, std::uint64_t generation, bool ok);

    // A song whose download went over its cap or failed kMaxFailures times is not downloaded
    // again in this run (a Clear keeps the mark): the prefetch leaves it and the player passes
    // over it.
    static constexpr int kMaxFailures = 3;
    void MarkFailed(std::string_view sid);
    // The end of a download of sid. A complete one clears the song's failures. A failed one (the
    // server answered with an error, or the transfer broke) counts unless the song's last
    // counted one came less than failureSpacing before, so that a short outage fails no song:
    // true when it makes the song failed.
    bool CountDownload(std::string_view sid, bool ok);
    bool Failed(std::string_view sid) const;
    bool AnyFailed() const;

private:
    // Appends a reply's songs unless generation is given and a Clear came after it.
    Appended Append(std::string_view text, const std::uint64_t* generation, bool copies);
    // Record i when it exists and is the song sid of generation; lock_ held.
    SongRecord* FindLocked(int i, std::string_view sid, std::uint64_t generation);

    mutable std::mutex lock_; // guards the fields below
    std::vector<SongRecord> records_;
    std::uint64_t generation_ = 0; // Clears so far
    int playing_ = -1;             // the song the player has claimed since the last Clear; -1 none
    std::unordered_set<std::string> sids_; // of records_
    std::set<std::string, std::less<>> failed_;
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    std::map<std::string, Failures, std::less<>> failures_; // of songs not failed (yet)
    const std::chrono::milliseconds failureSpacing_;
};
