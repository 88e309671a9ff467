// Every gang engine variant against one table of faults of the board, the targets and the
// settings: each run ends with the port closed and the counters stored as a program run stores
// them, no part counts as passed unless it holds the image, and a verify-only run writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/ini_settings.h"
#include "core/registry_settings.h"
#include "core/validators.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/site_steps.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "variant_table.h"

namespace {

using engine_hid::ctl::kSerialLabel;
using engine_hid::ctl::kSiteIcon1;
using Facts = VariantFacts;
using Messages = std::vector<std::string>;
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

// Two equal blocks first: a read-back that compared an earlier block's bytes would pass them.
// Four blocks and a tail of 44 bytes at 0x100.
std::vector<uint8_t> FaultImage() {
    std::vector<uint8_t> image = PatternImage(300);
    std::copy_n(image.begin(), 64, image.begin() + 64);
    return image;
}

bool Shown(const SimulatedGang& g, const std::string& text) {
    const Messages messages = g.messages();
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

void ExpectIcons(const SimulatedGang& g, std::array<int, 4> icons) {
    for (int socket = 0; socket < 4; ++socket) EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + socket), icons[socket]) << socket;
}

// The note of a run's first verify block: its read-back, or its compare.
const char* FirstVerify(const Facts& f) { return f.readsBack ? "step 01 800" : "step 13 800"; }

struct Fault {
    const char* name;
    std::function<bool(const Facts&)> appliesTo;
    std::function<void(SimulatedGang&, const Facts&)> arrange;
    std::function<void(const SimulatedGang&, const Facts&)> expect;
};

const auto kEvery = [](const Facts&) { return true; };
const auto kErasingRuns = [](const Facts& f) { return f.programs && f.erases; };
const auto kChipIdReaders = [](const Facts& f) { return f.wrongChipId != 0; };
const auto kReadBacks = [](const Facts& f) { return f.readsBack; };
const auto kOptionWriters = [](const Facts& f) { return f.programs || f.optionOnVerify; };

// Socket 2's chip is refused: it gets no option block and spends no serial number.
void ExpectSecondRefused(const SimulatedGang& g, const Facts& f) {
    EXPECT_TRUE(Shown(g, "Wrong Chip ID !"));
    EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
    ExpectIcons(g, {150, 151, 150, 150});
    if (!f.programs) return;
    const auto option = static_cast<uint16_t>(GetFlashTailAddr(f.chipMode));
    EXPECT_EQ(g.board.target(1)->optionBlock(option), (std::array<uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // The read-back run fills blank option bytes 5 to 7 from the chip mode whatever byte 0 is.
    const bool landedRule = std::string(f.name) == "GangProgramThreadOld";
    const auto& tail = g_OptionTailByMode[f.chipMode];
    EXPECT_EQ(g.board.target(0)->optionBlock(option),
              landedRule ? (std::array<uint8_t, 8>{0xAA, 0x00, 0x01, 0x2F, 0xFF, tail[1], tail[2], tail[3]})
                         : (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, 0x2F, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x132u);
}

// Where the last block of the fault image begins: four blocks of 64 bytes and a tail of 44, or
// nine of 32 and a tail of 12.
uint32_t TailOf(const Facts& f) { return 300 / f.verifyBlock * f.verifyBlock; }

// A differing part is erased with the second command set's erase and finish, then let go: no
// half-right part leaves the board.
void ExpectErasedIfDiffering(const SimulatedGang& g, const Facts& f, int socket) {
    if (!f.erasesOnMismatch) return;
    const auto flash = g.board.target(socket)->flash;
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; })) << socket;
    const std::string log = g.exchangeLog();
    const size_t erase = log.find("> 0F 16 00 01 00 FF");
    ASSERT_NE(erase, std::string::npos);
    const size_t finish = log.find('\n', erase) + 1;
    EXPECT_EQ(log.substr(log.find("> ", finish), 19), "> 0F 04 00 01 00 FF");
    const size_t leave = log.find('\n', finish) + 1;
    EXPECT_EQ(log.substr(log.find("> ", leave), 19), "> 0F 0C 02 01 01 FF");
}

// The frames sent after the first one that starts with lead, in order.
std::vector<std::string> FramesAfter(const SimulatedGang& g, const std::string& lead) {
    std::vector<std::string> frames;
    std::istringstream lines(g.exchangeLog());
    bool seen = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("> ");
        if (at == std::string::npos) continue;
        std::string frame = line.substr(at + 2, line.find(" |") == std::string::npos ? std::string::npos : line.find(" |") - at - 2);
        if (seen) frames.push_back(frame);
        seen = seen || frame.rfind(lead, 0) == 0;
    }
    return frames;
}

// The 1 ms pauses that follow the leave frame after the last erase of the run.
long PausesAfterLastErase(const SimulatedGang& g) {
    const auto notes = g.notes();
    auto at = std::find(notes.rbegin(), notes.rend(), "step 0A 500").base();
    at = std::find(at, notes.end(), "send 10");
    if (at == notes.end()) return -1;
    ++at;
    return std::find_if(at, notes.end(), [](const std::string& n) { return n != "pause 1"; }) - at;
}

