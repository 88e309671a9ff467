#include <gtest/gtest.h>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

using Tone = RecordingServices::Tone;

void Verify(SimulatedBurn& bench, RecordingPage& page, const std::vector<uint8_t>& image) {
    page.image = bench.writeImage(image);
    SiteVerifyThread(page);
    EXPECT_FALSE(g_bTaskWorking);
}

// Compares only: the targets keep their flash, nothing is erased or written, and the counters
// change in memory and on the page but not in the store.
TEST(SiteVerify, ComparesWithoutWritingOrSavingCounters) {
    SimulatedBurn bench;
    const auto image = PatternImage(3000);
    bench.populate({0, 1, 3});
    bench.preload(0, image);
    bench.preload(3, image);
    auto wrong = image;
    wrong[2999] ^= 0x01;
    bench.preload(1, wrong);
    g_nTotalCount = 7;
    g_nPassCount = 7;
    RecordingPage page;
    Verify(bench, page, image);

    EXPECT_EQ(bench.counters(), (Counters{10, 9, 1}));
    EXPECT_EQ(bench.storedCounters(), (Counters{0, 0, 0}));
    EXPECT_EQ(page.texts[1118], "10");
    EXPECT_EQ(page.texts[1121], "90.00%");
    EXPECT_EQ(page.icons[1114], 170);
    EXPECT_EQ(page.icons[1104], 151);
    EXPECT_EQ(page.icons[1106], 150);
    for (uint8_t command : bench.adapter.sentCommands()) {
        EXPECT_TRUE(command == 0x0E || command == 0x0F || command == 0x3A || command == 0x39 ||
                    command == 0x00 || command == 0x03 || command == 0x0B)
            << int(command);
    }
    EXPECT_EQ(bench.adapter.site(1).read(0x10000000, 3000), wrong);
    EXPECT_EQ(page.shown.count(1143), 0u);  // the protection group is not touched
    EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{{800, 100}, {800, 100}}));
    EXPECT_EQ(page.logLinesWith("Verify elapsed time : ").size(), 1u);
}

// The bar's range stays below 255 and its end is reached with the last site.
TEST(SiteVerify, ProgressReachesItsEndWithTheLastSite) {
    for (size_t size : {100u, 2048u, 40000u, 65536u}) {
        SCOPED_TRACE(size);
        SimulatedBurn bench;
        const auto image = PatternImage(size);
        for (int site = 0; site < 4; ++site) bench.preload(site, image);
        RecordingPage page;
        Verify(bench, page, image);

        const int upper = page.ranges.back().second;
        EXPECT_LT(upper, 255);
        EXPECT_GT(upper, 0);
        EXPECT_EQ(page.positions[page.positions.size() - 2], upper);  // before the reset to 0
        EXPECT_TRUE(std::is_sorted(page.positions.begin() + 2, page.positions.end() - 1));
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
    }
}

// A site that could not be prepared was never compared and does not pass; a failed read is
// retried once after a reconnect before the part fails.
TEST(SiteVerify, CountsAnUncomparedOrUnreadablePartAsFail) {
    const auto image = PatternImage(64);
    SimulatedBurn probe;
    probe.populate({0});
    RecordingPage probePage;
    Verify(probe, probePage, image);
    const int prepareSet = FirstSetOf(probe.adapter, 0x03);
    const int firstReadGet = FirstGetAfterSetOf(probe.adapter, 0x0B);

    struct Case {
        const char* name;
        std::function<void(sim::Adapter&)> fault;
        Counters expected;
    };
    const std::vector<Case> cases = {
        {"prepare fails", [&](sim::Adapter& a) { a.failSetAt(prepareSet); }, {1, 0, 1}},
        {"one read fails", [&](sim::Adapter& a) { a.failGetAt(firstReadGet); }, {1, 1, 0}},
        {"two reads fail", [&](sim::Adapter& a) { a.failGetAt(firstReadGet); a.failGetAt(firstReadGet + 2); },
         {1, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0});
        bench.preload(0, image);
        c.fault(bench.adapter);
        RecordingPage page;
        Verify(bench, page, image);
        EXPECT_EQ(bench.counters(), c.expected);
    }
}

}  // namespace
