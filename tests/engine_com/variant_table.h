#pragma once
// What the tests know of each gang engine variant, beside the program's own table of names and
// entries (engine_com/gang_variants.h). A variant missing here fails every test that iterates
// the program's table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/validators.h"
#include "engine_com/gang_variants.h"
#include "platform/strfmt.h"
#include "sim/gang_board.h"
#include "support/simulated_gang.h"

// What an unanswered switch C does while socket 4 is selected for its verify.
enum class Socket4C { Skipped, Shown, EndsRun };
// How a variant reaches its targets: through the board's power, switches and LEDs, counting
// parts; as a single pass to the one target wired to the line; as a single pass after scanning
// the sockets of a board whose targets have their own supply; or only trying the line.
enum class Cycle { Board, SinglePass, Broadcast, LinkTry };
// The chip-ID rule a variant applies by chip mode: the reply byte each mode names, or none.
enum class IdRule { None, Fixed, SecondFamily, FamilyC, ByMode };
// A page of the erase from a start address above 0: its erase frame (0F cmd) and the pause
// before its finish; cmd 0 when the variant erases no pages.
struct PageErase {
    uint8_t cmd = 0;
    uint32_t pauseMs = 0;
};

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
    Cycle cycle = Cycle::Board;
    uint32_t optionAddr = 0;       // stored as "Option Addr"; 0: the chip mode's
    uint32_t verifyBlock = 64;     // the bytes a verify block compares
    bool erases = true;            // erases before programming, and opens the port again after
    bool optionOnVerify = false;   // a verify-only run that writes option blocks and serial numbers
    bool mtp = false;              // its targets are MTP parts
    bool emptyShownOnAbort = false;
    int burnIcon = 0;              // 0: 168 for a program run, 170 for a verify-only one
    IdRule idRule = IdRule::None;
    bool codeOptionPrompt = false; // asks before an image whose code option is left unset
    bool erasesOnMismatch = false; // a part whose read-back differs is erased (0F 16, 0F 04), let go and left blank
    PageErase pageErase = {};
    bool changesSpeed = false;     // sends the line-speed frame when the stored rate is not 115200
};

inline const std::vector<VariantFacts>& VariantTable() {
    using enum Socket4C;
    static const std::vector<VariantFacts> table = {
        {"GangProgramThreadOld", 2, true, 0x11, 0x49, true, "old-program.log", true, 14, Skipped, 1, Cycle::Board, 0, 64,
         true, false, false, false, 0, IdRule::Fixed, true, true, {0x1C, 40}, true},
        {"GangVerifyThreadOld", 2, false, 0, 0, true, "old-verify.log", true, 9, Skipped, 1},
        {"GangProgramThreadB", 5, true, 0x55, 0x09, true, "b-program.log", true, 14, Shown, 7, Cycle::Board, 0, 64, true,
         false, false, false, 0, IdRule::SecondFamily, false, true, {0x1C, 30}, true},
        {"GangVerifyThreadB", 5, false, 0x55, 0x09, true, "b-verify.log", true, 9, Shown, 7, Cycle::Board, 0, 64, true,
         false, false, false, 0, IdRule::SecondFamily},
        {"GangProgramThreadB2", 5, true, 0x55, 0x09, false, "b2-program.log", false, 14, Shown, 7, Cycle::Board, 0, 64,
         true, false, false, false, 0, IdRule::SecondFamily, false, false, {0x1C, 30}, true},
        {"GangVerifyThreadB2", 5, false, 0x55, 0x09, false, "b2-verify.log", false, 10, Shown, 10, Cycle::Board, 0, 64,
         true, false, false, false, 0, IdRule::SecondFamily, false, false, {}, true},
        {"GangProgramThread128", 7, true, 0x73, 0x09, false, "128-program.log", true, 14, EndsRun, 7, Cycle::Board, 0, 64,
         true, false, false, false, 0, IdRule::FamilyC, false, true, {0x1C, 30}, true},
        {"GangProgramThread128B", 7, true, 0x73, 0x09, false, "128b-program.log", true, 14, EndsRun, 7, Cycle::Board, 0,
         64, true, false, false, false, 0, IdRule::FamilyC, false, true, {0x1C, 30}, true},
        {"GangVerifyThreadC", 8, false, 0x73, 0x09, false, "c-verify.log", true, 9, EndsRun, 7, Cycle::Board, 0, 64, true,
         false, false, false, 0, IdRule::FamilyC},
        {"GangProgramThreadCompact", 9, true, 0x73, 0x09, false, "compact-program.log", true, 14, Shown, 7, Cycle::Board,
         0, 64, true, false, false, false, 0, IdRule::ByMode, false, true, {0x1C, 30}, true},
        {"GangVerifyThreadCompact", 12, false, 0x73, 0x09, false, "compact-verify.log", true, 10, Shown, 10, Cycle::Board,
         0, 64, true, false, false, false, 0, IdRule::ByMode, false, false, {}, true},
        // Handshake A, byte-wise programming: an option offset above the images of the tests keeps
        // the byte frames few.
        {"GangByteProgramThread", 2, true, 0, 0, true, "byte-program.log", true, 9, Skipped, 1, Cycle::Board, 0x140, 32,
         false, false, false, true, 0, IdRule::None, false, true, {}, true},
        {"GangByteVerifyThread", 2, false, 0, 0, true, "byte-verify.log", true, 9, Skipped, 1, Cycle::Board, 0x140, 32,
         false, true, false, true, 168, IdRule::None, false, true},
        {"GangProgramMtpThread", 8, true, 0, 0, false, "mtp-program.log", false, 9, EndsRun, 1, Cycle::Board, 0x140, 64,
         false, false, true, true, 0, IdRule::None, false, false, {}, true},
        {"GangVerifyThreadA", 2, false, 0, 0, false, "a-verify.log", false, 9, EndsRun, 1, Cycle::Board, 0, 64, false,
         false, false, true, 0, IdRule::None, false, false, {}, true},
        {"GangSingleProgramThread", 2, true, 0, 0, true, "single-program.log", true, 0, Skipped, 0, Cycle::SinglePass, 0, 32, true, false, false, false,
         0, IdRule::None, false, false, {0x18, 40}},
        {"GangBroadcastProgramThread", 2, true, 0, 0, true, "broadcast-program.log", true, 0, Skipped, 0, Cycle::Broadcast,
         0, 32, true, false, false, false, 0, IdRule::None, false, false, {0x18, 40}},
        {"GangSingleProgram8Thread", 2, true, 0, 0, true, "single8-program.log", true, 0, Skipped, 0, Cycle::SinglePass, 0,
         32, true, false, false, false,
         0, IdRule::None, false, false, {0x18, 40}},
        {"GangTimedProgramThread", 2, true, 0, 0, false, "timed-program.log", true, 0, Skipped, 0, Cycle::SinglePass, 0, 32, true, false, false, false,
         0, IdRule::None, false, false, {0x18, 40}},
        {"GangProgramOnlyThread", 2, true, 0, 0, false, "program-only.log", false, 0, Skipped, 0, Cycle::SinglePass, 0, 32,
         false},
        {"GangVerifyOnlyThread", 2, false, 0, 0, true, "verify-only.log", true, 0, Skipped, 0, Cycle::SinglePass, 0, 32,
         false},
        {"GangPageEraseThread", 2, false, 0, 0, false, "page-erase.log", false, 0, Skipped, 0, Cycle::SinglePass},
        {"GangChipEraseThread", 2, false, 0, 0, false, "chip-erase.log", false, 0, Skipped, 0, Cycle::SinglePass},
        {"GangZeroByteTestThread", 2, false, 0, 0, false, "zero-byte-test.log", false, 0, Skipped, 0, Cycle::LinkTry},
        {"GangHandshakeTestThread", 2, false, 0, 0, false, "handshake-test.log", false, 0, Skipped, 0, Cycle::LinkTry},
        {"GangOptionByteResetThread", 2, false, 0, 0, false, "option-byte-reset.log", false, 0, Skipped, 0,
         Cycle::SinglePass},
    };
    return table;
}

