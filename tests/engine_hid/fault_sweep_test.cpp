#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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

// The same sweep over the verify-only run, against a part that differs from the image in its
// last byte, and over the information-block run: whatever exchange fails, the run ends with
// the busy flag clear, Total = Pass + Fail, and no part passes without holding what it should.
TEST(FaultSweep, EveryFailedExchangeOfAVerifyOrInformationBlockRunEndsSoundly) {
    constexpr uint32_t kInfo = 0x1FF00000;
    const auto image = PatternImage(64);
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> prepare;
        std::function<bool(SimulatedBurn&)> partIsRight;
    };
    const std::vector<uint8_t> kept = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<uint8_t> expectedBlock(1024, 0xFF);
    std::copy(kept.begin(), kept.end(), expectedBlock.begin());
    const std::vector<Case> cases = {
        {"verify", SiteVerifyThread,
         [&](SimulatedBurn& bench) {
             auto wrong = image;
             wrong.back() ^= 0x01;
             bench.preload(0, wrong);
         },
         [](SimulatedBurn&) { return false; }},
        {"information block", ProgramInfoBlockThread,
         [&](SimulatedBurn& bench) {
             g_bInfoBlockEnable = 0;
             bench.adapter.site(0).write(kInfo, kept);
             bench.adapter.site(0).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
         },
         [&](SimulatedBurn& bench) { return bench.adapter.site(0).read(kInfo, 1024) == expectedBlock; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int sets = 0, gets = 0;
        {
            SimulatedBurn clean;
            clean.populate({0});
            c.prepare(clean);
            RecordingPage page;
            page.image = clean.writeImage(image);
            c.worker(page);
            sets = clean.adapter.setCount();
            gets = clean.adapter.getCount();
        }
        for (bool failSet : {true, false}) {
            for (int n = 1; n <= (failSet ? sets : gets); ++n) {
                SCOPED_TRACE((failSet ? "set " : "get ") + std::to_string(n));
                SimulatedBurn bench;
                bench.populate({0});
                c.prepare(bench);
                if (failSet) {
                    bench.adapter.failSetAt(n);
                } else {
                    bench.adapter.failGetAt(n);
                }
                RecordingPage page;
                page.image = bench.writeImage(image);
                c.worker(page);

                ASSERT_FALSE(g_bTaskWorking);
                const Counters counted = bench.counters();
                ASSERT_EQ(counted.total, counted.pass + counted.fail);
                ASSERT_LE(counted.total, 1u);
                if (counted.pass == 1) {
                    ASSERT_TRUE(c.partIsRight(bench));
                }
            }
        }
    }
}

}  // namespace
