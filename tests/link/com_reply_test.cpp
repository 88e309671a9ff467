#include "link/com_reply.h"

#include "core/globals.h"
#include "link/com_frames.h"
#include "support/gang_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Wire(std::initializer_list<ComReply> replies) {
    Bytes bytes;
    for (const ComReply& reply : replies) {
        const Bytes one = EncodeReply(reply);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

// The wire whole, split in two at every point, and a byte at a time.
std::vector<std::vector<Bytes>> Deliveries(const Bytes& wire) {
    std::vector<std::vector<Bytes>> deliveries = {{wire}};
    for (size_t at = 1; at < wire.size(); ++at)
        deliveries.push_back({Bytes(wire.begin(), wire.begin() + at), Bytes(wire.begin() + at, wire.end())});
    std::vector<Bytes> bytes;
    for (uint8_t b : wire) bytes.push_back({b});
    deliveries.push_back(bytes);
    return deliveries;
}

// Whole replies with a right sum, as they may stand in the data of a read.
std::vector<std::pair<const char*, Bytes>> LookAlikes(ReplyKey read) {
    return {
        {"a handshake reply", EncodeReply({0x55, 0x00, 0, {}})},
        {"an empty reply to the read", EncodeReply({read.src, read.cmd, 0, {}})},
        {"a shorter reply to the read", EncodeReply({read.src, read.cmd, 0, {0xAA, 0x12}})},
        {"a chip-ID reply", EncodeReply({0x0F, 0x49, 0, {0x57}})},
        {"a differing compare result", EncodeReply({0x0F, 0x0B, 1, {}})},
    };
}

// The two reads, of the target and of the board's serial flash, asking for n bytes.
struct Read {
    Bytes frame;
    ReplyKey key;
};
std::vector<Read> Reads(uint8_t n) {
    return {{{0x0F, 0x03, 0x00, n, 0x00, 0xFF}, {0x0F, 0x03}}, {{0xF0, 0x24, n, 0x03, 0x00, 0x50, 0x00, 0xFF}, {0xF0, 0x24}}};
}

// n data bytes of a read that hold the look-alike at offset.
Bytes DataHolding(const Bytes& lookAlike, size_t offset, size_t n) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(0x31 + 7 * i);
    std::copy(lookAlike.begin(), lookAlike.end(), data.begin() + static_cast<ptrdiff_t>(offset));
    return data;
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
    constexpr size_t kBlock = 16;
    const auto byte = [](int index, uint8_t value) { return [=] { EXPECT_EQ(g_byReplyData[index], value); }; };
    const auto block = [](Bytes want) {
        want.resize(kBlock, 0xFF);
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
    const Bytes twenty = DataHolding({}, 0, 20);
    std::vector<Case> cases = {
        {"chip id of tag 0x37 in byte 1", {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37, Wire({{0x0F, 0x49, 0, {0x5A}}}), byte(1, 0x5A)},
        {"only the first of two merged replies", {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}, 0x37,
         Wire({{0x0F, 0x49, 0, {0x57}}, {0x0F, 0x49, 0, {0x11}}}), byte(1, 0x57)},
        {"chip id of tag 0x3B in byte 0", {0x0F, 0x09, 0x00, 0x01, 0x00, 0xFF}, 0x3B, Wire({{0x0F, 0x09, 0, {0xF7}}}), byte(0, 0xF7)},
        {"busy poll with tag 0x3B in byte 0", {0x0F, 0x09, 0x02, 0x01, 0x00, 0xFF}, 0x3B, Wire({{0x0F, 0x09, 0, {0x08}}}), byte(0, 0x08)},
        {"write status with tag 0x3A in byte 0", {0x0F, 0x26, 0x10, 0x01, 0xAB, 0xFF}, 0x3A, Wire({{0x0F, 0x26, 0, {0x04}}}), byte(0, 0x04)},
        {"differing block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, Wire({{0x0F, 0x0B, 1, {}}}), skip(0)},
        {"matching block", {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}, 0x14, Wire({{0x0F, 0x0B, 0, {}}}), skip(1)},
        {"a write's status stays out of the block buffer", {0x0F, 0x22, 0x00, 0x01, 0xAB, 0xFF}, 0x07,
         Wire({{0x0F, 0x22, 0, {0x00}}}), block({})},
        // A board may answer a write without the target's status: that write reports nothing,
        // and never the status of an earlier one.
        {"a write's status byte", write1, 0x07, Wire({{0x0F, 0x22, 0, {0x04}}}), status(0x04)},
        {"a write reply without a status byte", write1, 0x07, Wire({{0x0F, 0x22, 0, {}}}), status(std::nullopt)},
        {"a read's byte is no write status", {0x0F, 0x03, 0x00, 0x01, 0x00, 0xFF}, 0x01, Wire({{0x0F, 0x03, 0, {0x04}}}),
         status(std::nullopt)},
        {"read cut to the block buffer", {0x0F, 0x03, 0x00, 0x14, 0x00, 0xFF}, 0x01, Wire({{0x0F, 0x03, 0, twenty}}),
         block(Bytes(twenty.begin(), twenty.begin() + kBlock))},
        // More than two replies' worth in one read: the reply is not cut off to bound the buffer.
        {"a longest read and noise in one piece", {0x0F, 0x03, 0x00, 0xFF, 0x00, 0xFF}, 0x01,
         Concat(Wire({{0x0F, 0x03, 0, Bytes(255, 0x2B)}}), Bytes(300, 0x00)), block(Bytes(kBlock, 0x2B))},
        // The chatter of a line: a header of the read's kind that asks for more than the read did.
        {"a read after a longer header of its kind", {0x0F, 0x03, 0x00, 0x0C, 0x00, 0xFF}, 0x01,
         Concat({0xAA, 0x0F, 0x03, 0x00, 0x40}, Wire({{0x0F, 0x03, 0, Bytes(12, 0x3C)}})), block(Bytes(12, 0x3C))},
        // A start of the step's own kind in the noise just before its reply: the reply's first
        // bytes give it a length no reply but a read's is waited for.
        {"a write's status after a start of its kind", {0x0F, 0x26, 0x10, 0x01, 0xAB, 0xFF}, 0x3A,
         Concat({0xAA, 0x0F, 0x26}, Wire({{0x0F, 0x26, 0, {0x04}}})), byte(0, 0x04)},
    };
    // A read whose data hold a whole reply, at their start or end: the data arrive whole,
    // however the line splits them.
    for (const Read& read : Reads(12))
        for (const auto& [name, lookAlike] : LookAlikes(read.key))
            for (const size_t at : {size_t{0}, 12 - lookAlike.size()}) {
                const Bytes data = DataHolding(lookAlike, at, 12);
                cases.push_back({name, read.frame, 0x01, Wire({{read.key.src, read.key.cmd, 0, data}}), block(data)});
            }
    for (const Case& c : cases) {
        for (const std::vector<Bytes>& pieces : Deliveries(c.wire)) {
            SCOPED_TRACE(testing::Message() << c.name << " in " << pieces.size() << " pieces, the first of " << pieces[0].size());
            ASSERT_TRUE(g_pBlockBuf.allocate(kBlock));
            g_byReplyData[0] = g_byReplyData[1] = 0;
            g_bSkipBlockErase = 2;
            ComReplyReceiver receiver;
            ComBeginStep(c.tag);
            receiver.frameWriting(c.frame, c.tag);
            for (const Bytes& piece : pieces) receiver.bytesRead(piece);
            EXPECT_TRUE(g_hReplyEvent.isSet());
            c.check();
        }
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
