#include <gtest/gtest.h>

#include <algorithm>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/simulated_burn.h"

namespace {

// Compares only: nothing is erased or written, and the counters change in memory and on the
// page but not in the store.
TEST(SiteVerify, ComparesWithoutWritingOrSavingCounters) {
    SimulatedBurn bench;
    const auto image = PatternImage(3000);
    bench.populate({0, 1, 3});
    auto wrong = image;
    wrong[2999] ^= 0x01;
    for (int site : {0, 3}) bench.preload(site, image);
    bench.preload(1, wrong);
    g_nTotalCount = g_nPassCount = 7;
    bench.run(SiteVerifyThread, image);

    EXPECT_EQ(bench.counters(), (Counters{10, 9, 1}));
    EXPECT_EQ(bench.storedCounters(), (Counters{0, 0, 0}));
    EXPECT_EQ(bench.page.icons[1104], 151);
    for (int site : {0, 1, 3}) EXPECT_EQ(bench.adapter.site(site).read(0x10000000, 3000), site == 1 ? wrong : image);
    EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
}

// The bar's range stays below 255 and its end is reached with the last site.
TEST(SiteVerify, ProgressReachesItsEndWithTheLastSite) {
    for (size_t size : {100u, 2048u, 40000u, 65536u}) {
        SCOPED_TRACE(size);
        SimulatedBurn bench;
        const auto image = PatternImage(size);
        for (int site = 0; site < 4; ++site) bench.preload(site, image);
        bench.run(SiteVerifyThread, image);

        const int upper = bench.page.ranges.back().second;
        EXPECT_TRUE(upper > 0 && upper < 255) << upper;
        EXPECT_EQ(bench.page.positions[bench.page.positions.size() - 2], upper);  // before the reset to 0
        EXPECT_TRUE(std::is_sorted(bench.page.positions.begin() + 2, bench.page.positions.end() - 1));
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
    }
}

}  // namespace
