#include <gtest/gtest.h>

#include <algorithm>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/registry_key.h"
#include "core/registry_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/site_steps.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "support/simulated_gang.h"

namespace {

using engine_hid::ctl::kSiteIcon1;
using Leds = std::array<bool, 8>;
constexpr uint32_t kOptionAddr = 0x3FF8;  // chip mode 2: the last eight bytes of 16 KB
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

bool Holds(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& bytes, size_t at = 0) {
    const auto flash = gang.board.target(socket)->flash;
    return std::equal(bytes.begin(), bytes.end(), flash.begin() + static_cast<ptrdiff_t>(at));
}

// Sets the stop event when the n-th step with this note starts.
std::function<void(const std::string&)> StopAt(const char* step, int n) {
    return [step, n, seen = 0](const std::string& note) mutable {
        if (note == step && ++seen == n) g_hStopEvent.set();
    };
}

}  // namespace

TEST(GangProgram, FourTargetsGetTheImageTheirOptionBlockAndPassLeds) {
    SimulatedGang gang;
    const std::vector<uint8_t> image = PatternImage(1000);
    gang.run(GangProgramThread, image);

    ExpectGolden("engine_com", "program-four-sockets.log", gang.exchangeLog());
    for (int socket = 0; socket < 4; ++socket) {
        EXPECT_TRUE(Holds(gang, socket, image)) << socket;
        EXPECT_TRUE(Holds(gang, socket, std::vector<uint8_t>(kOptionAddr - image.size(), 0xFF), image.size())) << socket;
        // Image bytes past its end are 0xFF: byte 0 ANDed with 0xAA, no serial, the mode's tail.
        EXPECT_EQ(gang.board.target(socket)->optionBlock(kOptionAddr),
                  (std::array<uint8_t, 8>{0xAA, 0, 0, 0, 0xFF, 0x0E, 0, 0}));
        EXPECT_EQ(gang.bench.page.icons[kSiteIcon1 + socket], 150);
    }
    const sim::BoardState board = gang.board.state();
    EXPECT_EQ(board.leds, (Leds{0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_FALSE(board.power);
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
    EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kYield], "100.00%");
    EXPECT_TRUE(gang.messages().empty());
    EXPECT_EQ(gang.bench.services.tones(), (std::vector<RecordingServices::Tone>{{784, 900}}));
}

// Serial numbers advance from socket to socket, are shown and stored, and go on from the INI
// file in the next run, also after a restart (which starts the number from 0 in memory).
TEST(GangProgram, SerialNumbersAdvancePerPassingSocketAndGoOnFromTheIniFile) {
    SimulatedGang gang;
    gang.store("Option Serial", 1);
    gang.store("Gang Serial En", 1);
    IniSetSerialNo(0x12345A, g_strIniPath);
    gang.populate({0, 2});
    for (uint32_t first : {0x12345A, 0x12345C}) {
        if (first != 0x12345A) g_nGangSerial = 0;
        gang.run(GangProgramThread, PatternImage(300));
        for (auto [socket, serial] : {std::pair{0, first}, {2, first + 1}})  // option block bytes 1 to 3
            EXPECT_TRUE(Holds(gang, socket, {uint8_t(serial >> 16), uint8_t(serial >> 8), uint8_t(serial)}, kOptionAddr + 1));
        EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kSerialLabel], strfmt("S/N Last : %06X", first + 2));
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), first + 2);
    }
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
}