inline const VariantFacts& FactsOf(const char* name) {
    const auto& table = VariantTable();
    const auto facts = std::find_if(table.begin(), table.end(), [&](const VariantFacts& f) { return std::strcmp(f.name, name) == 0; });
    EXPECT_NE(facts, table.end()) << name << " has no facts";
    return facts != table.end() ? *facts : table.front();
}

// Targets of the variant's chip mode in the sockets, reached as the variant reaches them; a
// verify-only variant finds the image there.
inline void PrepareTargets(SimulatedGang& gang, const VariantFacts& facts, const std::vector<int>& sockets,
                           const std::vector<uint8_t>& image) {
    g_nChipMode = facts.chipMode;
    gang.populate(sockets);
    if (facts.optionAddr != 0) gang.store("Option Addr", facts.optionAddr);
    for (int socket : sockets) {
        if (facts.mtp) gang.board.makeMtp(socket, 0);
        if (!facts.programs) gang.board.writeFlash(socket, 0, image);
    }
    if (facts.cycle == Cycle::SinglePass || facts.cycle == Cycle::LinkTry) gang.board.wireSingleTarget(sockets.empty() ? -1 : sockets.front());
    if (facts.cycle == Cycle::Broadcast) gang.board.powerTargetsThemselves(true);
}

// The variants that reach their targets as this cycle does.
inline std::vector<GangVariant> VariantsOf(Cycle cycle) {
    std::vector<GangVariant> variants;
    for (const GangVariant& variant : GangVariants())
        if (FactsOf(variant.name).cycle == cycle) variants.push_back(variant);
    return variants;
}

// Sets the stop event when the n-th note starting with step is heard.
inline std::function<void(const std::string&)> StopAtStep(const std::string& step, int n) {
    return [step, n, seen = 0](const std::string& note) mutable {
        if (note.rfind(step, 0) == 0 && ++seen == n) g_hStopEvent.set();
    };
}

// Code of size bytes (not beyond the option offset P) from the start address that ends it at
// P + 8, inside the flash but over the option block: every run that takes code refuses it before
// its first frame, with this one text.
inline uint32_t OptionAddrOf(const VariantFacts& f) { return f.optionAddr != 0 ? f.optionAddr : GetFlashTailAddr(f.chipMode); }
inline void StartCodeOverOptionBlock(const VariantFacts& f, uint32_t size) { g_nIspStartAddr = OptionAddrOf(f) + 8 - size; }
inline std::string CodeOverOptionBlockText(const VariantFacts& f, uint32_t size) {
    return strfmt("Start address 0x%X and 0x%X bytes of code reach the option block at 0x%X!", OptionAddrOf(f) + 8 - size,
                  size, OptionAddrOf(f));
}
