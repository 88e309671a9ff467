#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "engine_com/gang_workers.h"
#include "link/com_reply.h"
#include "support/golden_file.h"
#include "support/simulated_gang.h"

namespace {

// The reply to the nth target frame 0F cmd is lost.
std::function<void(SimulatedGang&)> DropAt(uint8_t cmd, int nth) {
    return [cmd, nth](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(cmd), nth); };
}

}  // namespace

// A verify-only run compares on the target and changes nothing: no flash frame, no serial
// number stored, counters in memory only. It compares all the code up to the option block.
TEST(GangVerify, ComparesWithoutChangingTargetsOrStoredValues) {
    const struct { const char* name; size_t imageSize; std::function<void(SimulatedGang&)> arrange; Counters counted;
                   int compares; } cases[] = {
        // 1000 bytes are 15 blocks and a tail of 40: every block of every socket is compared.
        {"all match", 1000, [](SimulatedGang&) {}, {4, 4, 0}, 4 * 16},
        {"block 5 of socket 3 differs", 1000, [](SimulatedGang& g) { g.board.differAtCompare(2, 5); }, {4, 3, 1}, 3 * 16 + 5},
        // One reply lost in socket 2's first, a middle, its last full or its last partial block
        // fails socket 2 alone, and the pass goes on to sockets 3 and 4.
        {"socket 2's first compare unanswered", 1000, DropAt(0x3A, 17), {4, 3, 1}, 3 * 16 + 1},
        {"the result of a middle block of socket 2 unanswered", 1000, DropAt(0x0B, 24), {4, 3, 1}, 3 * 16 + 8},
        {"socket 2's last full compare unanswered", 1000, DropAt(0x3A, 31), {4, 3, 1}, 3 * 16 + 15},
        {"socket 2's tail compare unanswered", 1000, DropAt(0x3A, 32), {4, 3, 1}, 4 * 16},
        {"socket 2's tail result unanswered", 1000, DropAt(0x0B, 32), {4, 3, 1}, 4 * 16},
        // An image up to the flash's end: the code ends at the option offset 0x3FF8.
        {"the last code byte of socket 4 differs", 0x4000,
         [](SimulatedGang& g) { g.board.writeFlash(3, 0x3FF7, std::vector<uint8_t>{0x00}); }, {4, 3, 1}, 4 * 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> image = PatternImage(c.imageSize);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        IniSetSerialNo(0x42, g_strIniPath);
        for (int socket = 0; socket < 4; ++socket) gang.board.writeFlash(socket, 0, image);
        c.arrange(gang);
        const auto before = gang.board.target(2)->flash;
        gang.run(GangVerifyThread, image);
        // Data, erase, page erase and the finish of either command set.
        for (uint8_t cmd : {0x26, 0x22, 0x16, 0x12, 0x1C, 0x18, 0x04, 0x00}) EXPECT_EQ(gang.framesOf(0x0F, cmd), 0) << int(cmd);
        EXPECT_EQ(gang.board.target(2)->flash, before);
        EXPECT_EQ(gang.bench.counters(), c.counted);
        EXPECT_EQ(gang.bench.storedCounters(), Counters{});
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x42u);
        EXPECT_EQ(gang.framesOf(0x0F, 0x3A), c.compares);
    }
}

TEST(GangVerify, GoldenExchangesOfOneSocket) {
    SimulatedGang gang;
    gang.populate({3});
    const std::vector<uint8_t> image = PatternImage(100);
    gang.board.writeFlash(3, 0, image);
    // The run holds its 64-byte block buffer from its first frame to its last, then frees it.
    std::set<size_t> held;
    gang.onNote = [&held](const std::string& note) {
        if (note.rfind("step", 0) == 0) held.insert(g_pBlockBuf.size());
    };
    gang.run(GangVerifyThread, image);
    ExpectGolden("engine_com", "verify-socket-four.log", gang.exchangeLog());
    EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
    EXPECT_EQ(held, std::set<size_t>{64});
    EXPECT_EQ(g_pBlockBuf.size(), 0u);
}
