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

// The MTP part answers each option byte busy for a number of status polls: up to four polls the
// byte is written; a part still busy at the fifth fails the run, every socket with it.
TEST(HandshakeARuns, AnMtpPartStillBusyAtTheFifthPollFailsTheRun) {
    const struct {
        int polls;
        bool programError;
        std::vector<std::string> shown;
        Counters counted;
        int pollFrames;
    } cases[] = {
        {2, false, {}, {4, 4, 0}, 4 * 8 * 2},
        {0, true, {}, {4, 4, 0}, 0},  // the error bit alone: the byte is written
        {5, false, {"MTP always busy!"}, {4, 0, 4}, 5},
        {INT_MAX, true, {"program memory may be damage!"}, {4, 0, 4}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.polls);
        SimulatedGang gang;
        PrepareTargets(gang, FactsOf("GangProgramMtpThread"), {0, 1, 2, 3}, {});
        for (int socket = 0; socket < 4; ++socket) gang.board.makeMtp(socket, c.polls, c.programError);
        gang.run(GangProgramMtpThread, PatternImage(100));
        EXPECT_EQ(gang.messages(), c.shown);
        EXPECT_EQ(gang.bench.counters(), c.counted);
        EXPECT_EQ(gang.framesOf(0x0F, 0x09), c.pollFrames);
        const std::array<uint8_t, 8> written = {0xFA, 0, 0, 0, 0xFF, 0x04, 0, 0};
        EXPECT_EQ(gang.board.target(3)->optionBlock(0x140) == written, c.shown.empty());
    }
}

// Option block at 0x1000 and 0x2000 bytes: 63 blocks and a last block of 8 bytes padded with
// 0xFF, compared on the target; the 56 bytes below the option block are never compared. An
// offset that leaves nothing below it is refused before any frame.
TEST(HandshakeARuns, TheVerifyOnlyRunStops56BytesShortOfTheOptionBlock) {
    std::vector<uint8_t> image = PatternImage(0x2000);
    std::fill(image.begin() + 0xFC8, image.begin() + 0x1000, 0xFF);
    SimulatedGang gang;
    gang.store("Option Addr", 0x1000);
    PrepareTargets(gang, FactsOf("GangVerifyThreadA"), {0}, image);
    gang.board.writeFlash(0, 0x1000, std::vector<uint8_t>(8, 0x00));
    gang.run(GangVerifyThreadA, image);
    ExpectInOrder(gang.exchangeLog(), {"> 0F 08 01 01 0F FF", "> 0F 3A 00 40 " + Hex(&image[0xF00], 64) + " FF",
                                       "> 0F 3A C0 40 " + Hex(&image[0xFC0], 64) + " FF", "> 0F 0B 00 01 00 FF",
                                       "> 0F 0C 02 01 01 FF"});
    EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));

    SimulatedGang refused;
    refused.store("Option Addr", 56);
    refused.run(GangVerifyThreadA, image);
    EXPECT_EQ(refused.messages(), std::vector<std::string>{"Option address 0x38 leaves no code to verify!"});
    EXPECT_TRUE(refused.board.log().empty());
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
