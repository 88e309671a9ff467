// The gang engine variants against the simulated board: each one's golden frame log of a
// one-socket run, and what sets single variants apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/globals.h"
#include "engine_hid/site_steps.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "variant_table.h"

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) text += strfmt(text.empty() ? "%02X" : " %02X", b);
    return text;
}

// The one-socket run of each variant: its image size, what it meets, and the frames that its
// description names, which must stand in its log in this order.
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
        {"GangVerifyThreadC",
         {130, [](SimulatedGang& g) { g.board.setChipId(0, 0x8C); }, {"> 0F 09 00 01 00 FF | < AA 0F 09 00 01 8C A5"}}},
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

// Each variant's whole sequence on one socket (frames, tags, waits, and pauses from the test
// clock, with delays of their own so that every pause shows), the part it leaves and its counts.
TEST(GangVariants, EachRunsItsOwnSequenceOnOneSocket) {
    for (const GangVariant& variant : GangVariants()) {
        const VariantFacts& facts = FactsOf(variant.name);
        SCOPED_TRACE(facts.name);
        const GoldenRun& golden = GoldenRuns().at(facts.name);
        SimulatedGang gang;
        g_nDelayCount = 7;
        gang.store("COM Extra Delay", 3);
        const std::vector<uint8_t> image = PatternImage(golden.imageSize);
        PrepareTargets(gang, facts, {0}, image);
        golden.arrange(gang);
        gang.run(variant.entry, image);

        const std::string log = gang.exchangeLog();
        ExpectGolden("engine_com", facts.golden, log);
        size_t at = 0;
        for (const std::string& frame : golden.frames) EXPECT_NE(at = log.find(frame, at), std::string::npos) << frame;
        EXPECT_TRUE(Holds(gang, 0, image));
        EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        EXPECT_EQ(gang.bench.storedCounters(), facts.programs ? (Counters{1, 1, 0}) : Counters{});
        EXPECT_EQ(gang.bench.page.icons[engine_hid::ctl::kBurn], facts.programs ? 168 : 170);
        EXPECT_TRUE(gang.messages().empty());
        EXPECT_FALSE(g_SerialPort.IsOpen());
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
    for (const GangVariant& variant : GangVariants()) {
        const VariantFacts& facts = FactsOf(variant.name);
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

// Two targets and 1000 bytes: one bar of 250 steps (divisor 12) over the programming and both
// sockets' verify, socket 1 going on from its segment at 1000 / 12.
TEST(GangVariants, TheCompactRunKeepsOneBarOverProgrammingAndVerify) {
    SimulatedGang gang;
    PrepareTargets(gang, FactsOf("GangProgramThreadCompact"), {0, 2}, {});
    gang.run(GangProgramThreadCompact, PatternImage(1000));
    EXPECT_EQ(gang.bench.page.ranges.back(), (std::pair{0, 250}));
    const auto& positions = gang.bench.page.positions;
    EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), 2000 / 12 + 960 / 12);
    const std::array<int, 2> handOver = {960 / 12, 1000 / 12 + 64 / 12};
    EXPECT_NE(std::search(positions.begin(), positions.end(), handOver.begin(), handOver.end()), positions.end());
    EXPECT_EQ(gang.bench.counters(), (Counters{2, 2, 0}));
}

// The compact run's key page lies at 0x4000: written after the option block when the code ends
// below it, refused before any frame when the code would cover it.
TEST(GangVariants, TheKeyPageIsNeverWrittenOverTheCode) {
    for (size_t size : {0x3000, 0x4100}) {
        SCOPED_TRACE(size);
        SimulatedGang gang;
        gang.store("Key Write", 1);
        VariantFacts facts = FactsOf("GangProgramThreadCompact");
        facts.chipMode = 7;
        PrepareTargets(gang, facts, {0}, {});
        gang.run(GangProgramThreadCompact, PatternImage(size));
        if (size < 0x4000) {
            EXPECT_NE(gang.exchangeLog().find("> 0F 08 01 01 40 FF | < AA 0F 08 00 00 17\n    0 0C  800 > 0F 18 00 01 00 FF"),
                      std::string::npos);
            EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        } else {
            EXPECT_EQ(gang.messages(), std::vector<std::string>{"Key page address 0x4000 lies on the code or the option block!"});
            EXPECT_TRUE(gang.board.log().empty());
        }
    }
}
