#include <gtest/gtest.h>

#include "app/globals.h"
#include "engine_com/gang_workers.h"
#include "support/simulated_gang.h"

// Every reply of a one-socket run dropped in turn: the run always ends, and a socket is only
// counted as passed when it holds the image.
TEST(GangFaultSweep, DroppingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(150);
    int replies = 0;
    {
        SimulatedGang gang;
        gang.populate({0});
        gang.run(GangProgramThread, image);
        for (const sim::LogEntry& entry : gang.board.log()) replies += entry.fromHost ? 0 : 1;
        ASSERT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
    }
    ASSERT_GT(replies, 40);
    for (int n = 1; n <= replies; ++n) {
        SCOPED_TRACE(n);
        SimulatedGang gang(10);
        gang.populate({0});
        gang.board.dropReplyNumber(n);
        gang.run(GangProgramThread, image);
        const Counters counted = gang.bench.counters();
        EXPECT_LE(counted.total, 1u);
        EXPECT_EQ(gang.bench.storedCounters(), counted);
        if (counted.pass == 1) {
            const auto flash = gang.board.target(0)->flash;
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
        }
    }
}
