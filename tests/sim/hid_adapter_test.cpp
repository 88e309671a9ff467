#include "sim/hid_adapter.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "link/hid_commands.h"
#include "support/simulated_adapter_fixture.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using SimulatedAdapter = SimulatedAdapterTest;

TEST_F(SimulatedAdapter, ProgrammingOnlyClearsBitsAndEachEraseClearsItsRegion) {
    powerSite(0);
    ASSERT_EQ(HidWriteWord(0x10000000, 0x0F0F0F0F), 1);
    ASSERT_EQ(HidWriteWord(0x10000000, 0xFFFF00FF), 1);
    EXPECT_EQ(adapter.site(0).word(0x10000000), 0x0F0F000Fu);

    struct Row {
        const char* name;
        int (*erase)(uint32_t);
        uint32_t address;
        std::vector<uint32_t> erased, kept;
    };
    const std::vector<Row> rows = {
        {"0x26 only latches the erase base", &HidCmdEraseAddr, 0x10000000, {}, {0x10000000, 0x10000800, 0x1FF00000}},
        {"0x27 erases all main flash", [](uint32_t) { return HidCmdErase27(); }, 0, {0x10000000, 0x1000FFFC}, {0x1FF00000, 0x1FF00400}},
        {"0x28 erases one information page", &HidCmdEraseInfo, 0x1FF00400, {0x1FF00400, 0x1FF007FC}, {0x1FF00000, 0x10000000}},
        {"0x28 erases one main page", &HidCmdEraseInfo, 0x10000C00, {0x10000800, 0x10000FFC}, {0x10000000, 0x10001000, 0x1FF00000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (uint32_t a : {0x10000000u, 0x10000800u, 0x10000FFCu, 0x10001000u, 0x1000FFFCu, 0x1FF00000u, 0x1FF00400u, 0x1FF007FCu})
            adapter.site(0).write(a, Bytes{0, 0, 0, 0});
        ASSERT_EQ(row.erase(row.address), 1);
        for (uint32_t a : row.erased) EXPECT_EQ(adapter.site(0).word(a), 0xFFFFFFFFu) << std::hex << a;
        for (uint32_t a : row.kept) EXPECT_EQ(adapter.site(0).word(a), 0u) << std::hex << a;
    }
}

TEST_F(SimulatedAdapter, OnlyAPresentPoweredTargetOfTheSelectedSiteAnswers) {
    adapter.site(1).write(0x1FF00000, Bytes{1, 2, 3, 4});
    ASSERT_EQ(HidSelectSocket(1), 1);
    Bytes word(4);
    EXPECT_EQ(HidConnectTarget(), kConnectNoTarget);  // not powered yet
    ASSERT_EQ(HidReadWord(0x1FF00000, word), 1);
    EXPECT_EQ(word, Bytes(4, 0xFF));
    ASSERT_EQ(HidSetSocketPower(1), 1);
    EXPECT_EQ(HidConnectTarget(), kConnectOk);
    ASSERT_EQ(HidReadWord(0x1FF00000, word), 1);
    EXPECT_EQ(word, (Bytes{1, 2, 3, 4}));
    ASSERT_EQ(HidSelectSocket(0), 1);
    ASSERT_EQ(HidReadWord(0x1FF00000, word), 1);
    EXPECT_EQ(word, Bytes(4, 0xFF));
    ASSERT_EQ(HidSelectSocket(1), 1);
    adapter.site(1).removeTarget();
    EXPECT_EQ(HidConnectTargetAlt(), kConnectNoTarget);
}

// What the adapter refuses: target memory before a connect since power-on, and information-area
// erases and writes without the controller's keys; an information-area write reaches the area
// only when the write enable follows it.
TEST_F(SimulatedAdapter, RefusesMemoryAccessWithoutConnectOrKeysAndCommitsOnWriteEnable) {
    constexpr uint32_t kParam = 0x1FF00600, kOption = 0x1FF00010;
    const auto enableWrite = [] { return HidWriteWord(0x40080004, 7); };
    struct Row {
        const char* name;
        std::function<void()> steps;
        uint32_t address;  // the word written with 0x12345678
        bool commit;       // FlashEnableWrite's word follows
        uint32_t expected;
        int refusals;
    };
    const std::vector<Row> rows = {
        {"main flash before a connect", [] { HidSelectSocket(0), HidSetSocketPower(1); }, 0x10000000, false, 0xFFFFFFFF, 2},
        {"after a power cycle", [&] { powerSite(0), HidSetSocketPower(0), HidSetSocketPower(1); }, 0x10000000, false, 0xFFFFFFFF, 2},
        {"main flash after a connect", [&] { powerSite(0); }, 0x10000000, false, 0x12345678, 0},
        {"parameter page, locked", [&] { powerSite(0); }, kParam, true, 0xFFFFFFFF, 1},
        {"parameter page after an erase", [&] { powerSite(0), HidCmdErase27(); }, kParam, true, 0x12345678, 0},
        {"parameter page, no write enable", [&] { powerSite(0), HidCmdErase27(); }, kParam, false, 0xFFFFFFFF, 0},
        {"option page without option keys", [&] { powerSite(0), FlashUnlockCtrl(); }, kOption, true, 0xFFFFFFFF, 1},
        {"option keys before the control keys", [&] { powerSite(0), FlashUnlockOption(), FlashUnlockCtrl(); }, kOption, true, 0xFFFFFFFF, 1},
        {"option page, both keys", [&] { powerSite(0), FlashUnlockCtrl(), FlashUnlockOption(); }, kOption, true, 0x12345678, 0},
        {"a wrong key locks again",
         [&] { powerSite(0), FlashUnlockCtrl(), FlashUnlockOption(), HidWriteWord(0x4008000C, 1); }, kOption, true, 0xFFFFFFFF, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.steps();
        adapter.clearLog();
        ASSERT_EQ(HidWriteWord(row.address, 0x12345678), 1);
        if (row.commit) {
            ASSERT_EQ(enableWrite(), 1);
        }
        uint8_t word[4];
        ASSERT_EQ(HidReadWord(row.address, word), 1);
        EXPECT_EQ(adapter.site(0).word(row.address), row.expected);
        const auto log = adapter.exchanges();
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const sim::Exchange& e) { return e.refused; }), row.refusals);
        HidSetSocketPower(0);
        adapter.site(0).write(row.address, Bytes(4, 0xFF));
    }
    // An information-area erase without the keys changes nothing.
    adapter.site(0).write(kOption, Bytes(4, 0));
    powerSite(0);
    ASSERT_EQ(HidCmdEraseInfo(0x1FF00000), 1);
    EXPECT_EQ(adapter.site(0).word(kOption), 0u);
    EXPECT_TRUE(adapter.exchanges().back().refused);
}

