// The gang engine variants against the simulated board: each one's golden frame log of a
// one-socket run, and what sets single variants apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "engine_hid/site_steps.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "variant_table.h"

namespace {

// The image of each variant's one-socket run, and what the run meets: the frames that set the
// variant apart (handshake, chip ID, blocks, option block, pauses) stand in its golden log.
struct GoldenRun {
    size_t imageSize = 130;
    std::function<void(SimulatedGang&)> arrange = [](SimulatedGang&) {};
    int socket = 0;
};

// "Key Write" on with sixteen key bytes of their own: the key page follows the option block.
void StoreKey(SimulatedGang& g) {
    g.store("Key Write", 1);
    g.storeKeyBytes();
}

GoldenRun GoldenRunOf(const std::string& name) {
    // The read-back run alone in socket 2: its chip-ID pass pauses after every socket; with
    // the key page at the stored address, as the second handshake's and the 128-byte run.
    if (name == "GangProgramThreadOld") return {130, StoreKey, 1};
    if (name == "GangProgramThreadB") return {130, StoreKey};
    if (name == "GangProgramThread128") return {200, StoreKey};
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
        PrepareTargets(gang, facts, {golden.socket}, image);
        golden.arrange(gang);
        gang.run(variant.entry, image);

        ExpectGolden("engine_com", facts.golden, gang.exchangeLog());
        EXPECT_TRUE(Holds(gang, golden.socket, image));
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

// Every variant with its code two pages below the end of the flash: the erasing runs erase those
// two pages alone, each with its frame and the pause before its finish, and the image lands at
// the start address; a verify-only run finds it there.
TEST(GangVariants, EachRunsFromAStartAddressAboveZero) {
    for (const GangVariant& variant : GangVariants()) {
        const VariantFacts& facts = FactsOf(variant.name);
        if (facts.cycle == Cycle::LinkTry) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        const std::vector<uint8_t> image = PatternImage(130);
        PrepareTargets(gang, facts, {0}, {});
        const uint32_t flash = FlashSizeOfMode(facts.chipMode);
        const uint32_t start = flash - 0x200;
        g_nIspStartAddr = start;
        // A program run meets a used part: only what its page erase clears can take the image.
        gang.board.writeFlash(0, 0, std::vector<uint8_t>(facts.programs ? flash : 0, 0x00));
        if (!facts.programs) gang.board.writeFlash(0, start, image);
        gang.run(variant.entry, image);
        g_nIspStartAddr = 0;

        // Each page: its address frame, its erase frame, the pause, its finish.
        const std::regex page(strfmt("05  800 > 0F (08|0C) 01 01 ([0-9A-F]{2}) FF[^\n]*\n +0 0C  800 > 0F %02X 00 01 00 FF[^\n]*\n"
                                     " +%u 0D  800 > 0F (00|04) 00 01 00 FF",
                                     facts.pageErase.cmd, facts.pageErase.pauseMs));
        const std::string log = gang.exchangeLog();
        std::vector<uint32_t> pages;
        for (auto m = std::sregex_iterator(log.begin(), log.end(), page); m != std::sregex_iterator(); ++m) {
            const uint32_t p = static_cast<uint32_t>(std::stoul((*m)[2].str(), nullptr, 16));
            if (p < flash / 256) pages.push_back(p);
        }
        if (facts.pageErase.cmd == 0) {
            EXPECT_EQ(gang.framesOf(0x0F, 0x1C) + gang.framesOf(0x0F, 0x18), 0);
            continue;
        }
        EXPECT_EQ(pages, (std::vector<uint32_t>{start / 256, start / 256 + 1}));
        EXPECT_EQ(gang.framesOf(0x0F, 0x16) + gang.framesOf(0x0F, 0x12), 0);
        EXPECT_TRUE(Holds(gang, 0, image, start));
        EXPECT_TRUE(Holds(gang, 0, std::vector<uint8_t>(start, 0x00)));
        if (facts.cycle == Cycle::Board) {
            EXPECT_EQ(gang.bench.counters(), (Counters{1, 1, 0}));
        }
    }
}

// The chip-ID rule of each family for every chip mode its handshake greets: socket 3's chip
// passes or is refused by the mode's rule, socket 1's passes.
TEST(GangVariants, EachJudgesTheChipIdByItsChipMode) {
    struct Case {
        uint8_t mode;
        uint8_t id;
        bool accepted;
    };
    const std::map<IdRule, std::vector<Case>> rules = {
        {IdRule::Fixed, {{2, 0x57, true}, {2, 0x5A, false}, {3, 0x5A, true}, {3, 0x57, false}, {4, 0x11, true},
                         {6, 0x11, true}}},
        {IdRule::SecondFamily, {{5, 0xF0, true}, {5, 0x80, false}, {6, 0x80, true}, {6, 0xF0, false}}},
        {IdRule::FamilyC, {{7, 0xF3, true}, {7, 0x73, false}, {8, 0x8C, true}, {8, 0xF8, false}}},
        {IdRule::ByMode, {{7, 0xF7, true}, {7, 0x77, false}, {8, 0x88, true}, {8, 0xF8, false}, {9, 0xF0, true},
                          {9, 0xEF, false}, {10, 0x80, true}, {10, 0x7F, false}, {11, 0xFB, true}, {11, 0x7B, false},
                          {12, 0x8C, true}, {12, 0x0C, false}}},
    };
    for (const GangVariant& variant : GangVariants()) {
        VariantFacts facts = FactsOf(variant.name);
        if (facts.idRule == IdRule::None) continue;
        for (const Case& c : rules.at(facts.idRule)) {
            SCOPED_TRACE(testing::Message() << facts.name << " mode " << int(c.mode) << " id " << std::hex << int(c.id));
            SimulatedGang gang;
            facts.chipMode = c.mode;
            const std::vector<uint8_t> image = PatternImage(130);
            PrepareTargets(gang, facts, {0, 2}, image);
            gang.board.setChipId(2, c.id);
            gang.run(variant.entry, image);
            EXPECT_EQ(gang.bench.counters(), c.accepted ? (Counters{2, 2, 0}) : (Counters{2, 1, 1}));
            // Each refusal is told once per chip-ID request to the socket.
            const auto asked = static_cast<size_t>(gang.framesOf(0x0F, facts.chipIdCmd) / 2);
            EXPECT_EQ(gang.messages(), std::vector<std::string>(c.accepted ? 0 : asked, "Wrong Chip ID !"));
            EXPECT_GE(asked, 1u);
        }
    }
}

// An image that enables the code option and leaves its bytes 5 to 7 blank: the variants that ask
// raise the prompt with the option offset, and Abort ends the run before any target frame; the
// others program without asking.
TEST(GangVariants, OnlyTheVariantsThatAskForTheCodeOptionAsk) {
    for (const GangVariant& variant : VariantsOf(Cycle::Board)) {
        const VariantFacts& facts = FactsOf(variant.name);
        if (!facts.programs) continue;
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        PrepareTargets(gang, facts, {0}, {});
        gang.store("Option Addr", 0x80);
        gang.bench.page.onWarn = [](int, uint32_t) { return 3; };
        std::vector<uint8_t> image = PatternImage(0x80);
        for (uint8_t b : {0xA0, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}) image.push_back(b);
        gang.run(variant.entry, image);
        using P = RecordingPage::Prompt;
        const std::vector<P> prompts = facts.codeOptionPrompt ? std::vector<P>{{14, 5, 0x80}} : std::vector<P>{};
        EXPECT_EQ(gang.bench.page.prompts, prompts);
        EXPECT_EQ(gang.onlySwitchedOff(), facts.codeOptionPrompt);
        EXPECT_EQ(gang.bench.counters(), facts.codeOptionPrompt ? Counters{} : (Counters{1, 1, 0}));
    }
}
