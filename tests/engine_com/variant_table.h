#pragma once
// What the tests know of each gang engine variant, beside the program's own table of names and
// entries (engine_com/gang_variants.h). A variant missing here fails every test that iterates
// the program's table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/globals.h"
#include "engine_com/gang_variants.h"
#include "sim/gang_board.h"
#include "support/simulated_gang.h"

// What an unanswered switch C does while socket 4 is selected for its verify.
enum class Socket4C { Skipped, Shown, EndsRun };

struct VariantFacts {
    const char* name;
    uint8_t chipMode;
    bool programs;       // else the targets hold the image before the run
    uint8_t wrongChipId;  // 0: the variant reads no chip ID
    uint8_t chipIdCmd;
    bool readsBack;      // verifies with read frames (0F 03), else compares on the target
    const char* golden;
    bool tailMessage;    // names a differing last block
    int switchCFrame;    // the F0 0C frame, counted from the start, that selects socket 4 for its verify
    Socket4C socket4C;
    int releasePausesOn62 = 7;  // 1 ms pauses after a socket's leave frame on Windows 6.2
};

inline const std::vector<VariantFacts>& VariantTable() {
    using enum Socket4C;
    static const std::vector<VariantFacts> table = {
        {"GangProgramThreadOld", 2, true, 0x11, 0x49, true, "old-program.log", true, 14, Skipped, 1},
        {"GangVerifyThreadOld", 2, false, 0, 0, true, "old-verify.log", true, 9, Skipped, 1},
        {"GangProgramThreadB", 5, true, 0x55, 0x09, true, "b-program.log", true, 14, Shown},
        {"GangVerifyThreadB", 5, false, 0x55, 0x09, true, "b-verify.log", true, 9, Shown},
        {"GangProgramThreadB2", 5, true, 0x55, 0x09, false, "b2-program.log", false, 14, Shown},
        {"GangVerifyThreadB2", 5, false, 0x55, 0x09, false, "b2-verify.log", false, 10, Shown, 10},
        {"GangProgramThread128", 7, true, 0x73, 0x09, false, "128-program.log", true, 14, EndsRun},
        {"GangProgramThread128B", 7, true, 0x73, 0x09, false, "128b-program.log", true, 14, EndsRun},
        {"GangVerifyThreadC", 8, false, 0x73, 0x09, false, "c-verify.log", true, 9, EndsRun},
        {"GangProgramThreadCompact", 9, true, 0x73, 0x09, false, "compact-program.log", true, 14, Shown},
        {"GangVerifyThreadCompact", 12, false, 0x73, 0x09, false, "compact-verify.log", true, 10, Shown, 10},
    };
    return table;
}

inline const VariantFacts& FactsOf(const char* name) {
    const auto& table = VariantTable();
    const auto facts = std::find_if(table.begin(), table.end(), [&](const VariantFacts& f) { return std::strcmp(f.name, name) == 0; });
    EXPECT_NE(facts, table.end()) << name << " has no facts";
    return facts != table.end() ? *facts : table.front();
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

inline bool Holds(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& bytes, size_t at = 0) {
    const auto flash = gang.board.target(socket)->flash;
    return std::equal(bytes.begin(), bytes.end(), flash.begin() + static_cast<ptrdiff_t>(at));
}
