#include "sim/gang_board.h"

#include <climits>
#include <functional>

#include "core/globals.h"
#include "support/gang_link.h"
#include "link/com_frames.h"
#include "link/com_reply.h"

namespace {

using Bytes = std::vector<uint8_t>;
using GangBoardSim = GangLinkTest;

TEST_F(GangBoardSim, AScriptedRunLeavesTheFrameLogWrittenByHand) {
    Bytes block(64);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 5 + 3);
    board.clearLog();
    const struct { uint8_t tag; std::function<bool()> send; uint32_t waitMs; } steps[] = {
        {0x36, [] { return ComSet2501(1); }, 500},       {0x2A, [] { return ComSet4053(0); }, 500},
        {0x2C, [] { return ComSet4066A(1); }, 500},      {0x03, [] { return ComIspStart(); }, 500},
        {0x04, [] { return ComIspStopMcu(); }, 500},     {0x0A, [] { return ComIsp2EraseChip(); }, 500},
        {0x0D, [] { return ComIsp2CmdFinish(); }, 500},  {0x05, [] { return ComIsp2TransHiByte(0x00); }, 800},
        {0x06, [&] { return ComIsp2TransData(0x00, block); }, 800}, {0x0D, [] { return ComIsp2CmdFinish(); }, 800},
        {0x05, [] { return ComIspTransHiByte(0x00); }, 800}, {0x13, [&] { return ComIspCmd3A(0x00, block); }, 800},
        {0x14, [] { return ComIspCmd0B(); }, 1000},
    };
    for (const auto& step : steps) ASSERT_TRUE(Step(step.tag, step.send, step.waitMs)) << int(step.tag);
    EXPECT_EQ(g_bSkipBlockErase, 1u);
    g_byReplyTag = 0x10;
    ComIspLeave();
    ASSERT_TRUE(Step(0x35, [] { return ComSet2501(0); }));
    const std::string data =
        "03 08 0D 12 17 1C 21 26 2B 30 35 3A 3F 44 49 4E 53 58 5D 62 67 6C 71 76 7B 80 85 8A 8F 94 99 9E "
        "A3 A8 AD B2 B7 BC C1 C6 CB D0 D5 DA DF E4 E9 EE F3 F8 FD 02 07 0C 11 16 1B 20 25 2A 2F 34 39 3E";
    const std::string expected =
        "> F0 0F 01 01 01 FF\n" "< AA F0 0F 00 00 FF\n"
        "> F0 09 00 00 00 FF\n" "< AA F0 09 00 00 F9\n"
        "> F0 0A 01 01 01 FF\n" "< AA F0 0A 00 00 FA\n"
        "> 00 FF 00 FF 00 FF 00 FF 00 FF\n"
        "> 0F 52 51 32 37 33 4B FF\n" "< AA 55 00 00 00 55\n"
        "> 0F 40 20 01 02 FF\n" "< AA 0F 40 00 00 4F\n"
        "> 0F 16 00 01 00 FF\n" "< AA 0F 16 00 00 25\n"
        "> 0F 04 00 01 00 FF\n" "< AA 0F 04 00 00 13\n"
        "> 0F 0C 01 01 00 FF\n" "< AA 0F 0C 00 00 1B\n"
        "> 0F 26 00 40 " + data + " FF\n" "< AA 0F 26 00 01 00 36\n"
        "> 0F 04 00 01 00 FF\n" "< AA 0F 04 00 00 13\n"
        "> 0F 08 01 01 00 FF\n" "< AA 0F 08 00 00 17\n"
        "> 0F 3A 00 40 " + data + " FF\n" "< AA 0F 3A 00 00 49\n"
        "> 0F 0B 00 01 00 FF\n" "< AA 0F 0B 00 00 1A\n"
        "> 0F 0C 02 01 01 FF\n"
        "> F0 0F 00 00 00 FF\n" "< AA F0 0F 00 00 FF\n";
    EXPECT_EQ(board.logText(), expected);

    const sim::GangTarget target = board.target(0).value();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), target.flash.begin()));
    EXPECT_FALSE(target.inIsp);
    EXPECT_FALSE(board.state().power);
}

