#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kInfo = 0x1FF00000;

// One site, a tiny image: every set and every get of a run fails in turn. Whatever fails, the
// run ends with the busy flag clear, the part is counted at most once with Total = Pass + Fail,
// the burn saves what it counted, and no part passes without holding what it should. The
// verify run meets a part whose last byte differs, so it never passes.
TEST(FaultSweep, EveryFailedExchangeEndsSoundly) {
    const auto image = PatternImage(40);
    const std::vector<uint8_t> kept = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<uint8_t> erasedBlock(1024, 0xFF);
    std::copy(kept.begin(), kept.end(), erasedBlock.begin());
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        bool savesCounters;
        uint32_t passesClean;
        std::function<void(SimulatedBurn&)> prepare;
        std::function<bool(SimulatedBurn&)> partIsRight;
    };
    const std::vector<Case> cases = {
        {"burn", SiteProgramThread, true, 1, [](SimulatedBurn&) {},
         [&](SimulatedBurn& bench) { return bench.adapter.site(0).read(0x10000000, image.size()) == image; }},
        {"verify", SiteVerifyThread, false, 0,
         [&](SimulatedBurn& bench) {
             auto wrong = image;
             wrong.back() ^= 0x01;
             bench.preload(0, wrong);
         },
         [](SimulatedBurn&) { return false; }},
        {"information block", ProgramInfoBlockThread, false, 1,
         [&](SimulatedBurn& bench) {
             g_bInfoBlockEnable = 0;
             bench.adapter.site(0).write(kInfo, kept);
             bench.adapter.site(0).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
         },
         [&](SimulatedBurn& bench) { return bench.adapter.site(0).read(kInfo, 1024) == erasedBlock; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        struct Run {
            int sets, gets;
            uint32_t passed;
        };
        const auto run = [&](int failSet, int failGet) {
            SimulatedBurn bench;
            bench.populate({0});
            c.prepare(bench);
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            RecordingPage page;
            page.image = bench.writeImage(image);
            c.worker(page);

            EXPECT_FALSE(g_bTaskWorking);
            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || c.partIsRight(bench));
            EXPECT_EQ(bench.storedCounters(), c.savesCounters ? counted : Counters{});
            return Run{bench.adapter.setCount(), bench.adapter.getCount(), counted.pass};
        };
        const Run clean = run(0, 0);
        ASSERT_EQ(clean.passed, c.passesClean);
        for (int n = 1; n <= clean.sets; ++n) {
            SCOPED_TRACE("set " + std::to_string(n));
            run(n, 0);
        }
        for (int n = 1; n <= clean.gets; ++n) {
            SCOPED_TRACE("get " + std::to_string(n));
            run(0, n);
        }
    }
}

}  // namespace
