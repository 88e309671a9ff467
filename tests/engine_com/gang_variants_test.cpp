// The gang engine variants against the simulated board: each one's golden frame log of a
// one-socket run, and the frames and results that set them apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/validators.h"
#include "core/registry_key.h"
#include "core/registry_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_hid/site_steps.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "variant_table.h"

namespace {

using engine_hid::ctl::kSiteIcon1;

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) text += strfmt(text.empty() ? "%02X" : " %02X", b);
    return text;
}

bool Holds(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& bytes, size_t at = 0) {
    const auto flash = gang.board.target(socket)->flash;
    return std::equal(bytes.begin(), bytes.end(), flash.begin() + static_cast<ptrdiff_t>(at));
}

// The lines of the log that hold each text, in this order.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        at = log.find(text, at);
        ASSERT_NE(at, std::string::npos) << text << "\n" << log;
    }
}

// The one-socket scenario of each variant, with the frames its description names.
struct GoldenRun {
    size_t imageSize;
    std::function<void(SimulatedGang&)> arrange;
    std::vector<std::string> frames;
};

const std::map<std::string, GoldenRun>& GoldenRuns() {
    const auto none = [](SimulatedGang&) {};
    const std::string secondHandshake = "> 00 FF 55 0F 52 32 33 32 31 36 FF";
    const std::vector<uint8_t> image100 = PatternImage(100);
    static const std::map<std::string, GoldenRun> runs = {
        // Mode 2, option offset 0x3FF8, serial bytes fixed at 00 00 00.
        {"GangProgramThreadOld",
         {130, none,
          {"> 0F 26 00 40 ", "> 0F 26 40 40 ", "> 0F 26 80 02 80 81 FF", "> 0F 03 00 40 00 FF", "> 0F 03 40 40 00 FF",
           "> 0F 03 80 02 00 FF", "> 0F 0C 01 01 3F FF", "> 0F 22 F8 08 AA 00 00 00 FF 0E 00 00 FF"}}},
        {"GangVerifyThreadOld", {130, none, {"> 0F 03 00 40 00 FF", "> 0F 03 80 02 00 FF"}}},
        {"GangProgramThreadB",
         {130, none, {secondHandshake, "> 0F 44 20 01 02 FF", "> 0F 22 F8 08 FA 00 00 00 FF FF FF FF FF"}}},
        {"GangVerifyThreadB", {130, none, {secondHandshake, "> 0F 44 20 01 02 FF", "> 0F 03 80 02 00 FF"}}},
        {"GangProgramThreadB2",
         {130, none, {secondHandshake, "> 0F 44 20 01 02 FF", "> 0F 22 F8 08 FA 00 00 00 FF FF FF FF FF"}}},
        {"GangVerifyThreadB2", {130, none, {secondHandshake, "> 0F 44 20 01 02 FF", "> 0F 3A 80 40 80 81 FF"}}},
        // L = 200: one block of 128 bytes in a frame of 133, and a tail of 72.
        {"GangProgramThread128", {200, none, {"> 0F 26 00 80 00 01 ", "7D 7E 7F FF |", "> 0F 26 80 48 80 81 "}}},
        {"GangProgramThread128B", {200, none, {"> 0F 12 00 01 00 FF", "  100 0D  500 > 0F 04 00 01 00 FF", "10520 end"}}},
        {"GangVerifyThreadC", {130, [](SimulatedGang& g) { g.board.setChipId(0, 0x8C); }, {"> 0F 09 00 01 00 FF | < AA 0F 09 00 01 8C"}}},
        {"GangProgramThreadCompact", {130, none, {"> 00 FF 55 0F 52 32 33 32 30 38 FF | < AA 55"}}},
        // A tail of 36 bytes compared in a frame of 64, its last 28 bytes 0xFF.
        {"GangVerifyThreadCompact",
         {100, [](SimulatedGang& g) { g.store("Option Addr", 0x1000); },
          {"> 0F 3A 40 40 " + Hex(std::vector<uint8_t>(image100.begin() + 64, image100.end())) + " " +
           Hex(std::vector<uint8_t>(28, 0xFF)) + " FF"}}},
    };
    return runs;
}

}  // namespace

