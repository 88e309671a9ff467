// The single-socket helpers of the compact runs, driven by hand on the simulated board.
#include <gtest/gtest.h>

#include <functional>

#include "core/globals.h"
#include "engine_com/socket_helpers.h"
#include "link/com_reply.h"
#include "link/serial_port.h"
#include "support/simulated_gang.h"

using namespace engine_com;

namespace {

// The board powered, its port open, targets of the chip mode in the sockets.
struct HelperBench {
    HelperBench(uint8_t chipMode, const std::vector<int>& sockets) {
        g_nChipMode = chipMode;
        gang.populate(sockets);
        g_bSocketFound.fill(0);
        EXPECT_TRUE(OpenBoardPort(run));
        EXPECT_TRUE(PowerOnBoard(run));
    }
    SimulatedGang gang;
    GangRun run{gang.bench.page};
};

}  // namespace

TEST(GangSocketHelpers, EveryStepHelperReturnsOneAgainstASilentBoard) {
    const struct {
        const char* name;
        std::function<int(GangRun&)> call;
        std::vector<std::string> messages;
    } helpers[] = {
        {"switch C", [](GangRun& r) { return GangSetSwitch(r, 2, 1); }, {"ISP_4066C timeout!"}},
        {"LED index 7", [](GangRun& r) { return GangSetLed(r, 7, 0); }, {"ISP_LED8 timeout!"}},
        // All three steps are sent whatever the first one's outcome.
        {"show socket 4", [](GangRun& r) { return GangShowSocket(r, 3); },
         {"ISP_4066D timeout!", "ISP_LED7 timeout!", "ISP_LED8 timeout!"}},
        // Nothing is sent past a switch that went unanswered.
        {"connect socket 1",
         [](GangRun& r) { return GangConnectSocket(r, 0, r.state); }, {"ISP_4066A timeout!"}},
    };
    for (const auto& helper : helpers) {
        SCOPED_TRACE(helper.name);
        HelperBench bench(7, {0, 1, 2, 3});
        bench.gang.board.setSilent(true);
        const size_t before = bench.gang.board.log().size();
        EXPECT_EQ(helper.call(bench.run), 1);
        EXPECT_EQ(bench.gang.messages(), helper.messages);
        EXPECT_FALSE(bench.run.timedOut);
        bench.gang.awaitBoard();
        EXPECT_EQ(bench.gang.board.log().size() - before, helper.messages.size());
    }
}

// Socket 3 selected alone, greeted by the chip mode's handshake, its chip ID judged by the mode's
// rule; a reply without the byte names no chip, and a mode without a handshake of its own finds
// the socket empty.
TEST(GangSocketHelpers, ConnectSelectsTheSocketAloneAndJudgesItsChipIdByTheChipMode) {
    const struct { uint8_t mode; int id; int result; uint8_t state; } cases[] = {
        {7, 0xF3, 0, kGood}, {7, 0x73, 2, kWrongChip}, {8, 0x85, 0, kGood},  {8, 0xFF, 2, kWrongChip},
        {9, 0xF0, 0, kGood}, {11, 0xEF, 2, kWrongChip}, {10, 0x80, 0, kGood}, {10, 0x7F, 2, kWrongChip},
        {12, 0xFF, 0, kGood}, {9, -1, 2, kWrongChip},   {13, 0x00, 0, kEmpty}, {5, 0xF0, 0, kEmpty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " id " << c.id);
        HelperBench bench(c.mode, {2});
        if (c.id < 0)
            bench.gang.board.cutReplyAt(sim::TargetFrame(0x09), 1, 0);
        else
            bench.gang.board.setChipId(2, static_cast<uint8_t>(c.id));
        EXPECT_EQ(GangConnectSocket(bench.run, 2, bench.run.state), c.result);
        EXPECT_EQ(bench.run.state[2], c.state);
        EXPECT_EQ(bench.gang.messages(), c.result == 2 ? std::vector<std::string>{"Wrong Chip ID !"}
                                                       : std::vector<std::string>{});
        const std::string log = bench.gang.exchangeLog();
        EXPECT_NE(log.find("3D  500 > F0 0A 00 00 00 FF | < AA F0 0A 00 00 FA\n"
                           "    0 3D  500 > F0 0B 00 00 00 FF | < AA F0 0B 00 00 FB\n"
                           "    0 3D  500 > F0 0C 01 01 01 FF | < AA F0 0C 00 00 FC\n"
                           "    0 3D  500 > F0 0D 00 00 00 FF | < AA F0 0D 00 00 FD\n    0 39  500 > "),
                  std::string::npos);
        EXPECT_TRUE(c.mode != 9 || log.find("> 00 FF 55 0F 52 32 33 32 30 38 FF | < AA 55") != std::string::npos);
        // A refused chip leaves ISP mode and gets no stop frame.
        if (c.result == 2) bench.gang.awaitBoard();
        EXPECT_EQ(bench.gang.framesOf(0x0F, 0x44), c.state == kGood ? 1 : 0);
        EXPECT_EQ(bench.gang.framesOf(0x0F, 0x0C), c.result == 2 ? 1 : 0);
    }
}
