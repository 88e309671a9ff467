// The gang engine variants against the simulated board: each one's golden frame log of a
// one-socket run, and what sets single variants apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/globals.h"
#include "engine_hid/site_steps.h"
#include "link/serial_port.h"
#include "support/golden_file.h"
#include "variant_table.h"

namespace {

// The image of each variant's one-socket run, and what the run meets: the frames that set the
// variant apart (handshake, chip ID, blocks, option block, pauses) stand in its golden log.
struct GoldenRun {
    size_t imageSize = 130;
    std::function<void(SimulatedGang&)> arrange = [](SimulatedGang&) {};
};

GoldenRun GoldenRunOf(const std::string& name) {
    if (name.find("128") != std::string::npos) return {200};  // one 128-byte block and a tail of 72
    if (name == "GangVerifyThreadC") return {130, [](SimulatedGang& g) { g.board.setChipId(0, 0x8C); }};
    // A tail of 36 bytes at 0x40, compared in a frame of 64 bytes.
    if (name == "GangVerifyThreadCompact") return {100, [](SimulatedGang& g) { g.store("Option Addr", 0x1000); }};
    // A short fill of 0xFF bytes up to the option block; the MTP part stays busy for two polls
    // after each byte, and gets its key page.
    const auto optionAt0x70 = [](SimulatedGang& g) { g.store("Option Addr", 0x70); };
    if (name == "GangProgramMtpThread")
        return {100, [optionAt0x70](SimulatedGang& g) { optionAt0x70(g), g.board.makeMtp(0, 2), g.store("Key Write", 1); }};
    if (name.find("Byte") != std::string::npos) return {100, optionAt0x70};
    return {};
}

}  // namespace

// Each variant's whole sequence on one socket (frames, tags, waits, and pauses from the test
// clock, with delays of their own so that every pause shows), the part it leaves and its counts.
TEST(GangVariants, EachRunsItsOwnSequenceOnOneSocket) {
    for (const GangVariant& variant : VariantsOf(Cycle::Board)) {
        const VariantFacts& facts = FactsOf(variant.name);
        SCOPED_TRACE(facts.name);
        const GoldenRun golden = GoldenRunOf(facts.name);
        SimulatedGang gang;
        g_nDelayCount = 7;
        gang.store("COM Extra Delay", 3);
        const std::vector<uint8_t> image = PatternImage(golden.imageSize);
        PrepareTargets(gang, facts, {0}, image);
        golden.arrange(gang);
        gang.run(variant.entry, image);

        ExpectGolden("engine_com", facts.golden, gang.exchangeLog());
        EXPECT_TRUE(Holds(gang, 0, image));
        EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        EXPECT_EQ(gang.bench.storedCounters(), facts.programs ? (Counters{1, 1, 0}) : Counters{});
        EXPECT_EQ(gang.bench.page.icons[engine_hid::ctl::kBurn], facts.burnIcon ? facts.burnIcon : facts.programs ? 168 : 170);
        EXPECT_TRUE(gang.messages().empty());
        EXPECT_FALSE(g_SerialPort.IsOpen());
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

// The compact run's key page lies at 0x4000, inside the code of a larger image of a 48 KB chip
// model: "Key Write" then refuses the run before any frame.
TEST(GangVariants, TheKeyPageIsNeverWrittenOverTheCode) {
    SimulatedGang gang;
    gang.store("Key Write", 1);
    VariantFacts facts = FactsOf("GangProgramThreadCompact");
    facts.chipMode = 7;
    PrepareTargets(gang, facts, {0}, {});
    gang.run(GangProgramThreadCompact, PatternImage(0x4100));
    EXPECT_EQ(gang.messages(), std::vector<std::string>{"Key page address 0x4000 lies on the code or the option block!"});
    EXPECT_TRUE(gang.board.log().empty());
}
