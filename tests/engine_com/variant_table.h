#pragma once
// What the tests know of each gang engine variant, beside the program's own table of names and
// entries (engine_com/gang_variants.h): the chip mode it is run in, whether it programs or only
// verifies targets that already hold the image, its chip-ID check and the frames its verify
// waits on. A variant missing here fails the tests that iterate the program's table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/globals.h"
#include "engine_com/gang_variants.h"
#include "sim/gang_board.h"
#include "support/simulated_gang.h"

struct VariantFacts {
    const char* name;
    uint8_t chipMode;
    bool programs;
    uint8_t wrongChipId;          // 0: the variant reads no chip ID
    uint8_t chipIdCmd;            // the chip-ID request's command byte
    bool readsBack;               // verifies with read frames (0F 03), else compares on the target
    const char* blockStep;        // the note of a step that each block makes
    const char* golden;           // its golden frame log of one socket
    bool sixMoreOn62 = true;      // pauses 6 ms more after a release on Windows 6.2
};

// What an unanswered switch C does while socket 4 is selected for its verify.
enum class Socket4C { Skipped, Shown, EndsRun };
inline Socket4C Socket4CTimeout(const VariantFacts& facts) {
    const std::string name = facts.name;
    if (name.find("Old") != std::string::npos) return Socket4C::Skipped;
    if (name.find("128") != std::string::npos || name == "GangVerifyThreadC") return Socket4C::EndsRun;
    return Socket4C::Shown;
}

inline const std::vector<VariantFacts>& VariantTable() {
    static const std::vector<VariantFacts> table = {
        {"GangProgramThreadOld", 2, true, 0x11, 0x49, true, "step 06 800", "old-program.log", false},
        {"GangVerifyThreadOld", 2, false, 0, 0, true, "step 01 800", "old-verify.log", false},
        {"GangProgramThreadB", 5, true, 0x55, 0x09, true, "step 06 800", "b-program.log"},
        {"GangVerifyThreadB", 5, false, 0x55, 0x09, true, "step 01 800", "b-verify.log"},
        {"GangProgramThreadB2", 5, true, 0x55, 0x09, false, "step 06 800", "b2-program.log"},
        {"GangVerifyThreadB2", 5, false, 0x55, 0x09, false, "step 13 800", "b2-verify.log"},
        {"GangProgramThread128", 7, true, 0x73, 0x09, false, "step 06 800", "128-program.log"},
        {"GangProgramThread128B", 7, true, 0x73, 0x09, false, "step 06 800", "128b-program.log"},
        {"GangVerifyThreadC", 8, false, 0x73, 0x09, false, "step 13 800", "c-verify.log"},
        {"GangProgramThreadCompact", 9, true, 0x73, 0x09, false, "step 06 800", "compact-program.log"},
        {"GangVerifyThreadCompact", 12, false, 0x73, 0x09, false, "step 13 800", "compact-verify.log"},
    };
    return table;
}

// The facts of every variant of the program's table, in its order.
inline std::vector<std::pair<GangVariant, VariantFacts>> Variants() {
    std::vector<std::pair<GangVariant, VariantFacts>> variants;
    for (const GangVariant& variant : GangVariants()) {
        const auto& table = VariantTable();
        const auto facts = std::find_if(table.begin(), table.end(),
                                        [&](const VariantFacts& f) { return std::strcmp(f.name, variant.name) == 0; });
        EXPECT_NE(facts, table.end()) << variant.name << " has no facts";
        if (facts != table.end()) variants.emplace_back(variant, *facts);
    }
    return variants;
}

// Targets of the variant's chip mode in the sockets; a verify-only variant finds the image there.
inline void PrepareTargets(SimulatedGang& gang, const VariantFacts& facts, const std::vector<int>& sockets,
                           const std::vector<uint8_t>& image) {
    g_nChipMode = facts.chipMode;
    gang.populate(sockets);
    if (facts.programs) return;
    for (int socket : sockets) gang.board.writeFlash(socket, 0, image);
}

// Sets the stop event when the n-th note starting with step is heard.
inline std::function<void(const std::string&)> StopAtStep(const std::string& step, int n) {
    return [step, n, seen = 0](const std::string& note) mutable {
        if (note.rfind(step, 0) == 0 && ++seen == n) g_hStopEvent.set();
    };
}