// Each variant's whole sequence on one socket (frames, tags, waits, pauses from the test clock),
// the part it leaves behind and its counts.
TEST(GangVariants, EachRunsItsOwnSequenceOnOneSocket) {
    for (const auto& [variant, facts] : Variants()) {
        SCOPED_TRACE(facts.name);
        const GoldenRun& golden = GoldenRuns().at(facts.name);
        SimulatedGang gang;
        // Delays of their own, so that every pause shows in the log.
        g_nDelayCount = 7;
        gang.store("COM Extra Delay", 3);
        const std::vector<uint8_t> image = PatternImage(golden.imageSize);
        PrepareTargets(gang, facts, {0}, image);
        golden.arrange(gang);
        gang.run(variant.entry, image);

        const std::string log = gang.exchangeLog();
        ExpectGolden("engine_com", facts.golden, log);
        ExpectInOrder(log, golden.frames);
        EXPECT_TRUE(Holds(gang, 0, image));
        EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        EXPECT_EQ(gang.bench.storedCounters(), facts.programs ? (Counters{1, 1, 0}) : Counters{});
        EXPECT_EQ(gang.bench.page.icons[engine_hid::ctl::kBurn], facts.programs ? 168 : 170);
        EXPECT_TRUE(gang.messages().empty());
        EXPECT_FALSE(g_SerialPort.IsOpen());
    }
}

// A verify-only variant writes nothing to a target; a part whose tail differs fails, shown with
// the tail's offset where the variant names it.
TEST(GangVariants, VerifyOnlyRunsChangeNothingAndNameADifferingTail) {
    const std::map<std::string, std::vector<std::string>> shown = {
        {"GangVerifyThreadOld", {"Verified Failure at 0x80!!!"}}, {"GangVerifyThreadB", {"Verified Failure at 0x80!!!"}},
        {"GangVerifyThreadB2", {}},                                {"GangVerifyThreadC", {"Verified Failure at 0x80!!!"}},
        {"GangVerifyThreadCompact", {"Verified Failure at 0x80!!!"}}};
    const std::vector<uint8_t> image = PatternImage(130);
    for (const auto& [variant, facts] : Variants()) {
        if (facts.programs) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        PrepareTargets(gang, facts, {0, 1}, image);
        gang.board.writeFlash(0, 0x81, std::vector<uint8_t>{0x00});
        const auto before = gang.board.target(0)->flash;
        gang.run(variant.entry, image);
        for (uint8_t cmd : {0x26, 0x22, 0x16, 0x12, 0x1C, 0x18, 0x04, 0x00}) EXPECT_EQ(gang.framesOf(0x0F, cmd), 0) << int(cmd);
        EXPECT_EQ(gang.board.target(0)->flash, before);
        EXPECT_EQ(gang.messages(), shown.at(facts.name));
        // The differing tail ends the pass: socket 2 is not reached and counts as failed.
        EXPECT_EQ(gang.bench.counters(), (Counters{2, 0, 2}));
        EXPECT_EQ(gang.bench.storedCounters(), Counters{});
        EXPECT_EQ(gang.bench.page.texts.count(engine_hid::ctl::kSerialLabel), 0u);
    }
}

// Before any frame: a verify-only variant whose option offset leaves nothing of the image to
// compare, and a program variant with no room for code.
TEST(GangVariants, AnOptionOffsetThatLeavesNoDataIsRefusedBeforeAnyFrame) {
    for (const auto& [variant, facts] : Variants()) {
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        // The handshake C verify bounds the data 56 bytes short of the offset.
        const uint32_t option = std::string(facts.name) == "GangVerifyThreadC" ? 56 : 0;
        gang.store("Option Addr", option);
        PrepareTargets(gang, facts, {0}, PatternImage(100));
        gang.run(variant.entry, PatternImage(100));
        EXPECT_EQ(gang.messages(), std::vector<std::string>{strfmt("Option address 0x%X leaves no code to %s!", option,
                                                                   facts.programs ? "program" : "verify")});
        EXPECT_TRUE(gang.board.log().empty());
        EXPECT_EQ(gang.bench.counters(), Counters{});
        EXPECT_FALSE(g_SerialPort.IsOpen());
    }
}

