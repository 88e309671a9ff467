#include "link/com_reply.h"

#include "core/globals.h"
#include "link/com_frames.h"
#include "support/gang_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(std::initializer_list<ComReply> replies) {
    Bytes bytes;
    for (const ComReply& reply : replies) {
        const Bytes one = EncodeReply(reply);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

TEST(ComReplyReceiver, AcceptsOnlyTheReplyOfThePendingStep) {
    const Bytes ledFrame = {0xF0, 0x01, 0x01, 0x01, 0x01, 0xFF};
    const Bytes startFrame = {0x00, 0xFF, 0x00, 0xFF, 0x0F, 'R', 'Q', '2', '7', '3', 'K', 0xFF};
    // NewStepBegun: a frame sent without a wait (the leave frame), then a step under the same tag.
    enum Disturbance { None, TagMovedOn, WaiterGaveUp, NewStepBegun };
    struct Case {
        const char* name;
        Bytes frame;
        ComReply reply;
        Disturbance disturbance;
        bool accepted;
    };
    const Case cases[] = {
        {"matching reply", ledFrame, {0xF0, 0x01, 0, {}}, None, true},
        {"reply to another command", ledFrame, {0xF0, 0x02, 0, {}}, None, false},
        {"target reply to a board frame", ledFrame, {0x0F, 0x01, 0, {}}, None, false},
        {"tag noted without a frame since", ledFrame, {0xF0, 0x01, 0, {}}, TagMovedOn, false},
        {"late after the waiter gave up", ledFrame, {0xF0, 0x01, 0, {}}, WaiterGaveUp, false},
        {"unwaited frame before a new step", {0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF}, {0x0F, 0x0C, 0, {}}, NewStepBegun, false},
        {"handshake of the link start", startFrame, {0x55, 0x00, 0, {}}, None, true},
        {"nothing asked by a wake-up", {0x00, 0xFF}, {0x55, 0x00, 0, {}}, None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComBeginStep(0x1A);
        g_ComReplies.frameWriting(c.frame, 0x1A);
        if (c.disturbance == TagMovedOn) g_byReplyTag = 0x0F;
        if (c.disturbance == WaiterGaveUp) g_ComReplies.closeStep();
        if (c.disturbance == NewStepBegun) ComBeginStep(0x1A);
        g_ComReplies.bytesRead(Wire({c.reply}));
        EXPECT_EQ(g_hReplyEvent.isSet(), c.accepted);
    }
}

TEST(ComReplyReceiver, StoresReplyDataWhereTheWorkersReadIt) {
    const auto byte = [](int index, uint8_t value) { return [=] { EXPECT_EQ(g_byReplyData[index], value); }; };
    const auto block = [](Bytes want) {
        return [=] { EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + g_pBlockBuf.size()), want); };
    };
    const auto skip = [](uint32_t want) { return [=] { EXPECT_EQ(g_bSkipBlockErase, want); }; };
    const auto status = [](std::optional<uint8_t> want) { return [=] { EXPECT_EQ(TargetWriteStatus(), want); }; };
    const Bytes write1 = {0x0F, 0x22, 0x00, 0x01, 0xAB, 0xFF};
    struct Case {
        const char* name;
        Bytes frame;
        uint8_t tag;
        Bytes wire;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"chip id of tag 0x37 in byte 1", {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37, Wire({{0x0F, 0x49, 0, {0x5A}}}), byte(1, 0x5A)},
        {"only the first of two merged replies", {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37,
         Wire({{0x0F, 0x49, 0, {0x57}}, {0x0F, 0x49, 0, {0x11}}}), byte(1, 0x57)},
        {"chip id of tag 0x3B in byte 0", {0x0F, 0x09, 0x00, 0x01, 0x00, 0xFF}, 0x3B, Wire({{0x0F, 0x09, 0, {0xF7}}}), byte(0, 0xF7)},
        {"busy poll with tag 0x3B in byte 0", {0x0F, 0x09, 0x02, 0x01, 0x00, 0xFF}, 0x3B, Wire({{0x0F, 0x09, 0, {0x08}}}), byte(0, 0x08)},
        {"write status with tag 0x3A in byte 0", {0x0F, 0x26, 0x10, 0x01, 0xAB, 0xFF}, 0x3A, Wire({{0x0F, 0x26, 0, {0x04}}}), byte(0, 0x04)},
        {"differing block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, Wire({{0x0F, 0x0B, 1, {}}}), skip(0)},
        {"matching block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, Wire({{0x0F, 0x0B, 0, {}}}), skip(1)},
        {"a write's status stays out of the block buffer", {0x0F, 0x22, 0x00, 0x01, 0xAB, 0xFF}, 0x07,
         Wire({{0x0F, 0x22, 0, {0x00}}}), block(Bytes(4, 0xFF))},
        // A board may answer a write without the target's status: that write reports nothing,
        // and never the status of an earlier one.
        {"a write's status byte", write1, 0x07, Wire({{0x0F, 0x22, 0, {0x04}}}), status(0x04)},
        {"a write reply without a status byte", write1, 0x07, Wire({{0x0F, 0x22, 0, {}}}), status(std::nullopt)},
        {"a status byte of the second command set", {0x0F, 0x26, 0x10, 0x01, 0xAB, 0xFF}, 0x06,
         Wire({{0x0F, 0x26, 0, {0x00}}}), status(0x00)},
        {"a read's byte is no write status", {0x0F, 0x03, 0x00, 0x01, 0x00, 0xFF}, 0x01, Wire({{0x0F, 0x03, 0, {0x04}}}),
         status(std::nullopt)},
        {"read cut to the block buffer", {0x0F, 0x03, 0x00, 0x08, 0x00, 0xFF}, 0x01,
         Wire({{0x0F, 0x03, 0, {1, 2, 3, 4, 5, 6, 7, 8}}}), block({1, 2, 3, 4})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(g_pBlockBuf.allocate(4));
        ComReplyReceiver receiver;
        ComBeginStep(c.tag);
        receiver.frameWriting(c.frame, c.tag);
        receiver.bytesRead(c.wire);
        EXPECT_TRUE(g_hReplyEvent.isSet());
        c.check();
    }
    g_pBlockBuf.release();
    g_bSkipBlockErase = 1;
}

using ComSteps = GangLinkTest;

TEST_F(ComSteps, AStepIsAnsweredInTimeAndALateReplyAnswersNoOther) {
    board.delayReplyAt(sim::BoardFrame(0x0F), 1, 600);
    board.dropReplyAt(sim::BoardFrame(0x09), 1);
    EXPECT_FALSE(Step(0x36, [] { return ComSet2501(1); }, 500));
    // The late reply arrives during this step's wait; the step must still time out.
    EXPECT_FALSE(Step(0x2A, [] { return ComSet4053(0); }, 500));
    EXPECT_FALSE(g_hReplyEvent.isSet());
    EXPECT_TRUE(Step(0x2C, [] { return ComSet4066A(1); }));
    EXPECT_TRUE(board.state().switches[0]);
    // Each unanswered wait ran its whole time, by the board's clock.
    EXPECT_EQ(board.logText(true),
              "      0.0 > F0 0F 01 01 01 FF\n"
              "    500.0 > F0 09 00 00 00 FF\n"
              "    600.0 < AA F0 0F 00 00 FF\n"
              "   1000.0 > F0 0A 01 01 01 FF\n"
              "   1000.0 < AA F0 0A 00 00 FA\n");
}

TEST_F(ComSteps, RepliesSplitIntoSingleBytesOrAmongNoiseStillAnswer) {
    for (const bool split : {true, false}) {
        SCOPED_TRACE(split);
        board.splitReplies(split);
        // A fake chip-id reply with a bad sum and a stray header start.
        if (!split) board.setNoise({0x13, 0xAA, 0x0F, 0x49, 0x00, 0x01, 0x99, 0x00, 0xAA, 0x0F});
        EnterIspOnSocketA();
        EXPECT_TRUE(Step(0x37, [] { return ComIspCmd49(); }));
        EXPECT_EQ(g_byReplyData[1], 0x57);
        EXPECT_TRUE(Step(0x04, [] { return ComIspStopMcu(); }));
    }
}

TEST_F(ComSteps, MergedRepliesAnswerOnlyTheirOwnStep) {
    board.holdReplies(1);
    EXPECT_FALSE(Step(0x36, [] { return ComSet2501(1); }, 100));
    // The held reply to the power frame comes in the same write as this step's reply.
    EXPECT_TRUE(Step(0x2A, [] { return ComSet4053(0); }));
    EXPECT_NE(board.logText().find("< AA F0 0F 00 00 FF\n< AA F0 09 00 00 F9\n"), std::string::npos);
}

}  // namespace
