#include <gtest/gtest.h>

#include "core/globals.h"
#include "engine_com/gang_workers.h"
#include "support/simulated_gang.h"

// Every reply of a one-socket run dropped in turn: the run always ends, and a socket is only
// counted as passed when it holds the image.
TEST(GangFaultSweep, DroppingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(150);
    int replies = 0;
    for (int n = 0; n == 0 || n <= replies; ++n) {
        SCOPED_TRACE(n);
        SimulatedGang gang;
        gang.populate({0});
        if (n > 0) gang.board.dropReplyNumber(n);
        gang.run(GangProgramThread, image);
        const Counters counted = gang.bench.counters();
        EXPECT_EQ(gang.bench.storedCounters(), counted);
        if (n == 0) {
            for (const sim::LogEntry& entry : gang.board.log()) replies += entry.fromHost ? 0 : 1;
            ASSERT_EQ(counted, (Counters{1, 1, 0}));
            ASSERT_GT(replies, 40);
        }
        EXPECT_LE(counted.total, 1u);
        EXPECT_TRUE(counted.pass == 0 || std::equal(image.begin(), image.end(), gang.board.target(0)->flash.begin()));
    }
}
