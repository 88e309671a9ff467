// The single-pass, erase and link-try runs against the simulated board: each one's golden frame
// log, the target it leaves, and one table of faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_hid/site_steps.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "variant_table.h"

namespace {

using engine_hid::ctl::kSiteIcon1;
using Messages = std::vector<std::string>;
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

// The runs that leave the port open for the page: the page erase, the link tries, the option
// byte reset (whose page opens it again).
bool LeavesPortOpen(const std::string& name) {
    return name == "GangPageEraseThread" || name == "GangOptionByteResetThread" || name.find("TestThread") != std::string::npos;
}
bool ShowsIcons(const std::string& name) {
    return name == "GangSingleProgramThread" || name == "GangBroadcastProgramThread" || name == "GangSingleProgram8Thread";
}
bool Verifies(const VariantFacts& f) { return f.golden != std::string("program-only.log") && f.verifyBlock == 32; }
// Whether the run shows a passed part: its pass icon, or, for the members without icons, no
// message and their closing line last.
bool ShowsPass(const SimulatedGang& g, const VariantFacts& f) {
    if (ShowsIcons(f.name)) return g.bench.page.icons.count(engine_hid::ctl::kSiteIcon1) && g.bench.page.icons.at(engine_hid::ctl::kSiteIcon1) == 150;
    const auto& log = g.bench.page.log;
    const auto closes = [&](const char* line) { return !log.empty() && log.back().rfind(line, 0) == 0; };
    return g.messages().empty() && (closes("Verify elapsed time") || closes("program successful"));
}

std::vector<GangVariant> SinglePassRuns() {
    std::vector<GangVariant> runs = VariantsOf(Cycle::SinglePass);
    for (const GangVariant& v : VariantsOf(Cycle::Broadcast)) runs.push_back(v);
    return runs;
}

const std::vector<uint8_t> kKey = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x01};

// A run of alike lines folds into one line and its count.
std::string FoldRepeats(const std::string& log) {
    std::istringstream lines(log);
    std::string out, line, last;
    int repeats = 0;
    const auto flush = [&] {
        if (repeats > 1) out += strfmt("      (%d times)\n", repeats);
    };
    while (std::getline(lines, line)) {
        if (line == last) {
            ++repeats;
            continue;
        }
        flush();
        out += line + "\n";
        last = line;
        repeats = 1;
    }
    flush();
    return out;
}

}  // namespace

// Each run's whole sequence on the target wired to the line (the broadcast run: on a board of
// targets with their own supply, one in socket 1), with delays of their own so that every pause
// shows; the target holds the image after every run that programs.
TEST(SinglePassRuns, EachRunsItsOwnSequence) {
    std::vector<GangVariant> runs = SinglePassRuns();
    for (const GangVariant& v : VariantsOf(Cycle::LinkTry)) runs.push_back(v);
    for (const GangVariant& variant : runs) {
        const VariantFacts& facts = FactsOf(variant.name);
        SCOPED_TRACE(facts.name);
        SimulatedGang gang;
        g_nDelayCount = 7;
        gang.store("COM Extra Delay", 3);
        const std::vector<uint8_t> image = PatternImage(100);
        PrepareTargets(gang, facts, {0}, image);
        gang.bench.page.pageErase = {0x10, 2};
        // The handshakes of the link try go unanswered, so that the log is the program's alone.
        if (facts.name == std::string("GangHandshakeTestThread")) gang.board.wireSingleTarget(-1), gang.populate({});
        gang.run(variant.entry, image);

        ExpectGolden("engine_com", facts.golden, FoldRepeats(gang.exchangeLog()));
        if (facts.programs) {
            EXPECT_TRUE(Holds(gang, 0, image));
        }
        if (ShowsIcons(facts.name)) {
            EXPECT_EQ(gang.bench.page.icons[kSiteIcon1], 150);
        }
        EXPECT_TRUE(gang.messages().empty());
        EXPECT_EQ(g_SerialPort.IsOpen(), LeavesPortOpen(facts.name));
        EXPECT_EQ(gang.bench.counters(), Counters{});
    }
}