// Program variants: wrong chip IDs get no option block and use up no serial number; the serial
// numbers given out are stored, and the option bytes follow the variant's rule.
TEST(GangVariants, ProgramRunsGiveEveryGoodPartTheNextSerialNumber) {
    for (const auto& [variant, facts] : Variants()) {
        if (!facts.programs) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        IniSetSerialNo(0x12F, g_strIniPath);
        PrepareTargets(gang, facts, {0, 1, 2}, {});
        gang.board.setChipId(1, facts.wrongChipId);
        gang.run(variant.entry, PatternImage(300));
        const uint32_t option = GetFlashTailAddr(facts.chipMode);
        const bool landedRule = std::string(facts.name) == "GangProgramThreadOld";
        const uint8_t tail = landedRule ? g_OptionTailByMode[facts.chipMode][1] : 0xFF;
        EXPECT_EQ(gang.board.target(0)->optionBlock(static_cast<uint16_t>(option)),
                  (std::array<uint8_t, 8>{uint8_t(landedRule ? 0xAA : 0xFA), 0x00, 0x01, 0x2F, 0xFF, tail,
                                          landedRule ? g_OptionTailByMode[facts.chipMode][2] : uint8_t{0xFF},
                                          landedRule ? g_OptionTailByMode[facts.chipMode][3] : uint8_t{0xFF}}));
        EXPECT_TRUE(Holds(gang, 1, std::vector<uint8_t>(8, 0xFF), option));
        EXPECT_EQ(gang.board.target(2)->optionBlock(static_cast<uint16_t>(option))[3], 0x30);
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x131u);
        EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000131");
        // The compact run reads the chip ID in both of its scans.
        const size_t refusals = std::string(facts.name) == "GangProgramThreadCompact" ? 2 : 1;
        EXPECT_EQ(gang.messages(), std::vector<std::string>(refusals, "Wrong Chip ID !"));
        EXPECT_EQ(gang.bench.storedCounters(), (Counters{3, 2, 1}));
    }
}

// The port that does not open again after the erase: the found parts have just been erased, so
// they count as failed, and the operator is told why.
TEST(GangVariants, APortLostAfterTheEraseFailsTheErasedParts) {
    for (const auto& [variant, facts] : Variants()) {
        if (!facts.programs) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        // The read-back run opens the port again only where the system loses it.
        if (std::string(facts.name) == "GangProgramThreadOld") g_dwOsMinor = 1, g_dwOsMajor = 6;
        PrepareTargets(gang, facts, {0, 1, 2, 3}, {});
        gang.onNote = [](const std::string& note) {
            if (note == "reopen") SetComPortDeviceOverride("/nonexistent/tty");
        };
        gang.run(variant.entry, PatternImage(100));
        const auto messages = gang.messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.front(), "Can not open COM port !");
        EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 0, 4}));
        EXPECT_EQ(gang.framesOf(0x0F, 0x26), 0);
        EXPECT_FALSE(g_SerialPort.IsOpen());
    }
}

// Two targets and 1000 bytes: one bar of 250 steps (divisor 12) over the programming and both
// sockets' verify, each socket going on from its segment.
TEST(GangVariants, TheCompactRunKeepsOneBarOverProgrammingAndVerify) {
    SimulatedGang gang;
    PrepareTargets(gang, VariantTable()[9], {0, 2}, {});
    gang.run(GangProgramThreadCompact, PatternImage(1000));
    const auto& ranges = gang.bench.page.ranges;
    EXPECT_EQ(ranges.back(), (std::pair{0, 250}));
    const auto& positions = gang.bench.page.positions;
    EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), 1000 * 2 / 12 + 960 / 12);
    // The programming's last block, then socket 1 from its segment at 1000 / 12.
    const std::array<int, 2> handOver = {80, 88};
    EXPECT_NE(std::search(positions.begin(), positions.end(), handOver.begin(), handOver.end()), positions.end());
    EXPECT_EQ(gang.bench.counters(), (Counters{2, 2, 0}));
}

// The handshake C run greets every socket again after the erase: a target first found there
// is programmed and verified with the others, and counts, though it never had its chip ID read.
TEST(GangVariants, AfterTheEraseTheSecondPassFindsATargetTheScanMissed) {
    SimulatedGang gang;
    PrepareTargets(gang, VariantTable()[6], {0}, {});
    gang.board.insertTargetAt(sim::TargetFrame(0x16), 1, 3, 7);
    const std::vector<uint8_t> image = PatternImage(300);
    gang.run(GangProgramThread128, image);
    EXPECT_TRUE(Holds(gang, 3, image));
    EXPECT_EQ(gang.framesOf(0x0F, 0x09), 1);
    EXPECT_EQ(gang.bench.counters(), (Counters{2, 1, 1}));
}