const std::string kLeaveFrame = "0F 0C 02 01 01 FF";

// Socket 2's target reports a write not landed at the address: it fails with the message.
auto SecondNotLandedAt(std::function<uint32_t(const SimulatedGang&, const Facts&)> at) {
    return [at](const SimulatedGang& g, const Facts& f) {
        EXPECT_EQ(g.messages(), Messages{strfmt("IC2 program memory error at 0x%X!!!", at(g, f))});
        EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
        ExpectIcons(g, {150, 151, 150, 150});
    };
}

void ExpectFirstFailed(const SimulatedGang& g, const Facts&) {
    EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
    EXPECT_LE(g.bench.counters().pass, 3u);
}

void ExpectFirstFailedAlone(const SimulatedGang& g, const Facts&) {
    EXPECT_TRUE(g.messages().empty());
    EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
    ExpectIcons(g, {151, 150, 150, 150});
}

const Fault kFaults[] = {
    // The variants that show empty sockets after an early end meet an unanswered first LED of each.
    {"a silent board", kEvery, [](SimulatedGang& g, const Facts&) { g.board.setSilent(true); },
     [](const SimulatedGang& g, const Facts& f) {
         Messages shown = {"2501 Hi Timeout!", kTimeoutText};
         if (f.emptyShownOnAbort)
             shown.insert(shown.end(), {"ISP_LED1 timeout!", "ISP_LED3 timeout!", "ISP_LED5 timeout!", "ISP_LED7 timeout!"});
         shown.insert(shown.end(), {"ISP_4066A timeout!", "ISP_4066B timeout!", "ISP_4066C timeout!",
                                    "ISP_4066D timeout!", "2501 Lo Timeout"});
         EXPECT_EQ(g.messages(), shown);
         const auto notes = g.notes();
         EXPECT_EQ(std::count(notes.begin(), notes.end(), "timeout"), f.emptyShownOnAbort ? 10 : 6);
         EXPECT_EQ(g.bench.counters(), Counters{});
     }},
    {"an empty socket", kEvery, [](SimulatedGang& g, const Facts&) { g.board.removeTarget(1); },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{3, 3, 0}));
         EXPECT_TRUE(g.messages().empty());
         ExpectIcons(g, {150, 152, 150, 150});
     }},
    // Socket 1 answers its first handshake half a wait after the wait, while the run asks the
    // empty socket 2 (every variant's scan reaches it sooner): the late reply answers nothing,
    // socket 2 stays empty, and sockets 3 and 4 pass. Socket 1 is found again where a variant
    // greets it a second time, too late to be programmed.
    {"a late handshake reply before an empty socket", kEvery,
     [](SimulatedGang& g, const Facts&) {
         g.board.removeTarget(1);
         g.board.delayReplyAt(sim::kHandshake, 1, 750);
     },
     [](const SimulatedGang& g, const Facts&) {
         const Counters counted = g.bench.counters();
         EXPECT_EQ(counted.pass, 2u);
         EXPECT_LE(counted.fail, 1u);
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 1), 152);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 150);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 3), 150);
     }},
    {"a wrong chip ID", kChipIdReaders,
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.setChipId(1, f.wrongChipId);
     },
     ExpectSecondRefused},
    {"a chip-ID reply without its byte", kChipIdReaders,
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.cutReplyAt(sim::TargetFrame(f.chipIdCmd), 2, 0);
     },
     ExpectSecondRefused},
    {"a differing block", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         if (f.programs) g.board.stickByte(1, 0x90);
         if (!f.programs) g.board.writeFlash(1, 0x90, std::vector<uint8_t>{0x00});
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         ExpectIcons(g, {150, 151, 150, 150});
         // A program run that erases a differing part does so at once with the second command
         // set and lets it go; no other part is erased after the programming.
         const std::vector<std::string> frames = FramesAfter(g, f.readsBack ? "0F 03" : "0F 3A");
         const auto erase = std::find(frames.begin(), frames.end(), "0F 16 00 01 00 FF");
         EXPECT_EQ(std::count(frames.begin(), frames.end(), "0F 16 00 01 00 FF"), f.erasesOnMismatch ? 1 : 0);
         EXPECT_EQ(std::count(frames.begin(), frames.end(), "0F 12 00 01 00 FF"), 0);
         if (f.erasesOnMismatch && erase != frames.end() && frames.end() - erase > 2) {
             EXPECT_EQ(erase[1], "0F 04 00 01 00 FF");
             EXPECT_EQ(erase[2], kLeaveFrame);
         }
         const std::vector<uint8_t> flash = g.board.target(1)->flash;
         EXPECT_EQ(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }), f.erasesOnMismatch);
     }},
    // On Windows 6.2 the leave frame after a differing part's erase gets its six more pauses.
    {"a differing block on Windows 6.2", [](const Facts& f) { return f.erasesOnMismatch; },
     [](SimulatedGang& g, const Facts& f) {
         g_dwOsMajor = 6, g_dwOsMinor = 2;
         if (f.programs) g.board.stickByte(1, 0x90);
         if (!f.programs) g.board.writeFlash(1, 0x90, std::vector<uint8_t>{0x00});
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(PausesAfterLastErase(g), f.releasePausesOn62);
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
     }},
    // The last block differs in socket 1: the pass over the sockets ends there.
    {"a differing tail", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         const uint32_t at = TailOf(f) + 4;
         if (f.programs) g.board.stickByte(0, at);
         if (!f.programs) g.board.writeFlash(0, at, std::vector<uint8_t>{0x00});
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.messages(), f.tailMessage ? Messages{strfmt("Verified Failure at 0x%x!!!", TailOf(f))} : Messages{});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
         ExpectErasedIfDiffering(g, f, 0);
     }},
    // One reply lost in socket 1's last, partial block fails socket 1 alone: sockets 2 to 4 are
    // verified and pass. The same for its high byte (the last full block's, where blocks are of
    // 32 bytes) and its compare result, there and in its first block.
    {"a lost reply in socket 1's last block", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         g.board.dropReplyAt(sim::TargetFrame(f.readsBack ? 0x03 : 0x3A), static_cast<int>(TailOf(f) / f.verifyBlock) + 1);
     },
     ExpectFirstFailedAlone},
    {"a lost high byte in socket 1's last blocks", kEvery,
     [](SimulatedGang& g, const Facts&) { g.board.dropReplyAt(sim::TargetFrame(0x08), 2); }, ExpectFirstFailedAlone},
    {"a lost compare result in socket 1's last block", [](const Facts& f) { return !f.readsBack; },
     [](SimulatedGang& g, const Facts& f) {
         g.board.dropReplyAt(sim::TargetFrame(0x0B), static_cast<int>(TailOf(f) / f.verifyBlock) + 1);
     },
     ExpectFirstFailedAlone},
    {"a lost compare result in socket 1's first block", [](const Facts& f) { return !f.readsBack; },
     [](SimulatedGang& g, const Facts&) { g.board.dropReplyAt(sim::TargetFrame(0x0B), 1); }, ExpectFirstFailedAlone},
    // So the blink of socket 1's pass LED after its first block: the socket helpers name it.
    {"a lost blink in socket 1's verify", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         g.onNote = At(FirstVerify(f), 1, [&g] { g.board.dropReplyAt(sim::BoardFrame(0x02), g.framesOf(0xF0, 0x02) + 1); });
     },
     [](const SimulatedGang& g, const Facts& f) {
         const bool helpers = std::string(f.name).find("Compact") != std::string::npos;
         EXPECT_EQ(g.messages(), helpers ? Messages{"ISP_LED2 timeout!"} : Messages{});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         ExpectIcons(g, {151, 150, 150, 150});
     }},
    // The reply comes once the run has given up on it, and answers nothing after.
    {"a late verify reply", kEvery,
     [](SimulatedGang& g, const Facts& f) { g.board.delayReplyAt(sim::TargetFrame(f.readsBack ? 0x03 : 0x0B), 1, 1500); },
     ExpectFirstFailed},
    // A line that never goes quiet after a lost verify reply ends the run by time-out, and no
    // part passes.
    {"a line that chatters after a lost verify reply", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         g.board.dropReplyAt(sim::TargetFrame(f.readsBack ? 0x03 : 0x0B), 1);
         g.onNote = At("timeout", 1, [&g] { g.board.chatterOnBoardTime(std::chrono::milliseconds(100)); });
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_TRUE(Shown(g, kTimeoutText));
         EXPECT_EQ(g.bench.counters().pass, 0u);
     }},
    // A port that closes at socket 1's first verify block, or a board that stops answering
    // there, ends the run by time-out, and every part fails.
    {"a port that closes in the verify", kEvery,
     [](SimulatedGang& g, const Facts& f) { g.onNote = At(FirstVerify(f), 1, [] { g_SerialPort.ClosePort(); }); },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.messages(), Messages{kTimeoutText});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
     }},
    {"a board that falls silent in the verify", kEvery,
     [](SimulatedGang& g, const Facts& f) { g.onNote = At(FirstVerify(f), 1, [&g] { g.board.setSilent(true); }); },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_TRUE(Shown(g, kTimeoutText));
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
     }},
    // Cancel at socket 2's second block: a serial number already written into socket 1 stays spent.
    {"Cancel between blocks", kEvery,
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         IniSetSerialNo(0x500, g_strIniPath);
         g.onNote = StopAtStep(f.readsBack ? "step 01 800" : "step 13 800", static_cast<int>(TailOf(f) / f.verifyBlock) + 2);
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
         EXPECT_TRUE(g.messages().empty());
         ExpectIcons(g, {151, 151, 151, 151});
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), f.programs || f.optionOnVerify ? 0x501u : 0x500u);
     }},
    // Cancel in the pause a chip erase needs before its finish: the erase is not finished nor
    // told done, and nothing is programmed.
    {"Cancel in the chip erase's pause", [](const Facts& f) { return std::string(f.name) == "GangProgramThread128B"; },
     [](SimulatedGang& g, const Facts&) {
         g.store("Log Steps", 1);
         g.onNote = StopAtStep("pause 100", 1);
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.framesOf(0x0F, 0x04), 0);
         EXPECT_TRUE(g.bench.page.logLinesWith("erase chip elapsed time").empty());
         EXPECT_EQ(g.framesOf(0x0F, 0x26), 0);
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
     }},
    // A part in socket 2 holds number 000102 and an erased key page (a run failed after its
    // block): it keeps its block, gets its key, and the others are numbered on from "Serial No"
    // without a gap.
    {"a part that holds its option block", [](const Facts& f) { return f.optionOnVerify; },
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.store("Key Write", 1);
         g.storeKeyBytes();
         g.board.writeFlash(1, f.optionAddr, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x02, 0xFF, 0x0E, 0x00, 0x00});
     },
     [](const SimulatedGang& g, const Facts& f) {
         const auto option = static_cast<uint16_t>(f.optionAddr);
         EXPECT_EQ(g.board.target(1)->optionBlock(option), (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, 0x02, 0xFF, 0x0E, 0x00, 0x00}));
         EXPECT_EQ(g.board.target(0)->optionBlock(option), (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, 0x2F, 0xFF, 0x0E, 0x00, 0x00}));
         EXPECT_EQ(g.board.target(3)->optionBlock(option), (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, 0x31, 0xFF, 0x0E, 0x00, 0x00}));
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x132u);
         EXPECT_EQ(g.bench.page.logLinesWith("option block"), Messages{"IC2 holds an option block already: not written"});
         sim::GangTarget second = *g.board.target(1);
         for (uint32_t k = 0; k < 16; ++k) EXPECT_EQ(*second.cell(second.keyAddr + k), 0xC0 + k) << "key byte " << k;
         EXPECT_EQ(g.bench.counters(), (Counters{4, 4, 0}));
     }},
    // Socket 2 holds the first four bytes of a block whose write was cut short: no block is
    // there, and one written over it would keep the AND of both numbers. The part fails, its
    // block named and left as it is; the others are numbered on without a gap.
    {"a part that holds half an option block", [](const Facts& f) { return f.optionOnVerify; },
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.writeFlash(1, f.optionAddr, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x02});
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.messages(), Messages{strfmt("IC2 option block at 0x%X is not a whole block: not written!!!", f.optionAddr)});
         EXPECT_EQ(g.board.target(1)->optionBlock(static_cast<uint16_t>(f.optionAddr)),
                   (std::array<uint8_t, 8>{0xFA, 0x00, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}));
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x132u);
         ExpectIcons(g, {150, 151, 150, 150});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
     }},
    // A run that failed gave socket 2 number 000103; the byte-wise run erases nothing, so the
    // flash keeps the AND of that block and this run's 000130: the part fails, its block named,
    // and is erased, so that no later run keeps that number, given before; the others pass.
    {"a part a failed run numbered", [](const Facts& f) { return f.programs && !f.erases && !f.mtp; },
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.answerWritesMinimally(true);
         g.board.writeFlash(1, f.optionAddr, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x03, 0xFF, 0x0E, 0x00, 0x00});
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.messages(), Messages{strfmt("IC2 option block at 0x%X does not hold what was written!!!", f.optionAddr)});
         ExpectIcons(g, {150, 151, 150, 150});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         ExpectErasedIfDiffering(g, f, 1);
     }},
    // The same part, the reply to its block's read-back lost (the 22nd read: ten a socket and
    // socket 1's block): what the flash keeps is not known, so it fails alone and is erased as
    // well, so that no later run (the verify twin keeps a whole held block) keeps that AND.
    {"a part a failed run numbered, its block's read-back lost", [](const Facts& f) { return f.programs && !f.erases && !f.mtp; },
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.answerWritesMinimally(true);
         g.board.writeFlash(1, f.optionAddr, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x03, 0xFF, 0x0E, 0x00, 0x00});
         g.board.dropReplyAt(sim::TargetFrame(0x03), 22);
     },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_TRUE(g.messages().empty());
         ExpectIcons(g, {150, 151, 150, 150});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x133u);
         ExpectErasedIfDiffering(g, f, 1);
     }},
    // Cancel in the pause that erase needs: the erase is not finished, and no part passes.
    {"Cancel in the erase of a part a failed run numbered", [](const Facts& f) { return f.programs && !f.erases && !f.mtp; },
     [](SimulatedGang& g, const Facts& f) {
         g.store("Gang Serial En", 1);
         g.board.answerWritesMinimally(true);
         g.board.writeFlash(1, f.optionAddr, std::vector<uint8_t>{0xFA, 0x00, 0x01, 0x03, 0xFF, 0x0E, 0x00, 0x00});
         g.onNote = StopAtStep("pause 30", 1);
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(FramesAfter(g, "0F 16").front(), kLeaveFrame);
         EXPECT_EQ(g.framesOf(0x0F, 0x16), 1);
         EXPECT_EQ(g.bench.counters().pass, 0u);
     }},
    // A board may answer a write without the target's status byte: that reports nothing, and
    // every good part passes with its option block (an MTP part's status is polled instead).
    {"a board that answers writes without a status byte", kEvery,
     [](SimulatedGang& g, const Facts&) { g.board.answerWritesMinimally(true); },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 4, 0}));
         EXPECT_TRUE(!kOptionWriters(f) || (g.board.target(3)->optionBlock(uint16_t(OptionAddrOf(f)))[0] & 0x0F) == 0x0A);
     }},
    // Socket 2's target reports its option block's write failed (the byte at P of an MTP part,
    // the serial-number byte at P + 1 of the others), or a byte of its key page: its code
    // matched, but it fails, named.
    {"an option block that socket 2 reports not landed", kOptionWriters,
     [](SimulatedGang& g, const Facts& f) { f.mtp ? g.board.makeMtp(1, 0, true) : g.board.stickByte(1, OptionAddrOf(f) + 1); },
     SecondNotLandedAt([](const SimulatedGang&, const Facts& f) { return OptionAddrOf(f); })},
    // Socket 2 took 000130 for its option block, whose high-byte frame goes unanswered: the run
    // ends, and the label shows the number the next part gets.
    {"an unanswered high byte of socket 2's option block", kOptionWriters,
     [](SimulatedGang& g, const Facts&) {
         g.store("Gang Serial En", 1);
         g.onNote = DropHiByteOnceSerialNoIs(g, 0x131);
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_TRUE(Shown(g, kTimeoutText));
         EXPECT_EQ(g.bench.counters().pass, 0u);
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x131u);
         EXPECT_EQ(g.bench.page.texts.at(kSerialLabel), "S/N Last : 000131");
     }},
    {"a key page that socket 2 reports not landed", [](const Facts& f) { return kOptionWriters(f) && !f.mtp; },
     [](SimulatedGang& g, const Facts&) { g.store("Key Write", 1), g.board.stickByte(1, g.board.target(1)->keyAddr + 3); },
     SecondNotLandedAt([](const SimulatedGang& g, const Facts&) { return g.board.target(1)->keyAddr + 3; })},
    {"a short read reply", kReadBacks,
     [](SimulatedGang& g, const Facts& f) { g.board.cutReplyAt(sim::TargetFrame(0x03), 2, f.verifyBlock / 2); },
     ExpectFirstFailed},
    {"an empty read reply", kReadBacks, [](SimulatedGang& g, const Facts&) { g.board.cutReplyAt(sim::TargetFrame(0x03), 2, 0); },
     ExpectFirstFailed},
    {"a stalled read reply", kReadBacks, [](SimulatedGang& g, const Facts&) { g.board.stallReplyAt(sim::TargetFrame(0x03), 2); },
     ExpectFirstFailed},
    // Socket 4's target is taken out once the sockets are shown: it was found, so it counts.
    {"a target taken out after the scan", kEvery,
     [](SimulatedGang& g, const Facts&) { g.board.removeTargetAt(sim::BoardFrame(0x01), 1, 3); },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.bench.counters(), (Counters{4, 3, 1}));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 3), 151);
     }},
    // No variant verifies socket 4 through another socket's switch.
    {"an unanswered switch C selecting socket 4", kEvery,
     [](SimulatedGang& g, const Facts& f) { g.board.dropReplyAt(sim::BoardFrame(0x0C), f.switchCFrame); },
     [](const SimulatedGang& g, const Facts& f) {
         Messages shown;
         if (f.socket4C != Socket4C::Skipped) shown.push_back("ISP_4066C timeout!");
         if (f.socket4C == Socket4C::EndsRun) shown.push_back(kTimeoutText);
         EXPECT_EQ(g.messages(), shown);
         EXPECT_EQ(g.bench.counters(), f.socket4C == Socket4C::EndsRun ? (Counters{4, 0, 4}) : (Counters{4, 3, 1}));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 3), 151);
     }},
    // The parts have just been erased: they fail, and the operator is told why.
    {"a port lost after the erase", kErasingRuns,
     [](SimulatedGang& g, const Facts& f) {
         // The read-back run opens the port again only where the system loses it.
         if (std::string(f.name) == "GangProgramThreadOld") g_dwOsMajor = 6, g_dwOsMinor = 1;
         g.onNote = [](const std::string& note) {
             if (note == "reopen") SetComPortDeviceOverride("/nonexistent/tty");
         };
     },
     [](const SimulatedGang& g, const Facts&) {
         // The closed port is sent no result LEDs: no LED time-out follows the message.
         EXPECT_EQ(g.messages(), Messages{"Can not open COM port !"});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
         ExpectIcons(g, {151, 151, 151, 151});
         EXPECT_EQ(g.framesOf(0x0F, 0x26), 0);
     }},
    // So a port lost where the line's speed changes, or after an empty socket's handshake
    // where the system loses it.
    {"a port lost at the line speed's change", [](const Facts& f) { return f.changesSpeed; },
     [](SimulatedGang& g, const Facts&) {
         g.store("BaudRate", 57600);
         g.onNote = At("speed", 1, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.messages(), Messages{"Can not open COM port !"});
         EXPECT_EQ(g.bench.counters(), (Counters{4, 0, 4}));
         EXPECT_EQ(g.framesOf(0x0F, 0x26) + g.framesOf(0x0F, 0x3A) + g.framesOf(0x0F, 0x03), 0);
     }},
    {"a port that stays closed after an empty socket's handshake", kEvery,
     [](SimulatedGang& g, const Facts&) {
         g_dwOsMajor = 6, g_dwOsMinor = 1;
         g.board.removeTarget(1);
         g.onNote = At("reopen", 1, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
     },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.messages(), Messages{"Can not open COM port !"});
         EXPECT_EQ(g.bench.counters(), (Counters{1, 0, 1}));
         const auto notes = g.notes();
         EXPECT_EQ(std::count(notes.begin(), notes.end(), "reopen"), 35);
     }},
    // Windows 6.2 loses the port after a target's release: the variants that say so pause six
    // milliseconds more before they open it again.
    {"Windows 6.2", kEvery, [](SimulatedGang&, const Facts&) { g_dwOsMajor = 6, g_dwOsMinor = 2; },
     [](const SimulatedGang& g, const Facts& f) {
         const auto notes = g.notes();
         auto at = std::find(notes.rbegin(), notes.rend(), "send 10").base();
         EXPECT_EQ(std::find_if(at, notes.end(), [](const std::string& n) { return n != "pause 1"; }) - at, f.releasePausesOn62);
         EXPECT_EQ(g.bench.counters(), (Counters{4, 4, 0}));
     }},
    // A socket counts from the moment it answers: socket 2's chip-ID request goes unanswered,
    // and the run ends with it failed beside socket 1 (the read-back run asks after the erase,
    // when all four are found).
    {"an unanswered chip-ID request", kChipIdReaders,
     [](SimulatedGang& g, const Facts& f) { g.board.dropReplyAt(sim::TargetFrame(f.chipIdCmd), 2); },
     [](const SimulatedGang& g, const Facts& f) {
         const uint32_t found = f.chipIdCmd == 0x49 ? 4 : 2;
         EXPECT_EQ(g.bench.counters(), (Counters{found, 0, found}));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 1), 151);
         EXPECT_EQ(g.messages().back(), kTimeoutText);
     }},
    // The same for a stop frame of socket 2's own; where one stop goes to every socket at once
    // there is no second one and every part passes.
    {"an unanswered stop of socket 2", kEvery,
     [](SimulatedGang& g, const Facts&) {
         g.board.dropReplyAt(sim::TargetFrame(0x40), 2);
         g.board.dropReplyAt(sim::TargetFrame(0x44), 2);
     },
     [](const SimulatedGang& g, const Facts&) {
         const bool stopsEachSocket = g.framesOf(0x0F, 0x40) + g.framesOf(0x0F, 0x44) >= 2;
         EXPECT_EQ(g.bench.counters(), stopsEachSocket ? (Counters{2, 0, 2}) : (Counters{4, 4, 0}));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 1), stopsEachSocket ? 151 : 150);
     }},
    // The line at 57600 baud: the variants that change the board's line speed do it once, and
    // every part passes.
    {"a line speed of 57600", kEvery, [](SimulatedGang&, const Facts&) {
         g_nComBaudRate = 57600;
         RegSaveBaudRate();
     },
     [](const SimulatedGang& g, const Facts& f) {
         g_nComBaudRate = 115200;
         EXPECT_EQ(g.framesOf(0x0F, 0x0E), f.changesSpeed ? 1 : 0);
         EXPECT_EQ(g.board.state().linkSpeed, f.changesSpeed ? 57600u : 115200u);
         EXPECT_EQ(g.bench.counters(), (Counters{4, 4, 0}));
     }},
    // Code from a start address that ends past the option offset: refused before any frame.
    {"code over the option block", kEvery,
     [](SimulatedGang&, const Facts& f) { StartCodeOverOptionBlock(f, static_cast<uint32_t>(FaultImage().size())); },
     [](const SimulatedGang& g, const Facts& f) {
         EXPECT_EQ(g.messages(), Messages{CodeOverOptionBlockText(f, static_cast<uint32_t>(FaultImage().size()))});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_EQ(g.bench.counters(), Counters{});
     }},
    // A verify-only run too: with no code to compare every part would pass unchecked.
    {"an option offset that leaves no code", kEvery,
     [](SimulatedGang& g, const Facts&) { g.store("Option Addr", 0); },
     [](const SimulatedGang& g, const Facts&) {
         EXPECT_EQ(g.messages(), Messages{"Option address 0x0 leaves no code to program!"});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_EQ(g.bench.counters(), Counters{});
     }},
};

}  // namespace

