#include <gtest/gtest.h>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kInfo = 0x1FF00000;

struct InfoRun : SimulatedBurn {
    InfoRun() {
        g_bInfoBlockEnable = 0;
        g_nRdpLevel = 1;
        g_nPcropType = 0;
        g_dwProtectAddr = 0x3000;
        // Two targets with different security words, and stale option words to be erased.
        populate({1, 2});
        adapter.site(1).write(kInfo, std::vector<uint8_t>(16, 0x11));
        adapter.site(2).write(kInfo, std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
        for (int site : {1, 2}) adapter.site(site).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
    }
    ~InfoRun() { g_bInfoBlockEnable = 0; }

    void run(RecordingPage& page) {
        ProgramInfoBlockThread(page);
        EXPECT_FALSE(g_bTaskWorking);
    }
};

TEST(ProgramInfoBlock, KeepsEachTargetsFirstWordsAndErasesTheRest) {
    InfoRun bench;
    RecordingPage page;
    bench.run(page);

    EXPECT_EQ(bench.adapter.site(1).read(kInfo, 16), std::vector<uint8_t>(16, 0x11));
    EXPECT_EQ(bench.adapter.site(2).read(kInfo, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(bench.adapter.site(2).read(kInfo + 0x10, 1008), std::vector<uint8_t>(1008, 0xFF));
    EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
    EXPECT_EQ(bench.storedCounters(), (Counters{0, 0, 0}));  // counted in memory only
    EXPECT_EQ(page.icons[1104], 150);
    EXPECT_EQ(page.icons[1103], 152);
    EXPECT_EQ(page.icons[1114], 168);
    EXPECT_TRUE(page.shown[1149]);
    EXPECT_TRUE(page.logLinesWith("Failure").empty());
    // Sites without a target were powered off by the scan; found sites stay powered.
    EXPECT_FALSE(bench.adapter.site(0).powered());
    EXPECT_TRUE(bench.adapter.site(1).powered());
    EXPECT_TRUE(bench.services.tones().empty());
}

TEST(ProgramInfoBlock, WritesTheOptionWordsWhenEnabled) {
    InfoRun bench;
    g_bInfoBlockEnable = 1;
    RecordingPage page;
    bench.run(page);

    for (int site : {1, 2}) {
        EXPECT_EQ(bench.adapter.site(site).word(kInfo + 0x10), 0xFE5501AAu);
        EXPECT_EQ(bench.adapter.site(site).word(kInfo + 0x14), 0xFFFFFFFFu);
        EXPECT_EQ(bench.adapter.site(site).word(kInfo + 0x18), 0x0007FFF8u);
    }
    EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
}

// When the security words cannot be read the block is not erased: they would be lost.
TEST(ProgramInfoBlock, LeavesABlockWhoseFirstWordsCannotBeReadUnerased) {
    InfoRun probe;
    RecordingPage probePage;
    probe.run(probePage);
    const int keptRead = FirstGetAfterSetOf(probe.adapter, 0x0B);

    InfoRun bench;
    bench.adapter.failGetAt(keptRead);
    RecordingPage page;
    bench.run(page);

    EXPECT_EQ(bench.adapter.site(1).read(kInfo, 24),
              (std::vector<uint8_t>{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                    0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
    EXPECT_EQ(page.icons[1104], 151);
    EXPECT_EQ(page.icons[1105], 150);
}

TEST(ProgramInfoBlock, LogsEachDifferingBlock) {
    InfoRun bench;
    bench.adapter.site(2).stickBits(kInfo + 0x45, 0x01, 0x00);
    bench.adapter.site(2).stickBits(kInfo + 0x3FF, 0x80, 0x00);
    RecordingPage page;
    bench.run(page);

    EXPECT_EQ(page.logLinesWith("Verified information block Failure at 0x"),
              (std::vector<std::string>{"Verified information block Failure at 0x40!!!",
                                        "Verified information block Failure at 0x3e0!!!"}));
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
}

}  // namespace