// The compact run's key page lies at 0x4000: written after the option block when the code ends
// below it, refused before any frame when the code would cover it.
TEST(GangVariants, TheKeyPageIsNeverWrittenOverTheCode) {
    for (size_t size : {0x3000, 0x4100}) {
        SCOPED_TRACE(size);
        SimulatedGang gang;
        gang.store("Key Write", 1);
        PrepareTargets(gang, VariantTable()[9], {0}, {});
        g_nChipMode = 7;
        gang.populate({0});
        gang.run(GangProgramThreadCompact, PatternImage(size));
        if (size < 0x4000) {
            EXPECT_NE(gang.exchangeLog().find("> 0F 08 01 01 40 FF | < AA 0F 08 00 00 17\n"
                                              "    0 0C  800 > 0F 18 00 01 00 FF"),
                      std::string::npos);
            EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        } else {
            EXPECT_EQ(gang.messages(), std::vector<std::string>{"Key page address 0x4000 lies on the code or the option block!"});
            EXPECT_TRUE(gang.board.log().empty());
        }
    }
}

// Windows 6.2 loses the port after a target's release: the variants that say so wait six
// milliseconds more before they open it again.
TEST(GangVariants, OnWindows62AReleasedTargetGetsSixMorePauses) {
    // The 1 ms pauses right after the run's last leave frame.
    const auto pausesAfterLastLeave = [](const std::vector<std::string>& notes) {
        size_t at = notes.size();
        for (size_t i = 0; i < notes.size(); ++i) at = notes[i] == "send 10" ? i + 1 : at;
        long count = 0;
        while (at < notes.size() && notes[at++] == "pause 1") ++count;
        return count;
    };
    for (const auto& [variant, facts] : Variants()) {
        SCOPED_TRACE(facts.name);
        std::vector<long> pauses;
        for (uint32_t minor : {0, 2}) {
            SimulatedGang gang;
            g_dwOsMajor = minor == 0 ? 10 : 6;
            g_dwOsMinor = minor;
            PrepareTargets(gang, facts, {0, 1, 2, 3}, PatternImage(100));
            gang.run(variant.entry, PatternImage(100));
            EXPECT_EQ(gang.bench.counters(), (Counters{4, 4, 0}));
            pauses.push_back(pausesAfterLastLeave(gang.notes()));
        }
        EXPECT_EQ(pauses[1] - pauses[0], facts.sixMoreOn62 ? 6 : 0);
    }
}

// Socket 4 selected for its verify while switch C does not answer: no variant verifies it
// through another socket's switch. It fails; the other sockets pass unless the run ends.
TEST(GangVariants, AnUnansweredSwitchWhileSelectingSocketFourNeverLetsItPass) {
    const std::vector<uint8_t> image = PatternImage(100);
    for (const auto& [variant, facts] : Variants()) {
        SCOPED_TRACE(facts.name);
        int switchC = 0;
        {
            SimulatedGang gang;
            PrepareTargets(gang, facts, {0, 1, 2, 3}, image);
            gang.run(variant.entry, image);
            switchC = gang.framesOf(0xF0, 0x0C);
        }
        SimulatedGang gang;
        PrepareTargets(gang, facts, {0, 1, 2, 3}, image);
        // The last F0 0C opens switch C at the end; the one before selects socket 4.
        gang.board.dropReplyAt(sim::BoardFrame(0x0C), switchC - 1);
        gang.run(variant.entry, image);
        const Socket4C outcome = Socket4CTimeout(facts);
        std::vector<std::string> shown;
        if (outcome != Socket4C::Skipped) shown.push_back("ISP_4066C timeout!");
        if (outcome == Socket4C::EndsRun) shown.push_back("Wait COM port timeout, pls check MCU and COM port status!");
        EXPECT_EQ(gang.messages(), shown);
        EXPECT_EQ(gang.bench.counters(), outcome == Socket4C::EndsRun ? (Counters{4, 0, 4}) : (Counters{4, 3, 1}));
        EXPECT_EQ(gang.bench.page.icons[kSiteIcon1 + 3], 151);
    }
}

// A serial number written into a part is stored even when the run then fails, so that it is
// never given out again.
TEST(GangVariants, ANumberGivenOutIsStoredWhenTheRunIsCancelled) {
    for (const auto& [variant, facts] : Variants()) {
        if (!facts.programs) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        IniSetSerialNo(0x500, g_strIniPath);
        PrepareTargets(gang, facts, {0, 1}, {});
        // Three blocks and a tail of socket 1, then Cancel at socket 2's first block.
        const char* verifyStep = facts.readsBack ? "step 01 800" : "step 13 800";
        gang.onNote = StopAtStep(verifyStep, 5);
        gang.run(variant.entry, PatternImage(200));
        EXPECT_EQ(gang.board.target(0)->optionBlock(static_cast<uint16_t>(GetFlashTailAddr(facts.chipMode)))[3], 0x00);
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x501u);
        EXPECT_EQ(gang.bench.counters(), (Counters{2, 0, 2}));
    }
}