TEST(GangVariantFaults, EveryVariantMeetsTheSameFaults) {
    const std::vector<uint8_t> image = FaultImage();
    for (const GangVariant& variant : VariantsOf(Cycle::Board)) {
        const Facts& facts = FactsOf(variant.name);
        for (const Fault& fault : kFaults) {
            if (!fault.appliesTo(facts)) continue;
            SCOPED_TRACE(std::string(facts.name) + ", " + fault.name);
            SimulatedGang gang;
            IniSetSerialNo(0x12F, g_strIniPath);
            PrepareTargets(gang, facts, {0, 1, 2, 3}, image);
            fault.arrange(gang, facts);
            const auto before = gang.board.target(0)->flash;
            gang.run(variant.entry, image);
            EXPECT_FALSE(g_SerialPort.IsOpen());
            EXPECT_EQ(gang.bench.storedCounters(), facts.programs ? gang.bench.counters() : Counters{});
            for (int socket = 0; socket < 4; ++socket)
                EXPECT_TRUE(gang.bench.page.icons[kSiteIcon1 + socket] != 150 || Holds(gang, socket, image)) << socket;
            if (!facts.programs && !facts.optionOnVerify) {
                for (uint8_t cmd : {0x26, 0x22, 0x16, 0x12, 0x1C, 0x18, 0x04, 0x00}) EXPECT_EQ(gang.framesOf(0x0F, cmd), 0);
                EXPECT_EQ(gang.board.target(0)->flash, before);
            }
            fault.expect(gang, facts);
        }
    }
}