TEST_F(GangBoardSim, OnlyTheSwitchedInTargetInIspModeTakesFramesAndItsFlashOnlyClearsBits) {
    EnterIspOnSocketA();
    // Programming only clears bits: two writes leave their AND.
    ASSERT_TRUE(Step(0x06, [] { return ComIsp2TransData(0x10, Bytes{0x0F, 0xF0, 0x3C}); }, 800));
    ASSERT_TRUE(Step(0x06, [] { return ComIsp2TransData(0x10, Bytes{0xF0, 0x0F, 0xFF}); }, 800));
    EXPECT_EQ(board.target(0)->flash[0x10] | board.target(0)->flash[0x11], 0x00);
    EXPECT_EQ(board.target(0)->flash[0x12], 0x3C);
    // A byte write answers with the target's status: a bit that would have to be set again
    // is a program-memory error.
    for (const auto& [write, value, status] : {std::tuple{&ComIsp2Trans1Data, 0x5A, 0x00}, {&ComIspTrans1Data, 0xA5, 0x04}}) {
        g_byReplyData[0] = 0xFF;
        ASSERT_TRUE(Step(0x3A, [&] { return write(0x20, value); }, 800));
        EXPECT_EQ(g_byReplyData[0], status);
    }
    // Answering writes minimally, the board leaves the status out.
    board.answerWritesMinimally(true), g_nReplyDataSize = 1;
    ASSERT_TRUE(Step(0x07, [] { return ComIspTrans1Data(0x21, 0x00); }, 800));
    EXPECT_EQ(g_nReplyDataSize, 0u);
    board.answerWritesMinimally(false);
    // The key page past the 16 KB flash takes bytes; past it, a byte is refused.
    for (const auto& [hi, status] : {std::pair<uint8_t, uint8_t>{0x40, 0x00}, {0x41, 0x04}}) {
        ASSERT_TRUE(Step(0x05, [&] { return ComIspTransHiByte(hi); }, 800));
        ASSERT_TRUE(Step(0x07, [] { return ComIspTrans1Data(0xFF, 0x3C); }, 800));
        EXPECT_EQ(TargetWriteStatus(), std::optional<uint8_t>(status));
    }
    EXPECT_EQ(board.target(0)->keyPage[0xFF], 0x3C);
    // Socket B never saw the handshake nor the data.
    EXPECT_EQ(board.target(1)->flash[0x10], 0xFF);
    EXPECT_FALSE(board.target(1)->inIsp);
    // A page erase clears only the page of the last high byte.
    board.writeFlash(0, 0x0100, Bytes{0x00, 0x00});
    ASSERT_TRUE(Step(0x05, [] { return ComIsp2TransHiByte(0x01); }, 800));
    ASSERT_TRUE(Step(0x0C, [] { return ComIsp2Cmd1C(); }, 800));
    EXPECT_EQ(board.target(0)->flash[0x0100], 0xFF);
    EXPECT_EQ(board.target(0)->flash[0x12], 0x3C);
    // Leaving ISP mode, or losing power, ends the exchange until the next handshake.
    g_byReplyTag = 0x10;
    ComIspLeave();
    EXPECT_FALSE(Step(0x04, [] { return ComIspStopMcu(); }, 100));
    ASSERT_TRUE(Step(0x03, [] { return ComIspStart(); }));
    ASSERT_TRUE(Step(0x35, [] { return ComSet2501(0); }));
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    EXPECT_FALSE(Step(0x04, [] { return ComIspStopMcu(); }, 100));
}

// Wired for one target, the board carries the handshake and target frames to that target alone,
// with sockets unpowered and switches open; the other sockets' targets hear nothing.
TEST_F(GangBoardSim, SingleTargetWiringReachesOneTargetWithoutPowerOrSwitches) {
    const Bytes bytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_FALSE(Step(0x03, [] { return ComIspStart(); }, 100)) << "no socket powered";
    board.wireSingleTarget(1);
    ASSERT_TRUE(Step(0x03, [] { return ComIspStart(); }));
    ASSERT_TRUE(Step(0x06, [&] { return ComIspTrans8Data(0x10, std::span<const uint8_t, 8>(bytes.data(), 8)); }, 800));
    EXPECT_FALSE(board.state().power);
    const Bytes flash = board.target(1)->flash;
    EXPECT_EQ(Bytes(flash.begin() + 0x10, flash.begin() + 0x18), bytes);
    for (int socket : {0, 2, 3}) {
        EXPECT_FALSE(board.target(socket)->inIsp) << socket;
        EXPECT_EQ(board.target(socket)->flash[0x10], 0xFF) << socket;
    }
    board.wireSingleTarget(-1);
    EXPECT_FALSE(Step(0x04, [] { return ComIspStopMcu(); }, 100)) << "back on the four-socket wiring";
}

// An MTP target overwrites its bytes in place and stays busy for its number of status polls
// after each write; the write's reply and each poll's carry the status byte.
TEST_F(GangBoardSim, MtpTargetsOverwriteAndReportBusyUntilPolledEnough) {
    const struct { int polls; bool error; uint8_t value; Bytes statuses; } writes[] = {
        {0, false, 0x5A, {0x00, 0x00}},  // the write's status, then the polls'
        {2, false, 0xA5, {0x08, 0x08, 0x00, 0x00}},
        {0, true, 0xFF, {0x04, 0x04}},
        {INT_MAX, false, 0x00, {0x08, 0x08, 0x08, 0x08, 0x08, 0x08}},
    };
    EnterIspOnSocketA();
    for (const auto& w : writes) {
        SCOPED_TRACE(w.polls);
        board.makeMtp(0, w.polls, w.error);
        g_byReplyData[0] = 0xFF;
        ASSERT_TRUE(Step(0x3A, [&] { return ComIspTrans1Data(0x20, w.value); }, 800));
        Bytes seen = {g_byReplyData[0]};
        while (seen.size() < w.statuses.size()) {
            g_byReplyData[0] = 0xFF;
            ASSERT_TRUE(Step(0x3B, ComIspCmd09p2, 1000));
            seen.push_back(g_byReplyData[0]);
        }
        EXPECT_EQ(seen, w.statuses);
        EXPECT_EQ(board.target(0)->flash[0x20], w.value);
    }
}

