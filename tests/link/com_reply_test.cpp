#include "link/com_reply.h"

#include <chrono>
#include <thread>

#include "app/globals.h"
#include "support/gang_link.h"
#include "link/com_frames.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

bool SameReply(const std::optional<ComReply>& got, const ComReply& want) {
    return got && got->src == want.src && got->cmd == want.cmd && got->status == want.status &&
           got->data == want.data;
}

TEST(ComReplyParser, FindsAReplySplitAtAnyByte) {
    const ComReply reply{0x0F, 0x03, 0, {0x01, 0xAA, 0x0F, 0xFF}};
    const Bytes bytes = EncodeReply(reply);
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        ComReplyParser parser;
        parser.feed(std::span(bytes).first(cut));
        EXPECT_FALSE(parser.next());
        parser.feed(std::span(bytes).subspan(cut));
        EXPECT_TRUE(SameReply(parser.next(), reply));
        EXPECT_FALSE(parser.next());
    }
}

TEST(ComReplyParser, SkipsNoiseFalseStartsAndBadSums) {
    const ComReply first{0xF0, 0x09, 0, {}};
    const ComReply second{0x0F, 0x49, 0, {0x57}};
    Bytes stream = {0x13, 0x00, 0xAA, 0x0F, 0x03, 0x00, 0xF0, 0x55};  // a header whose 240 bytes never come
    const Bytes a = EncodeReply(first);
    Bytes corrupted = EncodeReply(second);
    corrupted.back() ^= 0x01;
    const Bytes b = EncodeReply(second);
    for (const Bytes* part : {&a, static_cast<const Bytes*>(&corrupted), &b}) stream.insert(stream.end(), part->begin(), part->end());

    ComReplyParser parser;
    parser.feed(stream);
    EXPECT_TRUE(SameReply(parser.next(), first));
    EXPECT_TRUE(SameReply(parser.next(), second));
    EXPECT_FALSE(parser.next());
}

TEST(ComReplyReceiver, AcceptsOnlyTheReplyOfThePendingStep) {
    const Bytes ledFrame = {0xF0, 0x01, 0x01, 0x01, 0x01, 0xFF};
    const Bytes startFrame = {0x00, 0xFF, 0x00, 0xFF, 0x0F, 'R', 'Q', '2', '7', '3', 'K', 0xFF};
    const Bytes wakeUp = {0x00, 0xFF};
    enum Disturbance { None, TagMovedOn, WaiterGaveUp };
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
        {"handshake of the link start", startFrame, {0x55, 0x00, 0, {}}, None, true},
        {"nothing asked by a wake-up", wakeUp, {0x55, 0x00, 0, {}}, None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComReplyReceiver receiver;
        ComBeginStep(0x1A);
        receiver.frameWriting(c.frame, 0x1A);
        if (c.disturbance == TagMovedOn) g_byReplyTag = 0x0F;
        if (c.disturbance == WaiterGaveUp) receiver.closeStep();
        receiver.bytesRead(EncodeReply(c.reply));
        EXPECT_EQ(g_hReplyEvent.isSet(), c.accepted);
    }
}

TEST(ComReplyReceiver, ANewStepClosesTheUnwaitedOneBeforeIt) {
    // The leave frame is sent under tag 0x10 without a wait; the next step may use the same tag.
    g_byReplyTag = 0x10;
    g_ComReplies.frameWriting(Bytes{0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF}, 0x10);
    ComBeginStep(0x10);
    g_ComReplies.bytesRead(EncodeReply({0x0F, 0x0C, 0, {}}));
    EXPECT_FALSE(g_hReplyEvent.isSet());
}

TEST(ComReplyReceiver, AStepTakesOneReplyOnly) {
    ComReplyReceiver receiver;
    ComBeginStep(0x37);
    receiver.frameWriting(Bytes{0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37);
    const Bytes one = EncodeReply({0x0F, 0x49, 0, {0x57}});
    const Bytes two = EncodeReply({0x0F, 0x49, 0, {0x11}});
    Bytes merged = one;
    merged.insert(merged.end(), two.begin(), two.end());
    receiver.bytesRead(merged);
    EXPECT_TRUE(g_hReplyEvent.isSet());
    EXPECT_EQ(g_byReplyData[1], 0x57);
}

TEST(ComReplyReceiver, StoresReplyDataWhereTheWorkersReadIt) {
    struct Case {
        const char* name;
        Bytes frame;
        uint8_t tag;
        ComReply reply;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"chip id of tag 0x37 in byte 1", {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37, {0x0F, 0x49, 0, {0x5A}},
         [] { EXPECT_EQ(g_byReplyData[1], 0x5A); }},
        {"chip id of tag 0x3B in byte 0", {0x0F, 0x09, 0x00, 0x01, 0x00, 0xFF}, 0x3B, {0x0F, 0x09, 0, {0xF7}},
         [] { EXPECT_EQ(g_byReplyData[0], 0xF7); }},
        {"differing block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, {0x0F, 0x0B, 1, {}},
         [] { EXPECT_EQ(g_bSkipBlockErase, 0u); }},
        {"matching block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, {0x0F, 0x0B, 0, {}},
         [] { EXPECT_EQ(g_bSkipBlockErase, 1u); }},
        {"status of a byte write with tag 0x3A in byte 0", {0x0F, 0x26, 0x10, 0x01, 0xAB, 0xFF}, 0x3A,
         {0x0F, 0x26, 0, {0x04}}, [] { EXPECT_EQ(g_byReplyData[0], 0x04); }},
        {"busy poll with tag 0x3B in byte 0", {0x0F, 0x09, 0x02, 0x01, 0x00, 0xFF}, 0x3B, {0x0F, 0x09, 0, {0x08}},
         [] { EXPECT_EQ(g_byReplyData[0], 0x08); }},
        {"a write's status byte stays out of the block buffer", {0x0F, 0x22, 0x00, 0x01, 0xAB, 0xFF}, 0x07,
         {0x0F, 0x22, 0, {0x00}},
         [] { EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + g_pBlockBuf.size()), Bytes(4, 0xFF)); }},
        {"read cut to the block buffer", {0x0F, 0x03, 0x00, 0x08, 0x00, 0xFF}, 0x01,
         {0x0F, 0x03, 0, {1, 2, 3, 4, 5, 6, 7, 8}},
         [] { EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + g_pBlockBuf.size()), (Bytes{1, 2, 3, 4})); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(g_pBlockBuf.allocate(4));
        ComReplyReceiver receiver;
        ComBeginStep(c.tag);
        receiver.frameWriting(c.frame, c.tag);
        receiver.bytesRead(EncodeReply(c.reply));
        EXPECT_TRUE(g_hReplyEvent.isSet());
        c.check();
    }
    g_pBlockBuf.release();
    g_bSkipBlockErase = 1;
}