// Each run, faulty or refused, ends with the busy flag clear, and a socket counts as passed only
// when its whole image matched on the target.
TEST(GangProgram, RunsPassOnlySocketsThatHoldTheImage) {
    const std::vector<uint8_t> image = PatternImage(1000);
    const auto noFrame = [](SimulatedGang& g) { EXPECT_TRUE(g.board.log().empty()); };
    const struct {
        const char* name;
        std::function<void(SimulatedGang&)> arrange;
        std::vector<std::string> messages;
        Counters counted;
        std::array<bool, 4> holdsImage;  // flash equal to the image afterwards
        std::function<void(SimulatedGang&)> check = [](SimulatedGang&) {};
    } faults[] = {
        {"a differing block in socket 2", [](SimulatedGang& g) { g.board.differAtCompare(1, 3); }, {}, {4, 3, 1},
         {1, 0, 1, 1}},
        {"a dropped data reply", [](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(0x26), 3); },
         {"ISP_TRANS8DATA!", kTimeoutText}, {4, 0, 4}, {}},
        // The step gives up after 1000 ms; the reply comes after that and is let go by before
        // the next frame.
        {"a late compare reply", [](SimulatedGang& g) { g.board.delayReplyAt(sim::TargetFrame(0x0B), 2, 1030); }, {},
         {4, 3, 1}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_NE(g.exchangeLog().find("0F 0B 00 01 00 FF | < AA 0F 0B 00 00 1A\n      timed out"), std::string::npos);
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1], 151);
         }},
        // A start address erases page by page from its page to the end of the flash.
        {"a start address",
         [](SimulatedGang& g) {
             g.populate({1});
             g_nIspStartAddr = 0x3880;
             g.board.writeFlash(1, 0x3700, std::vector<uint8_t>(0x900, 0x00));
         },
         {}, {1, 1, 0}, {},
         [&image](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x1C), 8);  // pages 0x38 to 0x3F
             EXPECT_EQ(g.framesOf(0x0F, 0x16), 0);
             EXPECT_TRUE(Holds(g, 1, image, 0x3880));
             EXPECT_TRUE(Holds(g, 1, {0x00, 0xFF}, 0x37FF));  // the page before is kept
         }},
        {"an empty socket", [](SimulatedGang& g) { g.populate({0, 1, 3}); }, {}, {3, 3, 0}, {1, 1, 0, 1}},
        {"a socket lost after the erase", [](SimulatedGang& g) { g.board.dropReplyAt(sim::kHandshake, 5); }, {},
         {4, 3, 1}, {0, 1, 1, 1}},
        // The refused socket gets no option block and uses up no serial number.
        {"a wrong chip id",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x100, g_strIniPath);
             g.board.setChipId(1, 0x11);
         },
         {"Wrong Chip ID !"}, {4, 3, 1}, {1, 0, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_TRUE(Holds(g, 1, std::vector<uint8_t>(8, 0xFF), kOptionAddr));
             EXPECT_EQ(g.board.target(2)->optionBlock(kOptionAddr)[3], 0x01);
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x103u);
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1 + 1], 151);
         }},
        {"no port", [](SimulatedGang&) { SetComPortDeviceOverride("/nonexistent/tty"); }, {"Can not open COM port !"},
         {}, {}},
        {"no board at all", [](SimulatedGang& g) { g.board.setSilent(true); },
         {"2501 Hi Timeout!", kTimeoutText, "ISP_4066A timeout!", "ISP_4066B timeout!", "ISP_4066C timeout!",
          "ISP_4066D timeout!", "2501 Lo Timeout"},
         {}, {}},
        {"Cancel between blocks", [](SimulatedGang& g) { g.onNote = StopAt("step 06 800", 5); }, {}, {4, 0, 4}, {},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x26), 5);
             EXPECT_EQ(g.framesOf(0x0F, 0x3A), 0);
             EXPECT_EQ(g.board.state().leds, (Leds{1, 0, 1, 0, 1, 0, 1, 0}));
         }},
        // A number given out is stored even when the run then fails, so no part gets it twice;
        // the step lines go to the operation list when "Log Steps" is stored.
        {"Cancel in socket 2's verify",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             g.store("Log Steps", 1);
             IniSetSerialNo(0x500, g_strIniPath);
             g.onNote = StopAt("step 13 800", 16 + 3);
         },
         {}, {4, 0, 4}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x501u);
             EXPECT_EQ(g.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000501");
             const auto& log = g.bench.page.log;
             for (const char* line : {"IC socket power on!", "Begin erase chip all data.............",
                                      "Begin programming.............", "Begin verifying IC1 ........",
                                      "Begin verifying IC2 ........", "IC socket power off"})
                 EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
             EXPECT_EQ(g.bench.page.logLinesWith("Verify IC1 successful, elapsed time : ").size(), 1u);
             EXPECT_TRUE(g.bench.page.logLinesWith("Verify IC2").empty());
         }},
        {"an option block beyond the flash", [](SimulatedGang& g) { g.store("Option Addr", 0x3FF9); },
         {"Option address 0x3FF9 lies beyond the flash of 0x4000 bytes!"}, {}, {}, noFrame},
        {"code beyond the flash", [](SimulatedGang&) { g_nIspStartAddr = 0x3F00; },
         {"Start address 0x3F00 and 0x3E8 bytes of code lie beyond the flash of 0x4000 bytes!"}, {}, {}, noFrame},
        {"no room for code", [](SimulatedGang& g) { g.store("Option Addr", 0); },
         {"Option address 0x0 leaves no code to program!"}, {}, {}, noFrame},
        // Where the system loses the port after an unanswered handshake, the run opens it again
        // a bounded number of times; the socket found before counts as failed.
        {"a port that stays closed after a handshake",
         [](SimulatedGang& g) {
             g.populate({0});
             g_dwOsMajor = 6;
             g_dwOsMinor = 1;
             g.onNote = [handshakes = 0](const std::string& note) mutable {
                 if (note == "step 03 500" && ++handshakes == 2) SetComPortDeviceOverride("/nonexistent/tty");
             };
         },
         {"ISP_LED1 timeout!"}, {1, 0, 1}, {},
         [](SimulatedGang& g) {
             const auto notes = g.notes();
             EXPECT_EQ(std::count(notes.begin(), notes.end(), "reopen"), 35);
             EXPECT_FALSE(g_SerialPort.IsOpen());
         }},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        SimulatedGang gang;
        f.arrange(gang);
        gang.run(GangProgramThread, image);
        EXPECT_EQ(gang.messages(), f.messages);
        EXPECT_EQ(gang.bench.storedCounters(), f.counted);
        for (int socket = 0; socket < 4; ++socket)
            EXPECT_TRUE(!gang.board.target(socket) || Holds(gang, socket, image) == f.holdsImage[socket]) << socket;
        f.check(gang);
    }
}

