#include <gtest/gtest.h>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

// One site, a tiny image: every set and every get of the burn fails in turn. Whatever fails,
// the run ends, the busy flag is clear, every found part is counted once, and a part counted
// Pass holds the image.
TEST(FaultSweep, EveryFailedExchangeOfABurnEndsSoundly) {
    const auto image = PatternImage(40);
    int sets = 0, gets = 0;
    {
        SimulatedBurn clean;
        clean.populate({0});
        RecordingPage page;
        page.image = clean.writeImage(image);
        SiteProgramThread(page);
        sets = clean.adapter.setCount();
        gets = clean.adapter.getCount();
        ASSERT_EQ(clean.counters(), (Counters{1, 1, 0}));
    }
    ASSERT_GT(sets, 90);

    for (bool failSet : {true, false}) {
        for (int n = 1; n <= (failSet ? sets : gets); ++n) {
            SCOPED_TRACE((failSet ? "set " : "get ") + std::to_string(n));
            SimulatedBurn bench;
            bench.populate({0});
            if (failSet) {
                bench.adapter.failSetAt(n);
            } else {
                bench.adapter.failGetAt(n);
            }
            RecordingPage page;
            page.image = bench.writeImage(image);
            SiteProgramThread(page);

            ASSERT_FALSE(g_bTaskWorking);
            const Counters c = bench.counters();
            ASSERT_EQ(c.total, c.pass + c.fail);
            ASSERT_LE(c.total, 1u);
            if (c.pass == 1) {
                ASSERT_EQ(bench.adapter.site(0).read(0x10000000, image.size()), image);
            }
            ASSERT_EQ(bench.storedCounters(), c);
            ASSERT_EQ(page.icons[1114], 168);
        }
    }
}

}  // namespace
