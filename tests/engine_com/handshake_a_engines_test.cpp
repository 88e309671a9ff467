// The runs of handshake A beyond their golden logs and the shared fault table: four numbered
// parts of the byte-wise run, the MTP part's busy polls, the verify-only run's bound, the guard.
#include <gtest/gtest.h>

#include <climits>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "engine_hid/site_steps.h"
#include "platform/strfmt.h"
#include "variant_table.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += strfmt(i == 0 ? "%02X" : " %02X", bytes[i]);
    return text;
}

void ExpectInOrder(const std::string& log, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        at = log.find(text, at);
        ASSERT_NE(at, std::string::npos) << text;
    }
}

}  // namespace

// Four targets, 100 bytes, option block at 0x200, serial numbers from "Serial No" 000100: every
// byte up to 0x207 a frame of its own, each part read back in 32-byte blocks and numbered in turn.
TEST(HandshakeARuns, TheByteWiseRunNumbersFourPartsItReadsBackIn32ByteBlocks) {
    SimulatedGang gang;
    gang.store("Option Addr", 0x200);
    gang.store("Gang Serial En", 1);
    IniSetSerialNo(0x100, g_strIniPath);
    const std::vector<uint8_t> image = PatternImage(100);
    gang.run(GangByteProgramThread, image);

    const std::string log = gang.exchangeLog();
    std::vector<std::string> frames;
    for (uint32_t a = 0; a < 0x208; ++a)
        frames.push_back(strfmt("> 0F 26 %02X 01 %02X FF", a & 0xFF, a < 100 ? image[a] : 0xFF));
    for (int socket = 0; socket < 4; ++socket)
        frames.insert(frames.end(), {"> 0F 03 00 20 00 FF", "> 0F 03 20 20 00 FF", "> 0F 03 40 20 00 FF", "> 0F 03 60 04 00 FF"});
    ExpectInOrder(log, frames);
    for (uint8_t socket = 0; socket < 4; ++socket) {
        EXPECT_TRUE(Holds(gang, socket, image)) << int(socket);
        EXPECT_EQ(gang.board.target(socket)->optionBlock(0x200),
                  (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, socket, 0xFF, 0x0E, 0x00, 0x00}));
    }
    EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000104");
    EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x104u);
    EXPECT_EQ(gang.bench.counters(), (Counters{4, 4, 0}));
}

// The byte frames (0F 26 l 01 d) a run sent.
int ByteFrames(const std::string& log) {
    int count = 0;
    for (size_t at = log.find("> 0F 26 "); at != std::string::npos; at = log.find("> 0F 26 ", at + 1))
        count += log.compare(at + 11, 3, "01 ") == 0 ? 1 : 0;
    return count;
}

// Both byte-wise program runs, two targets: the fill of 0xFF bytes ends with the option block's
// last byte at P + 7 wherever the code starts, so no frame addresses the flash beyond it or past
// the chip's end; Cancel stops a run of 16 KB of byte frames at the next byte.
TEST(HandshakeARuns, ByteWiseProgrammingEndsAtTheOptionBlockOrAtCancel) {
    const struct {
        const char* name;
        uint32_t optionBelowEnd;  // P = the flash's end minus this, else the variant's own P
        uint32_t startBelowP;     // 0: the code starts at 0
        size_t imageSize;
        int cancelAtByte;         // 0: no Cancel
        int byteFrames;
        Counters counted;
    } cases[] = {
        {"a start address", 0, 0x40, 0x20, 0, 0x48, {2, 2, 0}},
        {"the last page of the flash", 8, 0xF8, 0x20, 0, 0x100, {2, 2, 0}},
        {"Cancel", 8, 0, 0x4000, 100, 100, {2, 0, 2}},
    };
    for (const GangVariant variant : {GangVariant{"GangByteProgramThread", GangByteProgramThread},
                                      GangVariant{"GangProgramMtpThread", GangProgramMtpThread}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(variant.name) + ", " + c.name);
            const VariantFacts& facts = FactsOf(variant.name);
            const std::vector<uint8_t> image = PatternImage(c.imageSize);
            SimulatedGang gang;
            PrepareTargets(gang, facts, {0, 2}, {});
            const uint32_t flash = FlashSizeOfMode(facts.chipMode);
            const uint32_t p = c.optionBelowEnd != 0 ? flash - c.optionBelowEnd : facts.optionAddr;
            gang.store("Option Addr", p);
            g_nIspStartAddr = c.startBelowP != 0 ? p - c.startBelowP : 0;
            if (c.cancelAtByte != 0) gang.onNote = StopAtStep("step 3A", c.cancelAtByte);
            gang.run(variant.entry, image);

            EXPECT_EQ(ByteFrames(gang.exchangeLog()), c.byteFrames);
            EXPECT_EQ(gang.bench.counters(), c.counted);
            EXPECT_TRUE(gang.messages().empty());
            EXPECT_TRUE(c.cancelAtByte != 0 || Holds(gang, 2, image, g_nIspStartAddr));
        }
    }
}

