#include <gtest/gtest.h>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "engine_com/gang_workers.h"
#include "support/golden_file.h"
#include "support/simulated_gang.h"

// A verify-only run compares on the target and changes nothing: no flash frame, no serial
// number stored, counters in memory only.
TEST(GangVerify, ComparesWithoutChangingTargetsOrStoredValues) {
    const std::vector<uint8_t> image = PatternImage(1000);
    const struct { int differingSocket; Counters counted; } cases[] = {{-1, {4, 4, 0}}, {2, {4, 3, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.differingSocket);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        IniSetSerialNo(0x42, g_strIniPath);
        for (int socket = 0; socket < 4; ++socket) gang.board.writeFlash(socket, 0, image);
        if (c.differingSocket >= 0) gang.board.differAtCompare(c.differingSocket, 5);
        const auto before = gang.board.target(2)->flash;
        gang.run(GangVerifyThread, image);
        // Data, erase, page erase and the finish of either command set.
        for (uint8_t cmd : {0x26, 0x22, 0x16, 0x12, 0x1C, 0x18, 0x04, 0x00}) EXPECT_EQ(gang.framesOf(0x0F, cmd), 0) << int(cmd);
        EXPECT_EQ(gang.board.target(2)->flash, before);
        EXPECT_EQ(gang.bench.counters(), c.counted);
        EXPECT_EQ(gang.bench.storedCounters(), Counters{});
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x42u);
        // 1000 bytes are 15 blocks and a tail of 40: every block of every socket is compared.
        EXPECT_EQ(gang.framesOf(0x0F, 0x3A), c.differingSocket < 0 ? 4 * 16 : 3 * 16 + 5);
    }
}

TEST(GangVerify, GoldenExchangesOfOneSocket) {
    SimulatedGang gang;
    gang.populate({3});
    const std::vector<uint8_t> image = PatternImage(100);
    gang.board.writeFlash(3, 0, image);
    gang.run(GangVerifyThread, image);
    ExpectGolden("engine_com", "verify-socket-four.log", gang.exchangeLog());
    EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
}
