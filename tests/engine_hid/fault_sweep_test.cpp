#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/simulated_burn.h"

namespace {

// One site, a tiny image: every set and every get of a run fails in turn. Whatever fails, the
// run ends with the busy flag clear, the part is counted at most once with Total = Pass + Fail,
// the burn saves what it counted, and no part passes without holding what it should. The
// verify run meets a part whose last byte differs, so it must never pass.
TEST(FaultSweep, EveryFailedExchangeEndsSoundly) {
    constexpr uint32_t kInfo = 0x1FF00000;
    const auto image = PatternImage(40);
    auto differing = image;
    differing.back() ^= 0x01;
    std::vector<uint8_t> infoBlock(1024, 0xFF);  // the kept words, the rest erased
    for (uint8_t i = 0; i < 16; ++i) infoBlock[i] = i + 1;
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        bool savesCounters;
        uint32_t passesClean;
        std::function<void(sim::Site)> prepare;
        std::function<bool(const sim::Site&)> partIsRight;
    };
    const std::vector<Case> cases = {
        {"burn", SiteProgramThread, true, 1, [](sim::Site) {},
         [&](const sim::Site& site) { return site.read(0x10000000, image.size()) == image; }},
        {"verify", SiteVerifyThread, false, 0, [&](sim::Site site) { site.write(0x10000000, differing); },
         [](const sim::Site&) { return false; }},
        {"information block", ProgramInfoBlockThread, false, 1,
         [&](sim::Site site) {
             g_bInfoBlockEnable = 0;
             site.write(kInfo, std::vector<uint8_t>(infoBlock.begin(), infoBlock.begin() + 16));
             site.write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
         },
         [&](const sim::Site& site) { return site.read(kInfo, 1024) == infoBlock; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = [&](int failSet, int failGet) {
            SimulatedBurn bench;
            bench.populate({0});
            c.prepare(bench.adapter.site(0));
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            bench.run(c.worker, image);

            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || c.partIsRight(bench.adapter.site(0)));
            EXPECT_EQ(bench.storedCounters(), c.savesCounters ? counted : Counters{});
            return std::tuple{bench.adapter.setCount(), bench.adapter.getCount(), counted.pass};
        };
        const auto [sets, gets, passed] = run(0, 0);
        ASSERT_EQ(passed, c.passesClean);
        for (int n = 1; n <= sets + gets; ++n) {
            SCOPED_TRACE(n <= sets ? "set " + std::to_string(n) : "get " + std::to_string(n - sets));
            run(n <= sets ? n : 0, n <= sets ? 0 : n - sets);
        }
    }
}

}  // namespace