// Every reply of a one-socket run dropped in turn, and a run that failed the part after writing
// to it tried once more over the same part with nothing dropped, as an operator tries a failed
// part again. The board answers writes
// without the target's status byte; the runs give serial numbers, and those that erase nothing
// write the key page. Each
// run ends, and never passes a part that does not hold the image and the key, nor one whose
// option block carries a number other than one this run gave (a part that held its block before
// keeps it). A verify-only variant that writes nothing meets a part whose last byte differs.
TEST(GangVariantFaults, DroppingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(130);
    for (const GangVariant& variant : VariantsOf(Cycle::Board)) {
        const Facts& facts = FactsOf(variant.name);
        SCOPED_TRACE(facts.name);
        const bool writes = facts.programs || facts.optionOnVerify;
        // The key page where no erase goes before the run's writes: there a failed run leaves it
        // erased or half written.
        const bool keyWrite = writes && !facts.erases;
        std::array<uint8_t, 16> key{};
        const auto prepare = [&](SimulatedGang& gang) {
            PrepareTargets(gang, facts, {0}, image);
            if (!writes) gang.board.writeFlash(0, static_cast<uint32_t>(image.size() - 1), std::vector<uint8_t>{0x00});
            gang.board.answerWritesMinimally(true);
            gang.store("Gang Serial En", 1);
            gang.store("Key Write", keyWrite ? 1 : 0);
            key = gang.storeKeyBytes();
            IniSetSerialNo(0x100, g_strIniPath);
        };
        // A part counted as passed by the run just ended, whose numbers began at first.
        const auto expectWhole = [&](const SimulatedGang& gang, uint32_t passedBefore, uint32_t first) {
            if (gang.bench.counters().pass == passedBefore) return;
            EXPECT_TRUE(Holds(gang, 0, image));
            if (!writes) return;
            sim::GangTarget part = *gang.board.target(0);
            for (uint32_t k = 0; keyWrite && k < key.size(); ++k)
                EXPECT_EQ(*part.cell(part.keyAddr + k), key[k]) << "key byte " << k;
            const uint32_t p = OptionAddrOf(facts);
            const uint32_t number = uint32_t{part.flash[p + 1]} << 16 | part.flash[p + 2] << 8 | part.flash[p + 3];
            EXPECT_LT(number, IniGetSerialNo(g_strIniPath));
            if (facts.programs) {
                EXPECT_GE(number, first) << "a number given before";
            }
        };
        int replies = 0;
        {
            SimulatedGang gang;
            prepare(gang);
            gang.run(variant.entry, image);
            ASSERT_EQ(gang.bench.counters(), (Counters{1, writes ? 1u : 0u, writes ? 0u : 1u}));
            expectWhole(gang, 0, 0x100);
            for (const sim::LogEntry& entry : gang.board.log()) replies += entry.fromHost ? 0 : 1;
        }
        // A byte-wise run makes hundreds of alike byte exchanges: between its first 40 replies
        // (board, scan, the first bytes with their blinks) and its last 80 (verify, option block,
        // key page, end) every eleventh is dropped.
        for (int n = 1; n <= replies; n += n > 40 && n < replies - 80 ? 11 : 1) {
            SCOPED_TRACE(n);
            SimulatedGang gang;
            prepare(gang);
            gang.board.dropReplyNumber(n);
            const sim::GangTarget before = *gang.board.target(0);
            gang.run(variant.entry, image);
            EXPECT_LE(gang.bench.counters().total, 1u);
            expectWhole(gang, 0, 0x100);
            EXPECT_FALSE(g_SerialPort.IsOpen());
            // A part the failed run left as it was is tried again as the first run tried it.
            const sim::GangTarget after = *gang.board.target(0);
            if (gang.bench.counters().pass != 0 || (after.flash == before.flash && after.keyPage == before.keyPage)) continue;
            const uint32_t first = IniGetSerialNo(g_strIniPath);
            gang.run(variant.entry, image);
            expectWhole(gang, 0, first);
            EXPECT_FALSE(g_SerialPort.IsOpen());
        }
    }
}