// Each programming run's option block, encryption mark and key page (Key Write on), with
// encryption and the code option each on and off, for an image that stops short of the option
// block and one that reaches it: one golden file per run, a section per setting.
TEST(SinglePassRuns, WriteTheirOptionBlockMarkAndKeyPageAsSet) {
    for (const GangVariant& variant : SinglePassRuns()) {
        const VariantFacts& facts = FactsOf(variant.name);
        if (!facts.programs) continue;
        std::string sections;
        for (const int encry : {0, 1})
            for (const int codeOption : {0, 1})
                for (const size_t size : {0x20, 0x48}) {
                    const std::string section = strfmt("encryption %d, code option %d, image of 0x%zX bytes", encry, codeOption, size);
                    SCOPED_TRACE(std::string(facts.name) + ", " + section);
                    SimulatedGang gang;
                    const std::vector<uint8_t> image = PatternImage(size);
                    PrepareTargets(gang, facts, {0}, image);
                    gang.store("Option Addr", 0x40);
                    gang.store("ENCRY", encry);
                    gang.store("Code Option", codeOption);
                    gang.store("Key Write", 1);
                    std::copy(kKey.begin(), kKey.end(), g_LoadedKeyBytes.begin());
                    gang.run(variant.entry, image);
                    EXPECT_TRUE(gang.messages().empty());
                    sections += "# " + section + "\n" + FoldRepeats(gang.exchangeLog());
                }
        const std::string golden = facts.golden;
        ExpectGolden("engine_com", golden.substr(0, golden.size() - 4) + "-options.log", sections);
    }
}

