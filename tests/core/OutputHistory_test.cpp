#include "platform/audio/OutputHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(OutputHistory, RewoundFramesComeBackOldestFirst) {
    const struct Case {
        const char* name;
        size_t recorded; // frames 0, 1, 2, ... recorded three at a time into room for eight
        size_t rewind;
        size_t pending;
        int firstBack; // the first frame Replay gives back
    } cases[] = {
        {"the newest three", 5, 3, 3, 2},
        {"more than was recorded", 5, 9, 5, 0},
        {"after the ring wrapped", 13, 6, 6, 7},
        {"more than it keeps: only what it keeps", 13, 20, 8, 5},
        {"nothing", 5, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputHistory history(8);
        for (int32_t frame = 0; frame < static_cast<int32_t>(c.recorded); frame += 3) {
            const int32_t f[6] = {frame, -frame, frame + 1, -frame - 1, frame + 2, -frame - 2};
            history.Record(f, std::min<size_t>(3, c.recorded - frame));
        }
        EXPECT_EQ(history.Rewind(c.rewind), c.pending);
        std::vector<int32_t> back(20 * 2);
        ASSERT_EQ(history.Replay(back.data(), 20), c.pending);
        for (size_t i = 0; i < c.pending; ++i) {
            EXPECT_EQ(back[2 * i], c.firstBack + static_cast<int32_t>(i));
            EXPECT_EQ(back[2 * i + 1], -back[2 * i]);
        }
        EXPECT_EQ(history.Pending(), 0u);
    }
}

TEST(OutputHistory, ReplayResumesWhereItStoppedAndRecordingEndsIt) {
    OutputHistory history(8);
    const int32_t frames[10] = {1, 1, 2, 2, 3, 3, 4, 4, 5, 5};
    history.Record(frames, 5);
    history.Rewind(4);
    int32_t back[4];
    ASSERT_EQ(history.Replay(back, 1), 1u);
    EXPECT_EQ(back[0], 2);
    EXPECT_EQ(history.Rewind(1), 4u); // a second cut before the first replay ended
    ASSERT_EQ(history.Replay(back, 2), 2u);
    EXPECT_EQ(back[0], 2);
    EXPECT_EQ(back[2], 3);
    history.Record(frames, 1); // new audio: what was not replayed is gone
    EXPECT_EQ(history.Pending(), 0u);
}

} // namespace
