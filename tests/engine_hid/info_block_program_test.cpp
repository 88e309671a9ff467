#include <gtest/gtest.h>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kInfo = 0x1FF00000;
const std::vector<uint8_t> kSite3Head = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// Two targets with different security words, and stale option words to be erased.
struct InfoRun : SimulatedBurn {
    InfoRun() {
        g_bInfoBlockEnable = 0;
        g_nRdpLevel = 1;
        g_nPcropType = 0;
        g_dwProtectAddr = 0x3000;
        populate({1, 2});
        adapter.site(1).write(kInfo, std::vector<uint8_t>(16, 0x11));
        adapter.site(2).write(kInfo, kSite3Head);
        for (int site : {1, 2}) adapter.site(site).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
    }
    ~InfoRun() { g_bInfoBlockEnable = 0; }

    void run() {
        ProgramInfoBlockThread(page);
        EXPECT_FALSE(g_bTaskWorking);
    }
    RecordingPage page;
};

// Each target keeps its own first 16 bytes; the rest of the block is erased, then holds the
// option words when they are enabled. Counted in memory only.
TEST(ProgramInfoBlock, KeepsEachTargetsFirstWordsAndRewritesTheRest) {
    for (uint32_t enabled : {0u, 1u}) {
        SCOPED_TRACE(enabled);
        InfoRun bench;
        g_bInfoBlockEnable = enabled;
        bench.run();

        EXPECT_EQ(bench.adapter.site(1).read(kInfo, 16), std::vector<uint8_t>(16, 0x11));
        EXPECT_EQ(bench.adapter.site(2).read(kInfo, 16), kSite3Head);
        for (int site : {1, 2}) {
            const std::vector<uint32_t> words = {bench.adapter.site(site).word(kInfo + 0x10),
                                                 bench.adapter.site(site).word(kInfo + 0x14),
                                                 bench.adapter.site(site).word(kInfo + 0x18)};
            EXPECT_EQ(words, (enabled ? std::vector<uint32_t>{0xFE5501AA, 0xFFFFFFFF, 0x0007FFF8}
                                      : std::vector<uint32_t>(3, 0xFFFFFFFF)));
        }
        const size_t erasedFrom = enabled ? 0x74 : 0x1C;  // past the 25 option words, or the first 3
        EXPECT_EQ(bench.adapter.site(2).read(kInfo + erasedFrom, 1024 - erasedFrom),
                  std::vector<uint8_t>(1024 - erasedFrom, 0xFF));
        EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
        EXPECT_EQ(bench.storedCounters(), (Counters{0, 0, 0}));
        EXPECT_EQ(bench.page.icons[1103], 152);
        EXPECT_TRUE(bench.services.tones().empty());
    }
}

// When the security words cannot be read the block is not erased: they would be lost.
TEST(ProgramInfoBlock, LeavesABlockWhoseFirstWordsCannotBeReadUnerased) {
    InfoRun probe;
    probe.run();
    InfoRun bench;
    bench.adapter.failGetAt(FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x0B));
    bench.run();

    std::vector<uint8_t> unchanged(16, 0x11);
    unchanged.resize(24, 0x00);
    EXPECT_EQ(bench.adapter.site(1).read(kInfo, 24), unchanged);
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
    EXPECT_EQ(bench.page.icons[1104], 151);
}

TEST(ProgramInfoBlock, LogsEachDifferingBlock) {
    InfoRun bench;
    bench.adapter.site(2).stickBits(kInfo + 0x45, 0x01, 0x00);
    bench.adapter.site(2).stickBits(kInfo + 0x3FF, 0x80, 0x00);
    bench.run();

    EXPECT_EQ(bench.page.logLinesWith("Verified information block Failure at 0x"),
              (std::vector<std::string>{"Verified information block Failure at 0x40!!!",
                                        "Verified information block Failure at 0x3e0!!!"}));
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
}

}  // namespace