// A protection byte or the code option makes the run ask first; an abort, a stop prompt or a
// remembered abort ends the run before any frame and counts nothing.
TEST(GangProgram, TheProtectionGuardAsksBeforeAnyFrame) {
    using P = RecordingPage::Prompt;
    constexpr int kAbort = 3, kContinue = 1;
    // block: the image's last eight bytes, at the option offset 0x400.
    const struct { const char* name; std::array<uint8_t, 8> block; uint32_t warnProtect, protectContinue; int answer;
                   std::vector<P> prompts; bool burns; } cases[] = {
        {"0x10 enabled, continue", {0xA5, 0, 0, 0, 0x10, 1, 2, 3}, 1, 1, kContinue, {{14, 1, 0x404}}, true},
        {"0x10 enabled, abort", {0xA5, 0, 0, 0, 0x10, 1, 2, 3}, 1, 1, kAbort, {{14, 1, 0x404}}, false},
        {"0x00 not enabled", {0x5A, 0, 0, 0, 0x00, 1, 2, 3}, 1, 1, kContinue, {{13, 2, 0x404}}, false},
        {"code option only", {0xA0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 1, 1, kAbort, {{14, 5, 0x400}}, false},
        {"both, protection first", {0xA0, 0, 0, 0, 0x00, 0xFF, 0xFF, 0xFF}, 1, 1, kContinue,
         {{14, 2, 0x404}, {14, 5, 0x400}}, true},
        {"remembered abort", {0xA5, 0, 0, 0, 0x10, 1, 2, 3}, 0, 0, kContinue, {}, false},
        {"remembered continue", {0xA5, 0, 0, 0, 0x10, 1, 2, 3}, 0, 1, kAbort, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedGang gang;
        gang.store("Option Addr", 0x400);
        gang.populate({0});
        g_bWarnProtect = c.warnProtect;
        g_bProtectContinue = c.protectContinue;
        gang.bench.page.onWarn = [&](int, uint32_t) { return c.answer; };
        std::vector<uint8_t> image = PatternImage(0x400);
        image.insert(image.end(), c.block.begin(), c.block.end());
        gang.run(GangProgramThread, image);
        EXPECT_EQ(gang.bench.page.prompts, c.prompts);
        EXPECT_EQ(gang.board.log().empty(), !c.burns);
        EXPECT_EQ(gang.bench.storedCounters(), c.burns ? (Counters{1, 1, 0}) : (Counters{}));
        EXPECT_TRUE(gang.messages().empty());
    }
}

// With encryption and "Key Write" stored, each passing socket gets the 16 key bytes, one
// frame each at the chip model's block address, after its option block.
TEST(GangProgram, TheKeyPageFollowsTheOptionBlock) {
    SimulatedGang gang;
    gang.populate({0});
    gang.store("Key Write", 1);
    std::array<uint8_t, 16> key;
    for (size_t k = 0; k < key.size(); ++k) key[k] = static_cast<uint8_t>(0xC0 + k);
    CRegistryKey store;
    ASSERT_EQ(store.Open(g_szRegKey), ERROR_SUCCESS);
    ASSERT_EQ(store.WriteBinary("Key Bytes", key), ERROR_SUCCESS);
    gang.run(GangProgramThread, PatternImage(64));
    // After the option block: the key page's address frames, then one frame per key byte.
    std::vector<std::string> frames = {"> 0F 22 F8 08 ", "> 0F 08 01 01 40 FF", "> 0F 18 00 01 00 FF"};
    for (size_t k = 0; k < key.size(); ++k) frames.push_back(strfmt("> 0F 22 %02zX 01 %02X FF", k, key[k]));
    const std::string log = gang.exchangeLog();
    size_t at = 0;
    for (const std::string& frame : frames) {
        at = log.find(frame, at);
        ASSERT_NE(at, std::string::npos) << frame << "\n" << log;
    }
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 1, 0}));
}
