#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

void Verify(SimulatedBurn& bench, RecordingPage& page, const std::vector<uint8_t>& image) {
    page.image = bench.writeImage(image);
    SiteVerifyThread(page);
    EXPECT_FALSE(g_bTaskWorking);
}

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
    RecordingPage page;
    Verify(bench, page, image);

    EXPECT_EQ(bench.counters(), (Counters{10, 9, 1}));
    EXPECT_EQ(bench.storedCounters(), (Counters{0, 0, 0}));
    EXPECT_EQ(page.texts[1121], "90.00%");
    EXPECT_EQ(page.icons[1104], 151);
    EXPECT_EQ(page.icons[1106], 150);
    const std::vector<uint8_t> readOnly = {0x0E, 0x0F, 0x3A, 0x39, 0x00, 0x03, 0x0B};
    for (uint8_t command : bench.adapter.sentCommands()) {
        EXPECT_NE(std::find(readOnly.begin(), readOnly.end(), command), readOnly.end()) << int(command);
    }
    EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
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
        EXPECT_TRUE(upper > 0 && upper < 255) << upper;
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
    const int prepareSet = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Set, 0x03);
    const int firstRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x0B);

    struct Case {
        const char* name;
        std::function<void(sim::Adapter&)> fault;
        Counters expected;
    };
    const std::vector<Case> cases = {
        {"prepare fails", [&](sim::Adapter& a) { a.failSetAt(prepareSet); }, {1, 0, 1}},
        {"one read fails", [&](sim::Adapter& a) { a.failGetAt(firstRead); }, {1, 1, 0}},
        {"two reads fail", [&](sim::Adapter& a) { a.failGetAt(firstRead), a.failGetAt(firstRead + 2); }, {1, 0, 1}},
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