// A compare that differs is reported by the next compare result, however many matching compares
// follow it; the result after that starts afresh.
TEST_F(GangBoardSim, ADifferingCompareSticksUntilTheCompareResult) {
    const Bytes held = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes wrong = held;
    wrong[3] = 0;
    EnterIspOnSocketA();
    ASSERT_TRUE(Step(0x06, [&] { return ComIspTransData(0x00, held); }, 800));
    const struct { std::vector<Bytes> compares; uint32_t matched; } results[] = {
        {{held, held}, 1}, {{wrong, held, held}, 0}, {{held}, 1}, {{held, wrong}, 0},
    };
    for (const auto& r : results) {
        for (const Bytes& bytes : r.compares) ASSERT_TRUE(Step(0x13, [&] { return ComIspCmd3A(0x00, bytes); }, 800));
        ASSERT_TRUE(Step(0x14, [] { return ComIspCmd0B(); }, 800));
        EXPECT_EQ(g_bSkipBlockErase, r.matched);
    }
}

// Targets on their own supply answer through a closed switch with socket power off, and keep
// their ISP mode when the board switches socket power off; an open switch still cuts them off.
TEST_F(GangBoardSim, SelfPoweredTargetsAnswerThroughTheirSwitchWithoutSocketPower) {
    ASSERT_TRUE(Step(0x2C, [] { return ComSet4066A(1); }));
    EXPECT_FALSE(Step(0x03, [] { return ComIspStart(); }, 100)) << "no socket power";
    board.powerTargetsThemselves(true);
    ASSERT_TRUE(Step(0x03, [] { return ComIspStart(); }));
    ASSERT_TRUE(Step(0x35, [] { return ComSet2501(0); }));
    EXPECT_TRUE(Step(0x04, [] { return ComIspStopMcu(); }));
    EXPECT_FALSE(board.target(1)->inIsp);
    ASSERT_TRUE(Step(0x2C, [] { return ComSet4066A(0); }));
    EXPECT_FALSE(Step(0x04, [] { return ComIspStopMcu(); }, 100)) << "switch open";
}

}  // namespace

// A modelled line holds each reply until the frame and the reply would have crossed it at 10
// bits a byte; a dropped reply number leaves exactly that reply out.
TEST_F(GangBoardSim, AModelledLineDelaysRepliesByTheirBytesAndADroppedReplyIsMissing) {
    board.setLineRate(9600);  // a 6-byte frame and its 6-byte reply: 12.5 ms
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    const std::vector<sim::LogEntry> log = board.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].ms - log[0].ms, 12.5);
    board.setLineRate(0);
    board.dropReplyNumber(3);  // counted from the start: the power reply was the first
    EXPECT_TRUE(Step(0x2A, [] { return ComSet4053(0); }));
    EXPECT_FALSE(Step(0x2C, [] { return ComSet4066A(1); }, 100));
    EXPECT_TRUE(Step(0x2E, [] { return ComSet4066B(0); }));
}

// Each target answers the link start and the handshake of its own chip family, with the chip id
// of its mode; a target can come or go at a given frame.
TEST_F(GangBoardSim, ATargetAnswersOnlyTheHandshakeOfItsFamily) {
    board.insertTarget(0, 5);
    board.insertTarget(1, 7);
    board.removeTargetAt(sim::BoardFrame(0x0D), 1, 0);
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    board.insertTarget(2, 2);  // a mode without a family of its own: handshake A
    const struct { int socket; bool (*handshake)(); bool answered; int id; } cases[] = {
        {0, ComIspStart, true, -1},   {0, ComHandshake2, true, 0xF0}, {0, ComHandshake3, false, -1},
        {1, ComHandshake3, true, 0xF7}, {1, ComHandshake2, false, -1}, {1, ComIspStart, true, -1},
        {1, ComHandshake1, false, -1}, {2, ComHandshake1, true, -1},  {2, ComHandshake3, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "socket " << c.socket);
        ASSERT_TRUE(Step(0x2C, [&] { return ComSet4066A(c.socket == 0 ? 1 : 0); }));
        ASSERT_TRUE(Step(0x2E, [&] { return ComSet4066B(c.socket == 1 ? 1 : 0); }));
        ASSERT_TRUE(Step(0x30, [&] { return ComSet4066C(c.socket == 2 ? 1 : 0); }));
        EXPECT_EQ(Step(0x39, c.handshake, c.answered ? 500 : 100), c.answered);
        if (c.id < 0) continue;
        ASSERT_TRUE(Step(0x3B, [] { return ComIspCmd09(); }));
        EXPECT_EQ(g_byReplyData[0], c.id);
    }
    EXPECT_EQ(sim::ChipIdOfMode(6), 0x80);
    ASSERT_TRUE(Step(0x32, [] { return ComSet4066D(0); }));
    EXPECT_FALSE(board.target(0)) << "taken out at the first F0 0D frame";
}