TEST_F(SimulatedAdapter, SerialFlashEraseReportsBusyAndLosesPagesUntilItsTimeHasPassed) {
    const Bytes page(256, 0xA5);
    adapter.writeSerialFlash(0, Bytes(512, 0x00));
    adapter.setSerialFlashEraseTime(60ms);
    uint8_t status[1] = {0xEE};
    ASSERT_EQ(HidSfCmd31(), 1);
    ASSERT_EQ(HidSfReadStatus(status), 1);
    EXPECT_EQ(status[0], 0);
    ASSERT_EQ(HidSfLoadPageBuffer(0, page), 1);
    ASSERT_EQ(HidSfProgramPage(1), 1);
    std::this_thread::sleep_for(80ms);
    ASSERT_EQ(HidSfReadStatus(status), 1);
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(adapter.serialFlash(0, 512), Bytes(512, 0xFF));
    ASSERT_EQ(HidSfProgramPage(1), 1);
    EXPECT_EQ(adapter.serialFlash(256, 256), page);

    // With a test clock the erase lasts as long as the host's pauses say; an erase command
    // while it runs is ignored, as the part ignores it, and does not start it again.
    adapter.setSerialFlashEraseTime(std::chrono::hours(1));
    adapter.startSerialFlashErase();
    EXPECT_EQ(adapter.serialFlash(256, 256), Bytes(256, 0xFF));
    adapter.notePause(3'599'999 - 10);
    ASSERT_EQ(HidSfCmd31(), 1);
    adapter.notePause(10);
    ASSERT_EQ(HidSfReadStatus(status), 1);
    EXPECT_EQ(status[0], 0);
    adapter.notePause(1);
    ASSERT_EQ(HidSfReadStatus(status), 1);
    EXPECT_EQ(status[0], 1);
}

// A worker thread drives the adapter while the test thread looks at its log and state.
TEST_F(SimulatedAdapter, ATestThreadMayInspectWhileAWorkerRuns) {
    adapter.setTransferLatency(10us);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        HidSelectSocket(0);
        HidSetSocketPower(1);
        HidConnectTarget();
        for (int i = 0; i < 300; ++i) HidWriteWord(0x10000000 + 4 * i, 0);
        done = true;
    });
    while (!done) {
        adapter.site(0).read(0x10000000, 16);
        adapter.exchanges();
    }
    worker.join();
    EXPECT_EQ(adapter.exchanges().size(), 304u);
    EXPECT_EQ(adapter.site(0).read(0x10000000, 1200), Bytes(1200, 0));
}