// The MTP part answers each option byte busy for a number of status polls: up to four polls the
// byte is written; a part still busy at the fifth fails the run, every socket with it. A byte
// whose status reports the program-memory error fails its part there. Writes and polls answered
// without the status byte report nothing: one poll a byte, and every part passes.
TEST(HandshakeARuns, AnMtpPartStillBusyAtTheFifthPollFailsTheRun) {
    const struct {
        int polls;
        bool programError;
        std::vector<std::string> shown;
        Counters counted;
        int pollFrames;
        bool statusless = false;
    } cases[] = {
        {2, false, {}, {4, 4, 0}, 4 * 8, true},
        {2, false, {}, {4, 4, 0}, 4 * 8 * 2},
        {0, true, {"IC1 program memory error at 0x140!!!", "IC2 program memory error at 0x140!!!",
                   "IC3 program memory error at 0x140!!!", "IC4 program memory error at 0x140!!!"}, {4, 0, 4}, 0},
        {5, false, {"MTP always busy!"}, {4, 0, 4}, 5},
        {INT_MAX, true, {"program memory may be damage!"}, {4, 0, 4}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strfmt("%d%s", c.polls, c.statusless ? " without status" : ""));
        SimulatedGang gang;
        PrepareTargets(gang, FactsOf("GangProgramMtpThread"), {0, 1, 2, 3}, {});
        for (int socket = 0; socket < 4; ++socket) gang.board.makeMtp(socket, c.polls, c.programError);
        if (c.statusless) {
            gang.board.answerWritesMinimally(true);
            for (int nth = 1; nth <= 4 * 8 * 5; ++nth) gang.board.cutReplyAt(sim::TargetFrame(0x09), nth, 0);
        }
        gang.run(GangProgramMtpThread, PatternImage(100));
        EXPECT_EQ(gang.messages(), c.shown);
        EXPECT_EQ(gang.bench.counters(), c.counted);
        EXPECT_EQ(gang.framesOf(0x0F, 0x09), c.pollFrames);
        const std::array<uint8_t, 8> written = {0xFA, 0, 0, 0, 0xFF, 0x04, 0, 0};
        EXPECT_EQ(gang.board.target(3)->optionBlock(0x140) == written, c.shown.empty());
    }
}

// Finished parts hold the image up to the option block and a block of their own at P: the
// verify-only run compares every image byte below P, the last frame carrying only what is left
// (its count byte says how many), and never the block. A part that differs just below P fails.
TEST(HandshakeARuns, TheVerifyOnlyRunComparesUpToTheOptionBlock) {
    const struct {
        uint32_t optionAddr;  // 0: the chip mode's, 0x3FF8
        size_t imageSize;
        uint32_t differsAt;   // 0: nowhere
        uint32_t lastFrameAt;
        uint8_t lastFrameCount;
        Counters counted;
    } cases[] = {
        {0, 0x4000, 0, 0x3FC0, 56, {1, 1, 0}},
        {0, 0x4000, 0x3FF0, 0x3FC0, 56, {1, 0, 1}},
        {0x1000, 0x1008, 0, 0xFC0, 64, {1, 1, 0}},
        {0x1000, 0x1008, 0xFF8, 0xFC0, 64, {1, 0, 1}},
        {0x38, 0x40, 0, 0, 56, {1, 1, 0}},
        {0x38, 0x40, 0x37, 0, 56, {1, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strfmt("%X %X", c.optionAddr, c.differsAt));
        const std::vector<uint8_t> image = PatternImage(c.imageSize);
        SimulatedGang gang;
        PrepareTargets(gang, FactsOf("GangVerifyThreadA"), {0}, image);
        if (c.optionAddr != 0) gang.store("Option Addr", c.optionAddr);
        const uint32_t p = c.optionAddr != 0 ? c.optionAddr : 0x3FF8;
        gang.board.writeFlash(0, p, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x02, 0xFF, 0x0E, 0x00, 0x00});
        if (c.differsAt != 0) gang.board.writeFlash(0, c.differsAt, std::vector<uint8_t>{uint8_t(~image[c.differsAt])});
        gang.run(GangVerifyThreadA, image);

        const std::string log = gang.exchangeLog();
        const size_t last = log.rfind("> 0F 3A ");
        ASSERT_NE(last, std::string::npos);
        EXPECT_EQ(log.substr(last, log.find(" |", last) - last),
                  strfmt("> 0F 3A %02X %02X ", c.lastFrameAt & 0xFF, c.lastFrameCount) +
                      Hex(&image[c.lastFrameAt], c.lastFrameCount) + " FF");
        EXPECT_EQ(gang.bench.counters(), c.counted);
        EXPECT_TRUE(gang.messages().empty());
    }
}

// 0xA5 and 0x5A at P+4 lock these parts: without the key nibble 0xA at P the run stops at the
// stop prompt, with it the warning asks (Abort ends the run, the end only switching the sockets
// off); 0x00 locks nothing here. The twin that only verifies writes the option block too, so it
// asks as well.
TEST(HandshakeARuns, TheGuardAsksBeforeAPartIsLocked) {
    const struct {
        uint8_t byteP, byteP4;
        std::vector<RecordingPage::Prompt> prompts;
        bool framesSent;
    } cases[] = {
        {0x53, 0xA5, {{13, 4, 0x144}}, false},
        {0xA3, 0x5A, {{14, 3, 0x144}}, false},
        {0x53, 0x00, {}, true},
    };
    for (const GangVariant variant : {GangVariant{"GangByteProgramThread", GangByteProgramThread},
                                      GangVariant{"GangByteVerifyThread", GangByteVerifyThread},
                                      GangVariant{"GangProgramMtpThread", GangProgramMtpThread}}) {
        const char* name = variant.name;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + strfmt(" %02X", c.byteP4));
            std::vector<uint8_t> image = PatternImage(0x148);
            image[0x140] = c.byteP;
            image[0x144] = c.byteP4;
            SimulatedGang gang;
            PrepareTargets(gang, FactsOf(name), {0}, image);
            gang.bench.page.onWarn = [](int, uint32_t) { return 3; };
            gang.run(variant.entry, image);
            EXPECT_EQ(gang.bench.page.prompts, c.prompts);
            EXPECT_EQ(!gang.onlySwitchedOff(), c.framesSent);
        }
    }
}
