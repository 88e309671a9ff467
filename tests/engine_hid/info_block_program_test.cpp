#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
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
};

// A block whose security words cannot be read is left unerased (they would be lost); a block
// that reads back wrong, or cannot be read back, is logged by its 32-byte blocks. Either way
// that part fails.
TEST(ProgramInfoBlock, FailsAPartItCannotRewriteSafely) {
    InfoRun probe;
    probe.run(ProgramInfoBlockThread, {});
    const int keptRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x0B);
    const int verifyRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x07, kInfo);
    struct Case {
        const char* name;
        std::function<void(sim::Adapter&)> fault;
        int failedSite;
        bool erased;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"kept words unreadable", [&](sim::Adapter& a) { a.failGetAt(keptRead); }, 1, false, {}},
        {"read-back fails", [&](sim::Adapter& a) { a.failGetAt(verifyRead); }, 1, true,
         {"Verified information block Failure at 0x0!!!"}},
        {"stuck bits",
         [](sim::Adapter& a) {
             a.site(2).stickBits(kInfo + 0x45, 0x01, 0x00);
             a.site(2).stickBits(kInfo + 0x3FF, 0x80, 0x00);
         },
         2, true, {"Verified information block Failure at 0x40!!!", "Verified information block Failure at 0x3e0!!!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InfoRun bench;
        c.fault(bench.adapter);
        bench.run(ProgramInfoBlockThread, {});
        EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
        EXPECT_EQ(bench.page.icons[1103 + c.failedSite], 151);
        EXPECT_EQ(bench.page.logLinesWith("Verified information block Failure at 0x"), c.log);
        // The stale option words stay only where the block was not erased.
        EXPECT_EQ(bench.adapter.site(c.failedSite).read(kInfo + 0x10, 8), std::vector<uint8_t>(8, c.erased ? 0xFF : 0x00));
    }
}

}  // namespace