namespace {

struct SingleFault {
    const char* name;
    std::function<bool(const VariantFacts&)> appliesTo;
    std::function<void(SimulatedGang&, const VariantFacts&)> arrange;
    std::function<void(const SimulatedGang&, const VariantFacts&)> expect;
};

const auto kAll = [](const VariantFacts&) { return true; };

// The step texts the members show before the time-out message.
Messages SilentLine(const VariantFacts& f) {
    const std::string name = f.name;
    if (name == "GangOptionByteResetThread" || f.cycle == Cycle::LinkTry) return {};
    if (f.cycle == Cycle::Broadcast) return {"ISP_4053 timeout!", kTimeoutText};
    if (ShowsIcons(name)) return {"ISP_START!", kTimeoutText};
    return {kTimeoutText};
}

const SingleFault kSingleFaults[] = {
    // Every run ends within its waits; the leave frame goes out where a run lets the target go.
    {"a silent line", kAll, [](SimulatedGang& g, const VariantFacts&) { g.board.setSilent(true); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), SilentLine(f));
         const auto notes = g.notes();
         EXPECT_EQ(std::count(notes.begin(), notes.end(), "timeout"), f.cycle == Cycle::LinkTry ? 0 : 1);
         // The broadcast ends before its scan found a socket: no socket shows an icon.
         if (f.cycle == Cycle::Broadcast) {
             EXPECT_TRUE(g.bench.page.icons.empty());
         } else if (ShowsIcons(f.name)) {
             EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         }
     }},
    // Code from a start address that ends past the option offset is refused before any frame,
    // with the text of every other run.
    {"code over the option block", [](const VariantFacts& f) { return f.programs || f.readsBack; },
     [](SimulatedGang&, const VariantFacts& f) { StartCodeOverOptionBlock(f, 100); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{CodeOverOptionBlockText(f, 100)});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // A port lost where a run changes the line's speed ends the run, the operator told why.
    {"a port lost at the line speed's change", [](const VariantFacts& f) { return !LeavesPortOpen(f.name); },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("BaudRate", 57600);
         g.onNote = At("speed", 1, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         const bool changes = g.framesOf(0x0F, 0x0E) != 0;
         EXPECT_EQ(g.messages(), changes ? Messages{"Can not open COM port !"} : Messages{});
         EXPECT_TRUE(!changes || !ShowsPass(g, f));
     }},
    // A byte in the third block keeps its erased value: the read-back names the block.
    {"a differing block", [](const VariantFacts& f) { return f.programs && Verifies(f); },
     [](SimulatedGang& g, const VariantFacts&) { g.board.stickByte(0, 0x50); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x40!!!"});
         // The leave frame; the broadcast's second one lets the sockets go that left its greeting
         // unanswered.
         EXPECT_EQ(g.framesOf(0x0F, 0x0C), f.cycle == Cycle::Broadcast ? 2 : 1);
         if (ShowsIcons(f.name)) {
             EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         }
     }},
    // A byte of the last partial block keeps its erased value: the compare of that block names it.
    {"a differing last partial block", [](const VariantFacts& f) { return f.programs && Verifies(f); },
     [](SimulatedGang& g, const VariantFacts&) { g.board.stickByte(0, 0x62); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x60!!!"});
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // An image that ends where the option block starts: the block goes out as its own frame.
    {"an image that ends at its option block",
     [](const VariantFacts& f) { return f.programs && f.golden != std::string("timed-program.log"); },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("Option Addr", 100);
         g.store("Code Option", 1);
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_TRUE(Holds(g, 0, {0xAA, 0x00, 0x00, 0x00, 0xFF}, 100));
         EXPECT_TRUE(ShowsPass(g, f));
     }},
    // An option offset left from a larger chip model: refused before any frame, as the gang runs
    // refuse it, rather than a block sent past the flash and a pass without it.
    {"an option offset beyond the flash", [](const VariantFacts& f) { return f.programs; },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("Option Addr", 0x7FF8);
         g.store("Code Option", 1);
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Option address 0x7FF8 lies beyond the flash of 0x4000 bytes!"});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // An option offset of 0: the part would get the block (at the start address) and none of
    // the code, and pass.
    {"an option offset that leaves no code", [](const VariantFacts& f) { return f.programs || f.readsBack; },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("Option Addr", 0);
         g.store("Code Option", 1);
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Option address 0x0 leaves no code to program!"});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // The option block that goes out on its own is read back with the code: a byte of it that
    // keeps its erased value fails the part. The program-only run reads nothing back: the
    // target's report of the write fails it.
    {"an option block that does not hold",
     [](const VariantFacts& f) { return f.programs && f.golden != std::string("timed-program.log"); },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("Option Addr", 0x1000);
         g.store("Code Option", 1);
         g.board.stickByte(0, 0x1000);
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{Verifies(f) ? "Verified Failure at 0x1000!!!" : "Program memory error at 0x1000!!!"});
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // The program-only run's code, which nothing compares: a frame the target reports not landed
    // ends the run there, named by its address.
    {"code the target reports not landed", [](const VariantFacts& f) { return f.programs && !Verifies(f); },
     [](SimulatedGang& g, const VariantFacts&) { g.board.stickByte(0, 0x52); },
     [](const SimulatedGang& g, const VariantFacts&) {
         EXPECT_EQ(g.messages(), Messages{"Program memory error at 0x50!!!"});
         EXPECT_EQ(g.framesOf(0x0F, 0x22), 0x50 / 8 + 1);
     }},
    // A run that failed gave the part number 000103; the program-only run erases nothing, so the
    // flash keeps the AND of that block and this run's 000105, which no status byte reports: the
    // block read back fails the part, named.
    {"an option block a failed run numbered", [](const VariantFacts& f) { return f.programs && !Verifies(f); },
     [](SimulatedGang& g, const VariantFacts&) {
         g.board.answerWritesMinimally(true), g.store("Code Option", 1), g.store("Gang Serial En", 1);
         IniSetSerialNo(0x105, g_strIniPath);
         g.board.writeFlash(0, 0x3FF8, std::vector<uint8_t>{0xAF, 0x00, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFF});
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Option block at 0x3FF8 does not hold what was written!!!"});
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // ... and so where the image reaches the block, which goes out numbered among the code.
    {"an option block in the code a failed run numbered", [](const VariantFacts& f) { return f.programs && !Verifies(f); },
     [](SimulatedGang& g, const VariantFacts&) {
         g.board.answerWritesMinimally(true), g.store("Code Option", 1), g.store("Gang Serial En", 1);
         g.store("Option Addr", 0x5C);
         IniSetSerialNo(0x105, g_strIniPath);
         g.board.writeFlash(0, 0x5C, std::vector<uint8_t>{0xAF, 0x00, 0x01, 0x03});
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Option block at 0x5C does not hold what was written!!!"});
         EXPECT_EQ(g.board.target(0)->flash[0x5F], 0x01);
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // A board may answer a write without the target's status byte: that reports nothing, and
    // every run passes its good part.
    {"a board that answers writes without a status byte", [](const VariantFacts& f) { return f.programs; },
     [](SimulatedGang& g, const VariantFacts&) { g.board.answerWritesMinimally(true), g.store("Code Option", 1); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_TRUE(ShowsPass(g, f));
         EXPECT_EQ(g.board.target(0)->flash[0x3FF8] & 0x0F, 0x0A);  // the option block, or the timed run's mark
     }},
    // The verify-only run meets a part whose third 8-byte group differs.
    {"a part that differs", [](const VariantFacts& f) { return !f.programs && f.readsBack; },
     [](SimulatedGang& g, const VariantFacts&) { g.board.writeFlash(0, 20, std::vector<uint8_t>{0x00}); },
     [](const SimulatedGang& g, const VariantFacts&) { EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x0!!!"}); }},
    // ... and a part that differs in its last partial block.
    {"a part that differs at its end", [](const VariantFacts& f) { return !f.programs && f.readsBack; },
     [](SimulatedGang& g, const VariantFacts&) { g.board.writeFlash(0, 0x62, std::vector<uint8_t>{0x00}); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x60!!!"});
         EXPECT_FALSE(ShowsPass(g, f));
     }},
    // A part programmed with its option block at the image's last eight bytes: only the code up
    // to the block is compared, so the part passes with its own block.
    {"a part with its own option block", [](const VariantFacts& f) { return !f.programs && f.readsBack; },
     [](SimulatedGang& g, const VariantFacts&) {
         g.store("Option Addr", 0x5C);
         g.board.writeFlash(0, 0x5C, std::vector<uint8_t>{0xAA, 0x00, 0x00, 0x42, 0xFF, 0xFF, 0xFF, 0xFF});
     },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.framesOf(0x0F, 0x03), (0x5C + 7) / 8);
         EXPECT_TRUE(ShowsPass(g, f));
     }},
    // Cancel before the second block: no message, the target let go.
    {"Cancel between blocks", [](const VariantFacts& f) { return f.verifyBlock == 32; },
     [](SimulatedGang& g, const VariantFacts& f) { g.onNote = StopAtStep(f.programs ? "step 06" : "step 00", 2); },
     [](const SimulatedGang& g, const VariantFacts& f) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.framesOf(0x0F, 0x0C), 1);
         if (ShowsIcons(f.name)) {
             EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         }
     }},
};

}  // namespace

TEST(SinglePassRuns, MeetTheSameFaults) {
    const std::vector<uint8_t> image = PatternImage(100);
    std::vector<GangVariant> runs = SinglePassRuns();
    for (const GangVariant& v : VariantsOf(Cycle::LinkTry)) runs.push_back(v);
    for (const GangVariant& variant : runs) {
        const VariantFacts& facts = FactsOf(variant.name);
        for (const SingleFault& fault : kSingleFaults) {
            if (!fault.appliesTo(facts)) continue;
            SCOPED_TRACE(std::string(facts.name) + ", " + fault.name);
            SimulatedGang gang;
            PrepareTargets(gang, facts, {0}, image);
            gang.bench.page.pageErase = {0x10, 2};
            fault.arrange(gang, facts);
            gang.run(variant.entry, image);
            EXPECT_EQ(g_SerialPort.IsOpen(), LeavesPortOpen(facts.name));
            EXPECT_EQ(gang.bench.counters(), Counters{});
            EXPECT_EQ(gang.bench.page.enabled[engine_hid::ctl::kCancel], false);
            fault.expect(gang, facts);
        }
    }
}

// Every reply of a run dropped in turn, and a run that showed no passed part tried once more over
// the same part with nothing dropped, as an operator tries it again. The board answers writes
// without the target's status byte; the runs number their option blocks and write the key page.
// Each run ends, and a run that shows a passed part holds the image, the key, and an option block
// with a number that run gave.
TEST(SinglePassRuns, DroppingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(70);
    for (const GangVariant& variant : SinglePassRuns()) {
        const VariantFacts& facts = FactsOf(variant.name);
        SCOPED_TRACE(facts.name);
        const auto prepare = [&](SimulatedGang& gang) {
            PrepareTargets(gang, facts, {0}, image);
            gang.bench.page.pageErase = {0x10, 2};
            gang.board.answerWritesMinimally(true);
            gang.store("Code Option", 1);
            gang.store("Gang Serial En", 1);
            gang.store("Key Write", 1);
            std::copy(kKey.begin(), kKey.end(), g_LoadedKeyBytes.begin());
            IniSetSerialNo(0x100, g_strIniPath);
        };
        // A passed part shown by the run just ended, whose numbers began at first.
        const auto expectWhole = [&](const SimulatedGang& gang, uint32_t first) {
            if (!ShowsPass(gang, facts)) return;
            EXPECT_TRUE(Holds(gang, 0, image));
            if (!facts.programs) return;
            sim::GangTarget part = *gang.board.target(0);
            for (uint32_t k = 0; k < kKey.size(); ++k) EXPECT_EQ(*part.cell(0x4000 + k), kKey[k]) << "key byte " << k;
            const uint32_t p = OptionAddrOf(facts);
            const std::vector<uint8_t>& flash = part.flash;
            if (std::string(facts.name) == "GangTimedProgramThread") return;
            const uint32_t number = uint32_t{flash[p + 1]} << 16 | flash[p + 2] << 8 | flash[p + 3];
            EXPECT_GE(number, first) << "a number given before";
            EXPECT_LT(number, IniGetSerialNo(g_strIniPath));
        };
        int replies = 0;
        {
            SimulatedGang gang;
            prepare(gang);
            gang.run(variant.entry, image);
            for (const sim::LogEntry& entry : gang.board.log()) replies += entry.fromHost ? 0 : 1;
        }
        for (int n = 1; n <= replies; ++n) {
            SCOPED_TRACE(n);
            SimulatedGang gang;
            prepare(gang);
            gang.board.dropReplyNumber(n);
            gang.run(variant.entry, image);
            expectWhole(gang, 0x100);
            EXPECT_EQ(g_SerialPort.IsOpen(), LeavesPortOpen(facts.name));
            // The broadcast lets its target go whichever reply it missed.
            if (facts.cycle == Cycle::Broadcast) {
                EXPECT_FALSE(gang.board.target(0)->inIsp);
            }
            if (ShowsPass(gang, facts) || !facts.programs) continue;
            const uint32_t first = IniGetSerialNo(g_strIniPath);
            gang.bench.page.log.clear();
            gang.bench.page.messages.clear();
            gang.bench.page.messageIcons.clear();
            gang.bench.page.icons.clear();
            gang.bench.services.clear();
            gang.run(variant.entry, image);
            expectWhole(gang, first);
        }
    }
}

namespace {

struct Scenario {
    const char* name;
    void (*entry)(WorkerPage&);
    std::vector<int> sockets;
    size_t imageSize;
    std::function<void(SimulatedGang&)> arrange;
    std::function<void(const SimulatedGang&)> expect;
};

// Key Write on a 48 KB part whose key page holds an old key.
void ArrangeKeyPageIn(SimulatedGang& g, const std::vector<int>& sockets) {
    g_nChipMode = 7;
    g.populate(sockets);
    g.store("Key Write", 1);
    std::copy(kKey.begin(), kKey.end(), g_LoadedKeyBytes.begin());
    g.board.writeFlash(0, 0x4000, std::vector<uint8_t>(16, 0x0F));
}
void ArrangeKeyPage(SimulatedGang& g) { ArrangeKeyPageIn(g, {0}); }

std::string Log(const SimulatedGang& g) { return g.exchangeLog(); }
// No target of a broadcast is left halted in ISP mode, however the run ended.
void ExpectAllLetGo(const SimulatedGang& g) {
    for (int s = 0; s < 4; ++s) {
        const auto target = g.board.target(s);
        EXPECT_FALSE(target && target->inIsp) << "socket " << s + 1;
    }
}
bool Logs(const SimulatedGang& g, const std::string& text) { return Log(g).find(text) != std::string::npos; }

// The icon log of a broadcast: the failed icon and the number icon on the sockets its scan
// found, nothing on any other.
void ExpectFailedFound(const SimulatedGang& g, const std::vector<int>& found) {
    std::map<int, int> icons;
    for (const int s : found) icons[kSiteIcon1 + s] = 151, icons[engine_hid::ctl::kIndicator1 + s] = engine_hid::icon::kTargetPresent[s];
    EXPECT_EQ(g.bench.page.icons, icons);
}

// What the single-pass and link-try runs do beyond their golden logs.
const Scenario kScenarios[] = {
    // The encryption mark is read and written at the run's option offset, not at a fixed one.
    {"the timed run marks encryption at P", GangTimedProgramThread, {0}, 100,
     [](SimulatedGang& g) { g.store("Option Addr", 0x1000); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(Logs(g, "05  800 > 0F 08 01 01 10 FF | < AA 0F 08 00 00 17\n    0 02  800 > 0F 03 00 08 00 FF"));
         EXPECT_EQ(g.board.target(0)->flash[0x1000], 0xFA);
     }},
    // An image that reaches P carries the mark in its own byte there, not a mark written over the
    // programmed byte after the code, which spoils it. The mark takes the byte's low four bits
    // and keeps its high four, the code option's (the pattern's byte 0xAF at P).
    {"the timed run's image over P", GangTimedProgramThread, {0}, 0xB7,
     [](SimulatedGang& g) { g.store("Option Addr", 0xAF); },
     [](const SimulatedGang& g) {
         std::vector<uint8_t> marked = PatternImage(0xB7);
         marked[0xAF] = 0xAA;
         EXPECT_TRUE(Holds(g, 0, marked));
         EXPECT_TRUE(g.messages().empty());
     }},
    // Nothing compares the mark written after the code: the target's report of the write judges
    // it, and where the reply carries none, the mark read back.
    {"the timed run's mark that does not land", GangTimedProgramThread, {0}, 100,
     [](SimulatedGang& g) { g.board.stickByte(0, 0x3FF8); },
     [](const SimulatedGang& g) { EXPECT_EQ(g.messages(), Messages{"Program memory error at 0x3FF8!!!"}); }},
    {"the timed run's mark that does not land, unreported", GangTimedProgramThread, {0}, 100,
     [](SimulatedGang& g) { g.board.answerWritesMinimally(true), g.board.stickByte(0, 0x3FF8); },
     [](const SimulatedGang& g) { EXPECT_EQ(g.messages(), Messages{"Encryption mark at 0x3FF8 did not land!!!"}); }},
    // The compare result after the last block catches a difference the 64-byte rhythm skips.
    {"the timed run asks for the last block's result", GangTimedProgramThread, {0}, 128,
     [](SimulatedGang& g) { g.board.stickByte(0, 0x70); },
     [](const SimulatedGang& g) { EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x60!!!"}); }},
    // Key Write with a key page inside the code of a 48 KB part: refused before any frame.
    {"a key page on the code", GangSingleProgramThread, {0}, 0x4100,
     [](SimulatedGang& g) {
         g_nChipMode = 7;
         g.populate({0});
         g.store("Key Write", 1);
     },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"Key page address 0x4000 lies on the code or the option block!"});
         EXPECT_TRUE(g.board.log().empty());
     }},
    // With the code option the serial number is patched into the image and spent as it goes out,
    // also when the part then fails its verify.
    {"a serial number spent on a failing part", GangSingleProgramThread, {0}, 0x48,
     [](SimulatedGang& g) {
         g.store("Code Option", 1);
         g.store("Gang Serial En", 1);
         g.store("Option Addr", 0x40);
         IniSetSerialNo(0x42, g_strIniPath);
         g.board.stickByte(0, 0x10);
     },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(Holds(g, 0, {0xAA, 0x00, 0x00, 0x42, 0xFF}, 0x40));
         EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x43u);
         EXPECT_EQ(g.bench.page.texts.at(engine_hid::ctl::kSerialLabel), "S/N Last : 000043");
     }},
    // The same frames reach every target of a broadcast: one number must not go into two parts.
    {"a broadcast serial number", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) {
         g.store("Code Option", 1);
         g.store("Gang Serial En", 1);
     },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"One serial number cannot go to 2 ICs at once!"});
         EXPECT_EQ(g.framesOf(0x0F, 0x22), 0);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 151);
         ExpectAllLetGo(g);
     }},
    // Every found target is read back alone and judged by its own bytes; an empty socket shows
    // no icon, and no counter moves.
    {"a broadcast target that holds a wrong byte", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.board.stickByte(2, 0x50); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"Verified Failure at 0x40!!!"});
         const auto& icons = g.bench.page.icons;
         EXPECT_EQ(icons.at(kSiteIcon1), 150);
         EXPECT_EQ(icons.at(kSiteIcon1 + 2), 151);
         for (const int empty : {1, 3}) {
             EXPECT_EQ(icons.count(kSiteIcon1 + empty), 0u);
             EXPECT_EQ(icons.count(engine_hid::ctl::kIndicator1 + empty), 0u);
         }
         EXPECT_TRUE(Holds(g, 0, PatternImage(100)));
         EXPECT_EQ(g.bench.counters(), Counters{});
     }},
    // Each found target's key page goes to it alone, after its read-back: its own reply judges
    // it, and a key that did not land fails that target, named, and no other.
    {"a broadcast target whose key does not land", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { ArrangeKeyPageIn(g, {0, 2}), g.board.stickByte(2, 0x4003); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"IC3 program memory error at 0x4003!!!"});
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 150);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 151);
         EXPECT_TRUE(Holds(g, 0, kKey, 0x4000));
         EXPECT_TRUE(Holds(g, 2, std::vector<uint8_t>(kKey.begin(), kKey.begin() + 3), 0x4000));
         ExpectAllLetGo(g);
     }},
    {"a broadcast whose first target's key does not land", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { ArrangeKeyPageIn(g, {0, 2}), g.board.stickByte(0, 0x400F); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"IC1 program memory error at 0x400F!!!"});
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 150);
         EXPECT_TRUE(Holds(g, 2, kKey, 0x4000));
     }},
    // A broadcast that ends unfinished lets every target it greeted go, not only the one whose
    // switch is closed last: Cancel in the first target's read-back, a read-back unanswered.
    {"a broadcast cancelled in its read-back", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.onNote = StopAtStep("step 01", 2); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(g.messages().empty());
         // Every greeted socket's switch closed, then the one leave frame after the switches' pause.
         EXPECT_TRUE(Logs(g, "    0 2C  500 > F0 0A 01 01 01 FF | < AA F0 0A 00 00 FA\n"
                             "    0 2E  500 > F0 0B 01 01 01 FF | < AA F0 0B 00 00 FB\n"
                             "    0 30  500 > F0 0C 01 01 01 FF | < AA F0 0C 00 00 FC\n"
                             "    0 32  500 > F0 0D 01 01 01 FF | < AA F0 0D 00 00 FD\n"
                             "   20 10    - > 0F 0C 02 01 01 FF\n  501 end\n"));
         ExpectFailedFound(g, {0, 2});
         ExpectAllLetGo(g);
     }},
    // A switch of the let-go whose reply is lost (the seventh switch A frame) is told, and the
    // other switches and the leave frame still go out: no target stays in ISP mode.
    {"a broadcast cancelled in its read-back, a let-go switch unanswered", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.onNote = StopAtStep("step 01", 2), g.board.dropReplyAt(sim::BoardFrame(0x0A), 7); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"ISP_4066A timeout!"});
         EXPECT_TRUE(Logs(g, "   20 10    - > 0F 0C 02 01 01 FF\n  501 end\n"));
         ExpectFailedFound(g, {0, 2});
         ExpectAllLetGo(g);
     }},
    // Cancel after the last target's read-back ends the pause its key page's erase needs: the
    // key is not written over it, and no target passes.
    {"a broadcast cancelled in its last target's key page", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { ArrangeKeyPageIn(g, {0, 2}), g.onNote = StopAtStep("step 0C", 2); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(g.messages().empty());
         ExpectFailedFound(g, {0, 2});
         ExpectAllLetGo(g);
     }},
    // One read-back reply lost fails that target alone: the next is read back, given its key
    // page and passes. Two in a row end the run by time-out.
    {"a broadcast whose read-back goes unanswered", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { ArrangeKeyPageIn(g, {0, 2}), g.board.dropReplyAt(sim::TargetFrame(0x03), 2); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 150);
         EXPECT_TRUE(Holds(g, 2, kKey, 0x4000));
         EXPECT_FALSE(Holds(g, 0, kKey, 0x4000));
         ExpectAllLetGo(g);
     }},
    // A reply that comes after the run gave up on it (socket 1's last read, its option block)
    // answers no read of the next target.
    {"a broadcast whose read-back reply comes late", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.board.delayReplyAt(sim::TargetFrame(0x03), 5, 1500); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 150);
         EXPECT_EQ(g.framesOf(0x0F, 0x03), 2 * 5);
         ExpectAllLetGo(g);
     }},
    // Socket 1's target answers the scan after its wait, while the scan asks the empty socket 2:
    // the late reply answers nothing, and only socket 3's target is programmed.
    {"a broadcast scan that meets a late reply", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.board.delayReplyAt(sim::kHandshake, 1, 600); },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(g.messages().empty());
         EXPECT_EQ(g.bench.page.icons.count(kSiteIcon1 + 1), 0u);
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1 + 2), 150);
         EXPECT_TRUE(Holds(g, 2, PatternImage(100)));
     }},
    // A broadcast that ends before its scan shows no socket icon; one that ends inside the scan
    // shows the sockets found so far, not socket 3's target that it has not asked yet.
    {"a broadcast of an image without code", GangBroadcastProgramThread, {0}, 0, [](SimulatedGang&) {},
     [](const SimulatedGang& g) { ExpectFailedFound(g, {}); }},
    {"a broadcast whose wake-up line goes unanswered", GangBroadcastProgramThread, {0}, 100,
     [](SimulatedGang& g) { g.board.dropReplyAt(sim::BoardFrame(0x0E), 2); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), (Messages{"ISP_WAKEUP TIMEOUT!", kTimeoutText}));
         ExpectFailedFound(g, {});
     }},
    {"a broadcast whose switch goes unanswered in the scan", GangBroadcastProgramThread, {0, 2}, 100,
     [](SimulatedGang& g) { g.board.dropReplyAt(sim::BoardFrame(0x0B), 2); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), (Messages{"ISP_4066B timeout!", kTimeoutText}));
         ExpectFailedFound(g, {0});
         ExpectAllLetGo(g);
     }},
    // From a start address inside a page the 8-byte frames of a block cross into the next page:
    // each frame is addressed with its own page, so the code lands where it belongs.
    {"8-byte frames across a page", GangSingleProgram8Thread, {0}, 0x120,
     [](SimulatedGang&) { g_nIspStartAddr = 0x1010; },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(Holds(g, 0, PatternImage(0x120), 0x1010));
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 150);
     }},
    {"the timed run's frames across a page", GangTimedProgramThread, {0}, 0x120,
     [](SimulatedGang&) { g_nIspStartAddr = 0x1010; },
     [](const SimulatedGang& g) {
         EXPECT_TRUE(Holds(g, 0, PatternImage(0x120), 0x1010));
         EXPECT_TRUE(g.messages().empty());
     }},
    // The key page of a 48 KB part, erased first over an old key, then written byte by byte; the
    // timed run writes it after its encryption mark.
    {"the key page over an old key", GangProgramOnlyThread, {0}, 100, ArrangeKeyPage,
     [](const SimulatedGang& g) { EXPECT_TRUE(Holds(g, 0, kKey, 0x4000)); }},
    // Nothing compares the key page: a key byte the target reports not landed fails the run.
    {"a key byte that does not land", GangSingleProgramThread, {0}, 100,
     [](SimulatedGang& g) { ArrangeKeyPage(g), g.board.stickByte(0, 0x4003); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"Program memory error at 0x4003!!!"});
         EXPECT_EQ(g.bench.page.icons.at(kSiteIcon1), 151);
     }},
    {"the timed run's key page", GangTimedProgramThread, {0}, 100, ArrangeKeyPage,
     [](const SimulatedGang& g) {
         EXPECT_TRUE(Holds(g, 0, kKey, 0x4000));
         EXPECT_TRUE(g.messages().empty());
     }},
    // A page range past the flash is refused before any frame; the port stays open.
    {"a page range past the flash", GangPageEraseThread, {0}, 0,
     [](SimulatedGang& g) { g.bench.page.pageErase = {0x3F, 2}; },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"Pages 0x3F to 0x40 lie beyond the flash of 0x4000 bytes!"});
         EXPECT_TRUE(g.board.log().empty());
     }},
    // Cancel ends the pause a page's erase needs, and the run with it: no further page is erased
    // without its pause, no erase time is logged as done, and the target is let go.
    {"a page-range erase cancelled in a page's erase", GangPageEraseThread, {0}, 0,
     [](SimulatedGang& g) { g.bench.page.pageErase = {0x10, 3}, g.onNote = StopAtStep("pause 40", 1); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.framesOf(0x0F, 0x18), 1);
         for (const std::string& line : g.bench.page.log) EXPECT_EQ(line.find("elapsed"), std::string::npos) << line;
         ExpectAllLetGo(g);
     }},
    // A thousand handshakes, none dropped, each logged with its count.
    {"a thousand handshakes", GangHandshakeTestThread, {0}, 0, [](SimulatedGang&) {},
     [](const SimulatedGang& g) {
         const auto& log = g.bench.page.log;
         ASSERT_EQ(log.size(), 1001u);
         EXPECT_EQ(log.front(), "Begin test.............");
         EXPECT_EQ(log[1], "test 0");
         EXPECT_EQ(log.back(), "test 999");
         EXPECT_EQ(g.framesOf(0x0F, 'R'), 1000);
     }},
    // Nothing reads the reset byte back: a reset the target reports failed is told.
    {"the option byte reset the target reports failed", GangOptionByteResetThread, {0}, 0,
     [](SimulatedGang& g) { g.board.stickByte(0, 0x3FF8); },
     [](const SimulatedGang& g) { EXPECT_EQ(g.messages(), Messages{"Program memory error at 0x3FF8!!!"}); }},
    // The page opens the port again on every path, Cancel disabled.
    {"the option byte reset on a silent line", GangOptionByteResetThread, {0}, 0,
     [](SimulatedGang& g) { g.board.setSilent(true); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.bench.page.reopens, 1);
         EXPECT_FALSE(g.bench.page.enabled.at(engine_hid::ctl::kCancel));
         EXPECT_EQ(g.framesOf(0x0F, 0x22), 0);
     }},
    // An option address past the flash (and past 64 KB, whose high byte would wrap it to 0x10,
    // over an MTP part's code) is refused before any frame; the page opens the port again.
    {"the option byte reset past the flash", GangOptionByteResetThread, {0}, 0,
     [](SimulatedGang& g) { g.store("Option Addr", 0x10010); },
     [](const SimulatedGang& g) {
         EXPECT_EQ(g.messages(), Messages{"Option address 0x10010 lies beyond the flash of 0x4000 bytes!"});
         EXPECT_TRUE(g.board.log().empty());
         EXPECT_EQ(g.bench.page.reopens, 1);
     }},
};

}  // namespace

TEST(SinglePassRuns, DoWhatTheirDescriptionsSayBeyondTheGoldenLogs) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        SimulatedGang gang;
        const VariantFacts& facts = FactsOf(std::string(s.name).find("broadcast") != std::string::npos
                                                ? "GangBroadcastProgramThread"
                                                : "GangSingleProgramThread");
        PrepareTargets(gang, facts, s.sockets, {});
        s.arrange(gang);
        gang.run(s.entry, PatternImage(s.imageSize));
        s.expect(gang);
    }
}
