#pragma once
#include "scrobble/Listen.h"
#include "scrobble/ScrobbleClock.h"

#include <cstdint>
#include <optional>

// Decides when a song counts as heard: once it has played for half its length or for 4 minutes,
// whichever comes first. Time heard is time spent playing by the clock, not the position, so a
// pause adds nothing, a seek forward adds nothing and a seek back counts what is heard again;
// seeks need no event. Any stretch without sound (buffering) should be reported as a pause.
// A song left earlier is no listen. A listen counts once per start and carries the song's start
// time. Not thread-safe: its owner serialises the calls.
class ListenRule {
public:
    static constexpr std::int64_t kEnoughHeardMs = 4 * 60 * 1000;

    explicit ListenRule(const ScrobbleClock& clock);

    // A song starts playing; the one before is left. Gives its playing_now notice.
    Listen SongStarted(const ListenSong& song);
    // The length became known (or changed) after the start; 0 or less is ignored.
    void LengthKnown(std::int64_t lengthMs);
    void Paused();
    void Resumed();
    // The song left before its end (skip, stop, channel switch, close). Gives its listen when it
    // was heard enough by now and had not counted yet.
    std::optional<Listen> SongLeft();
    // The song played to its end at position endMs, which is its length when none was known.
    std::optional<Listen> SongEnded(std::int64_t endMs);
    // The listen, once, as soon as enough has been heard.
    std::optional<Listen> Poll();
    // The listen of the song that plays once it has counted; none before and once it is left.
    std::optional<Listen> CountedListen() const;
    // Milliseconds of playing still needed until Poll gives the listen; none when nothing is
    // playing or the song has counted.
    std::optional<std::int64_t> MsUntilListen() const;

private:
    std::int64_t HeardMs() const;
    std::int64_t NeededMs() const;
    std::optional<Listen> Check();

    const ScrobbleClock& clock_;
    bool active_ = false;  // a song is started and not left
    bool playing_ = false; // the clock counts
    bool counted_ = false;
    Listen listen_;
    std::int64_t heardMs_ = 0;        // up to playingSinceMs_
    std::int64_t playingSinceMs_ = 0; // when playing_
};
