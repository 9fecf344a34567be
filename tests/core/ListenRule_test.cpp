#include "scrobble/ListenRule.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class ManualClock : public ScrobbleClock {
public:
    std::int64_t SteadyMs() const override { return ms; }
    std::int64_t UtcSeconds() const override { return 1'700'000'000 + ms / 1000; }
    std::int64_t ms = 0;
};

// Plays a script against the rule, polling after every step, and gives the clock second at
// which the listen came (-1: none). Steps: +N (N seconds pass), P pause, R resume, LN length
// known (s), EN ended at N s, X left, S a new song starts.
std::int64_t CountedAt(std::int64_t lengthMs, const std::string& script) {
    ManualClock clock;
    ListenRule rule(clock);
    const ListenSong song{"Artist", "Title", "Album", lengthMs};
    rule.SongStarted(song);
    std::int64_t startMs = 0, countedAt = -1;
    int listens = 0;
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
        const std::int64_t n = step.size() > 1 ? std::stoll(step.substr(1)) : 0;
        std::optional<Listen> listen;
        const std::optional<std::int64_t> until = rule.MsUntilListen();
        switch (step[0]) {
        case '+':
            clock.ms += n * 1000;
            break;
        case 'P':
            rule.Paused();
            break;
        case 'R':
            rule.Resumed();
            break;
        case 'L':
            rule.LengthKnown(n * 1000);
            break;
        case 'E':
            listen = rule.SongEnded(n * 1000);
            break;
        case 'X':
            listen = rule.SongLeft();
            break;
        case 'S':
            rule.SongLeft();
            rule.SongStarted(song);
            startMs = clock.ms;
            break;
        }
        if (!listen)
            listen = rule.Poll();
        // The wake-up the scrobbler sets from MsUntilListen must not miss the moment.
        if (step[0] == '+' && until) {
            EXPECT_EQ(listen.has_value(), *until <= n * 1000) << script << " at " << step;
        }
        if (listen) {
            ++listens;
            countedAt = clock.ms / 1000;
            EXPECT_EQ(listen->listenedAt, 1'700'000'000 + startMs / 1000) << "start, not count";
            EXPECT_EQ(listen->track, "Title");
        }
    }
    EXPECT_LE(listens, 1) << script;
    return countedAt;
}

TEST(ListenRule, HeardTimeAgainstLength) {
    struct Case {
        std::int64_t lengthMs;
        const char* script;
        std::int64_t countedAt;
    } cases[] = {
        {180'000, "+89 X", -1},
        {180'000, "+90 X", 90}, // half the song
        {180'001, "+90 X", 90}, // half rounds down
        {600'000, "+239 X", -1},
        {600'000, "+240 +300 X", 240},       // 4 minutes of a long song; once
        {180'000, "+60 P +600 R +29 X", -1}, // a pause does not count
        {180'000, "+60 P +600 R +30", 690},
        {180'000, "+89 P +100 X", -1},
        {180'000, "+60 P P R R +30", 90}, // repeated pauses and resumes change nothing
        {0, "+200 X", -1},                // length unknown: 4 minutes needed
        {0, "+240", 240},
        {0, "L180 +90", 90}, // the length learned after the start
        {0, "+10 E170", -1}, // seeked forward to the end: 10 s heard of 170
        {0, "+85 E170", 85}, // the end position stands in for the unknown length
        {180'000, "+10 E180", -1},
        {180'000, "+30 S +60 X", -1}, // the first song left early, the second too
        {180'000, "+30 S +90", 120},  // the second song counts, with its own start
        {180'000, "X +300", -1},      // left songs count no more time
        {-5, "+240", 240},            // a nonsense length counts as unknown
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountedAt(c.lengthMs, c.script), c.countedAt) << c.lengthMs << " " << c.script;
}

} // namespace
