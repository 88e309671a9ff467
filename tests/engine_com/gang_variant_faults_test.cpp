// Every gang engine variant against one table of faults of the board and the targets: each run
// ends with the busy flag clear and the port closed, and no part counts as passed unless it
// holds the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/globals.h"
#include "engine_hid/site_steps.h"
#include "link/serial_port.h"
#include "variant_table.h"

namespace {

using engine_hid::ctl::kSiteIcon1;
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

bool HoldsImage(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& image) {
    const auto flash = gang.board.target(socket)->flash;
    return std::equal(image.begin(), image.end(), flash.begin());
}

// Two equal blocks first: a read-back that compared an earlier block's bytes would pass them.
std::vector<uint8_t> FaultImage() {
    std::vector<uint8_t> image = PatternImage(300);
    std::copy_n(image.begin(), 64, image.begin() + 64);
    return image;
}

// The parts of sockets that passed and of those that failed, as the page shows them.
void ExpectResults(const SimulatedGang& gang, std::array<int, 4> icons) {
    for (int socket = 0; socket < 4; ++socket)
        EXPECT_EQ(gang.bench.page.icons.at(kSiteIcon1 + socket), icons[socket]) << socket;
}

constexpr std::array<int, 4> kSecondFails = {150, 151, 150, 150};

struct Fault {
    const char* name;
    std::function<bool(const VariantFacts&)> appliesTo;
    std::function<void(SimulatedGang&, const VariantFacts&)> arrange;
    std::function<void(const SimulatedGang&, const VariantFacts&)> expect;
};

const auto kEvery = [](const VariantFacts&) { return true; };
const auto kChipIdCheckers = [](const VariantFacts& f) { return f.wrongChipId != 0; };
const auto kReadBack = [](const VariantFacts& f) { return f.readsBack; };

void ExpectSecondRefused(const SimulatedGang& gang, const VariantFacts&) {
    const auto messages = gang.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Wrong Chip ID !"), messages.end());
    EXPECT_EQ(gang.bench.counters(), (Counters{4, 3, 1}));
    ExpectResults(gang, kSecondFails);
}

void ExpectFirstFailed(const SimulatedGang& gang, const VariantFacts&) {
    EXPECT_EQ(gang.bench.page.icons.at(kSiteIcon1), 151);
    EXPECT_LE(gang.bench.counters().pass, 3u);
}

const Fault kFaults[] = {
    {"a silent board", kEvery, [](SimulatedGang& g, const VariantFacts&) { g.board.setSilent(true); },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.messages(), (std::vector<std::string>{"2501 Hi Timeout!", kTimeoutText, "ISP_4066A timeout!",
                                                           "ISP_4066B timeout!", "ISP_4066C timeout!",
                                                           "ISP_4066D timeout!", "2501 Lo Timeout"}));
         const auto notes = g.notes();
         EXPECT_EQ(std::count(notes.begin(), notes.end(), "timeout"), 6);
         EXPECT_EQ(g.bench.counters(), Counters{});
     }},
    {"an empty socket", kEvery, [](SimulatedGang& g, const VariantFacts&) { g.board.removeTarget(1); },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{3, 3, 0}));
         EXPECT_TRUE(g.messages().empty());
         ExpectResults(g, {150, 152, 150, 150});
     }},
    {"a wrong chip ID", kChipIdCheckers,
     [](SimulatedGang& g, const VariantFacts& f) { g.board.setChipId(1, f.wrongChipId); }, ExpectSecondRefused},
    {"a chip-ID reply without its byte", kChipIdCheckers,
     [](SimulatedGang& g, const VariantFacts& f) { g.board.emptyReplyAt(sim::TargetFrame(f.chipIdCmd), 2); },
     ExpectSecondRefused},
    {"a differing block", kEvery,
     [](SimulatedGang& g, const VariantFacts& f) {
         if (f.programs)
             g.board.stickByte(1, 0x90);
         else
             g.board.writeFlash(1, 0x90, std::vector<uint8_t>{0x00});
     },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         ExpectResults(g, kSecondFails);
     }},
    // The reply comes once the run has given up on it, and answers nothing after.
    {"a late verify reply", kEvery,
     [](SimulatedGang& g, const VariantFacts& f) {
         g.board.lateReplyAt(sim::TargetFrame(f.readsBack ? 0x03 : 0x0B), 1);
         g.onNote = [&g](const std::string& note) {
             if (note == "timeout") g.board.releaseLateReplies();
         };
     },
     ExpectFirstFailed},
    {"Cancel between blocks", kEvery,
     [](SimulatedGang& g, const VariantFacts& f) { g.onNote = StopAtStep(f.blockStep, 2); },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
         EXPECT_TRUE(g.messages().empty());
         ExpectResults(g, {151, 151, 151, 151});
     }},
    {"a short read reply", kReadBack,
     [](SimulatedGang& g, const VariantFacts&) { g.board.faultReadAt(2, sim::GangBoard::ReadFault::Short); },
     ExpectFirstFailed},
    {"a stuck read reply", kReadBack,
     [](SimulatedGang& g, const VariantFacts&) { g.board.faultReadAt(2, sim::GangBoard::ReadFault::Stuck); },
     ExpectFirstFailed},
    {"an empty read reply", kReadBack,
     [](SimulatedGang& g, const VariantFacts&) { g.board.emptyReplyAt(sim::TargetFrame(0x03), 2); },
     ExpectFirstFailed},
    // Socket 4's target is taken out once the sockets are shown: it was found, so it counts.
    {"a target taken out after the scan", kEvery,
     [](SimulatedGang& g, const VariantFacts&) { g.board.removeTargetAt(sim::BoardFrame(0x01), 1, 3); },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 3), 151);
     }},
};

}  // namespace