using ComSteps = GangLinkTest;

TEST_F(ComSteps, AStepIsAnsweredInTime) {
    EXPECT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    EXPECT_TRUE(board.state().power);
}

TEST_F(ComSteps, AReplyLateForItsStepDoesNotAnswerTheNextOne) {
    board.delayReplyAt(sim::BoardFrame(0x0F), 1, 600);
    board.dropReplyAt(sim::BoardFrame(0x09), 1);
    const auto start = Clock::now();
    EXPECT_FALSE(Step(0x36, [] { return ComSet2501(1); }, 500));
    EXPECT_GE(Clock::now() - start, 500ms);
    // The late reply arrives during this step's wait; the step must still time out.
    EXPECT_FALSE(Step(0x2A, [] { return ComSet4053(0); }, 500));
    EXPECT_FALSE(g_hReplyEvent.isSet());
    EXPECT_NE(board.logText().find("< AA F0 0F 00 00 FF"), std::string::npos);
    EXPECT_TRUE(Step(0x2C, [] { return ComSet4066A(1); }));
}

TEST_F(ComSteps, RepliesSplitIntoSingleBytesStillAnswer) {
    board.splitReplies(true);
    EnterIspOnSocketA();
    EXPECT_TRUE(Step(0x37, [] { return ComIspCmd49(); }));
    EXPECT_EQ(g_byReplyData[1], 0x57);
}

TEST_F(ComSteps, MergedRepliesAnswerOnlyTheirOwnStep) {
    board.holdReplies(1);
    EXPECT_FALSE(Step(0x36, [] { return ComSet2501(1); }, 100));
    // The held reply to the power frame comes in the same write as this step's reply.
    EXPECT_TRUE(Step(0x2A, [] { return ComSet4053(0); }));
    EXPECT_NE(board.logText().find("< AA F0 0F 00 00 FF\n< AA F0 09 00 00 F9\n"), std::string::npos);
}

TEST_F(ComSteps, NoiseBetweenRepliesIsIgnored) {
    // A fake chip-id reply with a bad sum and a stray header start.
    board.setNoise({0x13, 0xAA, 0x0F, 0x49, 0x00, 0x01, 0x99, 0x00, 0xAA, 0x0F});
    EnterIspOnSocketA();
    EXPECT_TRUE(Step(0x37, [] { return ComIspCmd49(); }));
    EXPECT_EQ(g_byReplyData[1], 0x57);
    EXPECT_TRUE(Step(0x04, [] { return ComIspStopMcu(); }));
}

TEST_F(ComSteps, TheHandshakeOfAnEmptySocketTimesOut) {
    board.removeTarget(0);
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    ASSERT_TRUE(Step(0x2C, [] { return ComSet4066A(1); }));
    EXPECT_FALSE(Step(0x03, [] { return ComIspStart(); }, 300));
    ASSERT_TRUE(Step(0x2C, [] { return ComSet4066A(0); }));
    ASSERT_TRUE(Step(0x2E, [] { return ComSet4066B(1); }));
    EXPECT_TRUE(Step(0x03, [] { return ComIspStart(); }));
}

TEST_F(ComSteps, ChipIdAndCompareOutcomeReachTheWorker) {
    board.setChipId(0, 0x42);
    EnterIspOnSocketA();
    EXPECT_TRUE(Step(0x37, [] { return ComIspCmd49(); }));
    EXPECT_EQ(g_byReplyData[1], 0x42);
    EXPECT_TRUE(Step(0x3B, [] { return ComIspCmd09(); }));
    EXPECT_EQ(g_byReplyData[0], 0x42);

    const Bytes block(64, 0xFF);
    board.differAtCompare(0, 2);
    for (uint32_t expected : {1u, 0u, 1u}) {
        ASSERT_TRUE(Step(0x13, [&] { return ComIspCmd3A(0x00, block); }, 800));
        ASSERT_TRUE(Step(0x14, [] { return ComIspCmd0B(); }, 1000));
        EXPECT_EQ(g_bSkipBlockErase, expected);
    }
}

}  // namespace