namespace {

// What every engine that programs or verifies refuses before its first frame, with its own text:
// code or an option block it cannot write or compare whole.
struct Refusal {
    const char* name;
    std::function<size_t(const Facts&)> imageSize;
    std::function<void(SimulatedGang&, const Facts&)> arrange;
    std::function<std::string(const SimulatedGang&, const Facts&)> message;
};

uint32_t FlashOf(const Facts& f) { return FlashSizeOfMode(f.chipMode); }
auto Sized(size_t size) { return [size](const Facts&) { return size; }; }
auto OptionAt(uint32_t p) { return [p](SimulatedGang& g, const Facts&) { g.store("Option Addr", p); }; }
auto Said(std::string text) { return [text](const SimulatedGang&, const Facts&) { return text; }; }
const auto kAsStored = [](SimulatedGang&, const Facts&) {};

const Refusal kRefusals[] = {
    {"an empty image", Sized(0), kAsStored, [](const SimulatedGang& g, const Facts&) { return HoldsNoCode(g.bench.page.image); }},
    {"an image larger than the flash", [](const Facts& f) -> size_t { return FlashOf(f) + 1; }, kAsStored,
     Said("Code size exceed the max. size of flash!!!")},
    {"an option block beyond the flash", Sized(0x100), [](SimulatedGang& g, const Facts& f) { g.store("Option Addr", FlashOf(f)); },
     [](const SimulatedGang&, const Facts& f) {
         return strfmt("Option address 0x%X lies beyond the flash of 0x%X bytes!", FlashOf(f), FlashOf(f));
     }},
    {"code beyond the flash", Sized(0x100), [](SimulatedGang&, const Facts& f) { g_nIspStartAddr = FlashOf(f) - 0x80; },
     [](const SimulatedGang&, const Facts& f) {
         return strfmt("Start address 0x%X and 0x100 bytes of code lie beyond the flash of 0x%X bytes!", FlashOf(f) - 0x80,
                       FlashOf(f));
     }},
    {"code over the option block", Sized(0x100), [](SimulatedGang&, const Facts& f) { StartCodeOverOptionBlock(f, 0x100); },
     [](const SimulatedGang&, const Facts& f) { return CodeOverOptionBlockText(f, 0x100); }},
    // The image holds the option block alone: a verify-only run would pass every part unchecked.
    {"an option offset that leaves no code", Sized(8), OptionAt(0), Said("Option address 0x0 leaves no code to program!")},
    // No frame would program or compare bytes after the block: a part would pass without them.
    {"image bytes past the option block", Sized(1000), OptionAt(0x200),
     Said("The image holds bytes from 0x208 on, past the option block at 0x200!")},
    // The block goes out under one high address byte: its last bytes would wrap over the code at
    // the start of the same page.
    {"an option block across two pages", Sized(0x100), OptionAt(0x1FC),
     Said("Option address 0x1FC puts the option block across two 256-byte pages!")},
};

struct Engine {
    void (*entry)(WorkerPage&);
    Facts facts;
};

// Every engine that programs or verifies: the two runs the page starts and the variants that take
// an image, all but the erases, the link tries and the option byte reset (which writes the
// block's first byte alone, which no page boundary splits).
std::vector<Engine> ImageEngines() {
    std::vector<Engine> engines = {
        {GangProgramThread, {"GangProgramThread", 2, true, 0, 0, false, "", true, 0, Socket4C::Skipped}},
        {GangVerifyThread, {"GangVerifyThread", 2, false, 0, 0, false, "", true, 0, Socket4C::Skipped}},
    };
    for (const GangVariant& v : GangVariants()) {
        const Facts& f = FactsOf(v.name);
        if (f.cycle == Cycle::Board || f.programs || f.readsBack) engines.push_back({v.entry, f});
    }
    return engines;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// Each refusal against every engine that programs or verifies: the engines that send a frame, or
// say anything else, are named.
TEST(GangEngines, EveryEngineThatTakesAnImageRefusesTheSameImagesBeforeAnyFrame) {
    const std::vector<Engine> engines = ImageEngines();
    ASSERT_EQ(engines.size(), 2 + GangVariants().size() - 5);
    for (const Refusal& refusal : kRefusals) {
        Messages missed;
        for (const Engine& engine : engines) {
            const Facts& f = engine.facts;
            SimulatedGang gang;
            const std::vector<uint8_t> image = PatternImage(refusal.imageSize(f));
            PrepareTargets(gang, f, {0, 1, 2, 3}, image);
            refusal.arrange(gang, f);
            // Serial numbers on: a refused run takes none, and leaves the INI file as it was.
            gang.store("Option Serial", 1);
            gang.store("Gang Serial En", 1);
            IniSetSerialNo(0x42, g_strIniPath);
            const std::string ini = FileText(g_strIniPath);
            gang.run(engine.entry, image);
            const Messages shown = gang.messages();
            const Counters parts = gang.bench.counters();
            if (shown != Messages{refusal.message(gang, f)} || gang.messageIcons()[0] != platform::MsgIcon::Error ||
                !gang.board.log().empty() || parts != Counters{} || g_pBlockBuf.size() != 0 || g_SerialPort.IsOpen() ||
                FileText(g_strIniPath) != ini)
                missed.push_back(strfmt("%s (%u of %u passed; %s)", f.name, parts.pass, parts.total,
                                        testing::PrintToString(shown).c_str()));
        }
        EXPECT_TRUE(missed.empty()) << refusal.name << " gets past: " << testing::PrintToString(missed);
    }
}