TEST(GangVariantFaults, EveryVariantMeetsTheSameFaults) {
    const std::vector<uint8_t> image = FaultImage();
    for (const auto& [variant, facts] : Variants()) {
        for (const Fault& fault : kFaults) {
            if (!fault.appliesTo(facts)) continue;
            SCOPED_TRACE(std::string(facts.name) + ", " + fault.name);
            SimulatedGang gang;
            PrepareTargets(gang, facts, {0, 1, 2, 3}, image);
            fault.arrange(gang, facts);
            gang.run(variant.entry, image);
            EXPECT_FALSE(g_SerialPort.IsOpen());
            EXPECT_EQ(gang.bench.storedCounters(), facts.programs ? gang.bench.counters() : Counters{});
            for (int socket = 0; socket < 4; ++socket) {
                if (gang.bench.page.icons[kSiteIcon1 + socket] == 150) {
                    EXPECT_TRUE(HoldsImage(gang, socket, image)) << socket;
                }
            }
            fault.expect(gang, facts);
        }
    }
}

// Every reply of a one-socket run dropped in turn: each run ends, and never passes a part that
// does not hold the image. A verify-only variant meets a part whose last byte differs.
TEST(GangVariantFaults, DroppingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(130);
    for (const auto& [variant, facts] : Variants()) {
        SCOPED_TRACE(facts.name);
        const auto prepare = [&](SimulatedGang& gang) {
            PrepareTargets(gang, facts, {0}, image);
            if (!facts.programs) gang.board.writeFlash(0, static_cast<uint32_t>(image.size() - 1), std::vector<uint8_t>{0x00});
        };
        int replies = 0;
        {
            SimulatedGang gang;
            prepare(gang);
            gang.run(variant.entry, image);
            ASSERT_EQ(gang.bench.counters(), (Counters{1, facts.programs ? 1u : 0u, facts.programs ? 0u : 1u}));
            for (const sim::LogEntry& entry : gang.board.log()) replies += entry.fromHost ? 0 : 1;
            ASSERT_GT(replies, 30);
        }
        for (int n = 1; n <= replies; ++n) {
            SCOPED_TRACE(n);
            SimulatedGang gang(10);
            prepare(gang);
            gang.board.dropReplyNumber(n);
            gang.run(variant.entry, image);
            const Counters counted = gang.bench.counters();
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || HoldsImage(gang, 0, image));
            EXPECT_FALSE(g_SerialPort.IsOpen());
        }
    }
}
