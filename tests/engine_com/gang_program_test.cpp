#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/globals.h"
#include "app/ini_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/site_steps.h"
#include "app/registry_key.h"
#include "app/registry_settings.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/golden_file.h"
#include "support/simulated_gang.h"

namespace {

using engine_hid::ctl::kIndicator1;
using engine_hid::ctl::kSiteIcon1;
constexpr uint32_t kOptionAddr = 0x3FF8;  // chip mode 2: the last eight bytes of 16 KB
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

std::vector<uint8_t> FlashBelow(const sim::GangBoard& board, int socket, size_t end) {
    const auto flash = board.target(socket)->flash;
    return {flash.begin(), flash.begin() + static_cast<ptrdiff_t>(end)};
}

// The image followed by 0xFF up to the option offset: what a programmed target holds there.
std::vector<uint8_t> Programmed(const std::vector<uint8_t>& image, size_t end) {
    std::vector<uint8_t> bytes(end, 0xFF);
    std::copy(image.begin(), image.end(), bytes.begin());
    return bytes;
}

std::vector<std::string> Messages(const SimulatedGang& gang) {
    std::vector<std::string> texts;
    for (const auto& m : gang.bench.services.messages()) texts.push_back(m.text);
    for (const auto& m : gang.bench.page.messages) texts.push_back(m);
    return texts;
}

std::array<bool, 8> Leds(std::initializer_list<int> lit) {
    std::array<bool, 8> leds{};
    for (int n : lit) leds[n - 1] = true;
    return leds;
}

}  // namespace

TEST(GangProgram, FourTargetsGetTheImageTheirOptionBlockAndPassLeds) {
    SimulatedGang gang;
    const std::vector<uint8_t> image = PatternImage(1000);
    gang.run(GangProgramThread, image);

    ExpectGolden("engine_com", "program-four-sockets.log", gang.exchangeLog());
    for (int socket = 0; socket < 4; ++socket) {
        EXPECT_EQ(FlashBelow(gang.board, socket, kOptionAddr), Programmed(image, kOptionAddr)) << socket;
        // Image bytes past its end are 0xFF: byte 0 ANDed with 0xAA, no serial, the mode's tail.
        EXPECT_EQ(gang.board.target(socket)->optionBlock(kOptionAddr),
                  (std::array<uint8_t, 8>{0xAA, 0, 0, 0, 0xFF, 0x0E, 0, 0}));
        EXPECT_EQ(gang.bench.page.icons[kSiteIcon1 + socket], 150);
        EXPECT_EQ(gang.bench.page.icons[kIndicator1 + socket], engine_hid::icon::kTargetPresent[socket]);
    }
    const sim::BoardState board = gang.board.state();
    EXPECT_EQ(board.leds, Leds({2, 4, 6, 8}));
    EXPECT_FALSE(board.power);
    EXPECT_EQ(board.switches, (std::array<bool, 4>{}));
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
    EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kYield], "100.00%");
    EXPECT_TRUE(Messages(gang).empty());
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
    const std::vector<uint8_t> image = PatternImage(300);

    const struct { bool restart; std::array<uint8_t, 3> first, second; uint32_t last; } runs[] = {
        {false, {0x12, 0x34, 0x5A}, {0x12, 0x34, 0x5B}, 0x12345C},
        {true, {0x12, 0x34, 0x5C}, {0x12, 0x34, 0x5D}, 0x12345E},
    };
    for (const auto& r : runs) {
        if (r.restart) g_nGangSerial = 0;
        gang.run(GangProgramThread, image);
        const auto block1 = gang.board.target(0)->optionBlock(kOptionAddr);
        const auto block3 = gang.board.target(2)->optionBlock(kOptionAddr);
        EXPECT_EQ((std::array<uint8_t, 3>{block1[1], block1[2], block1[3]}), r.first);
        EXPECT_EQ((std::array<uint8_t, 3>{block3[1], block3[2], block3[3]}), r.second);
        EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kSerialLabel],
                  "S/N Last : " + std::string(r.last == 0x12345C ? "12345C" : "12345E"));
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), r.last);
    }
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
}

// Each fault ends the run with the busy flag clear, and a socket counts as passed only when
// its whole image matched on the target.
TEST(GangProgram, FaultsFailOnlyTheSocketsTheyReach) {
    const std::vector<uint8_t> image = PatternImage(1000);
    const struct {
        const char* name;
        std::function<void(SimulatedGang&)> arrange;
        std::vector<std::string> messages;
        Counters counted;
        std::array<bool, 4> holdsImage;  // flash equal to the image afterwards
    } faults[] = {
        {"a differing block in socket 2", [](SimulatedGang& g) { g.board.differAtCompare(1, 3); }, {}, {4, 3, 1},
         {true, false, true, true}},
        {"a dropped data reply", [](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(0x26), 3); },
         {"ISP_TRANS8DATA!", kTimeoutText}, {4, 0, 4}, {false, false, false, false}},
        {"a late compare reply", [](SimulatedGang& g) { g.board.delayReplyAt(sim::TargetFrame(0x0B), 2, 230); }, {},
         {4, 3, 1}, {true, true, true, true}},
        {"an empty socket", [](SimulatedGang& g) { g.populate({0, 1, 3}); }, {}, {3, 3, 0}, {true, true, false, true}},
        {"a socket lost after the erase", [](SimulatedGang& g) { g.board.dropReplyAt(sim::kHandshake, 5); }, {},
         {4, 3, 1}, {false, true, true, true}},
        {"a wrong chip id", [](SimulatedGang& g) { g.board.setChipId(2, 0x11); }, {"Wrong Chip ID !"}, {4, 3, 1},
         {true, true, false, true}},
        {"no port", [](SimulatedGang&) { SetComPortDeviceOverride("/nonexistent/tty"); }, {"Can not open COM port !"},
         {0, 0, 0}, {false, false, false, false}},
        {"no board at all", [](SimulatedGang& g) { g.board.setSilent(true); },
         {"2501 Hi Timeout!", kTimeoutText, "ISP_4066A timeout!", "ISP_4066B timeout!", "ISP_4066C timeout!",
          "ISP_4066D timeout!", "2501 Lo Timeout"},
         {0, 0, 0}, {false, false, false, false}},
        {"Cancel between blocks",
         [](SimulatedGang& g) {
             g.onNote = [data = 0](const std::string& note) mutable {
                 if (note == "step 06 800" && ++data == 5) g_hStopEvent.set();
             };
         },
         {}, {4, 0, 4}, {false, false, false, false}},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        SimulatedGang gang;
        f.arrange(gang);
        gang.run(GangProgramThread, image);
        EXPECT_EQ(Messages(gang), f.messages);
        EXPECT_EQ(gang.bench.storedCounters(), f.counted);
        for (int socket = 0; socket < 4; ++socket) {
            const auto target = gang.board.target(socket);
            if (!target) continue;
            EXPECT_EQ(FlashBelow(gang.board, socket, image.size()) == image, f.holdsImage[socket]) << socket;
        }
    }
}

TEST(GangProgram, ACancelStopsBeforeTheNextBlockAndAWrongChipGetsNoOptionBlock) {
    {
        SimulatedGang gang;
        gang.onNote = [data = 0](const std::string& note) mutable {
            if (note == "step 06 800" && ++data == 5) g_hStopEvent.set();
        };
        gang.run(GangProgramThread, PatternImage(1000));
        EXPECT_EQ(gang.framesOf(0x0F, 0x26), 5);
        EXPECT_EQ(gang.framesOf(0x0F, 0x3A), 0);
        EXPECT_EQ(gang.board.state().leds, Leds({1, 3, 5, 7}));
    }
    {
        SimulatedGang gang;
        gang.store("Option Serial", 1);
        gang.store("Gang Serial En", 1);
        IniSetSerialNo(0x100, g_strIniPath);
        gang.board.setChipId(1, 0x11);
        gang.run(GangProgramThread, PatternImage(1000));
        EXPECT_EQ(gang.board.target(1)->optionBlock(kOptionAddr), (std::array<uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(gang.board.target(2)->optionBlock(kOptionAddr)[3], 0x01);  // 0x100 went to socket 1
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x103u);
        EXPECT_EQ(gang.bench.page.icons[kSiteIcon1 + 1], 151);
    }
}

namespace {

// An image of 0x408 bytes whose last eight are the option block at 0x400.
std::vector<uint8_t> ImageWithOptionBlock(std::array<uint8_t, 8> block) {
    std::vector<uint8_t> image = PatternImage(0x400);
    image.insert(image.end(), block.begin(), block.end());
    return image;
}

}  // namespace

// A protection byte or the code option makes the run ask first; an abort, a stop prompt or a
// remembered abort ends the run before any frame and counts nothing.
TEST(GangProgram, TheProtectionGuardAsksBeforeAnyFrame) {
    using P = RecordingPage::Prompt;
    constexpr int kAbort = 3, kContinue = 1;
    const struct {
        const char* name;
        std::array<uint8_t, 8> block;
        uint32_t warnProtect, protectContinue;
        int answer;
        std::vector<P> prompts;
        bool burns;
    } cases[] = {
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
        gang.run(GangProgramThread, ImageWithOptionBlock(c.block));
        EXPECT_EQ(gang.bench.page.prompts, c.prompts);
        EXPECT_EQ(gang.board.log().empty(), !c.burns);
        EXPECT_EQ(gang.bench.storedCounters(), c.burns ? (Counters{1, 1, 0}) : (Counters{}));
        EXPECT_TRUE(Messages(gang).empty());
    }
}

// An option block or data beyond the flash, or an option offset that leaves no code, is refused
// before any frame.
TEST(GangProgram, RefusesOffsetsBeyondTheFlashBeforeAnyFrame) {
    const struct { uint32_t optionAddr, startAddr; size_t imageSize; const char* message; } cases[] = {
        {0x3FF9, 0, 100, "Option address 0x3FF9 lies beyond the flash of 0x4000 bytes!"},
        {0x3FF8, 0x3F00, 1000, "Start address 0x3F00 and 0x3E8 bytes of code lie beyond the flash of 0x4000 bytes!"},
        {0, 0, 100, "Option address 0x0 leaves no code to program!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        SimulatedGang gang;
        gang.store("Option Addr", c.optionAddr);
        g_nIspStartAddr = c.startAddr;
        gang.run(GangProgramThread, PatternImage(c.imageSize));
        EXPECT_EQ(Messages(gang), std::vector<std::string>{c.message});
        EXPECT_TRUE(gang.board.log().empty());
        EXPECT_EQ(gang.bench.storedCounters(), Counters{});
    }
}

// A start address erases page by page from its page to the end of the flash and programs there.
TEST(GangProgram, AStartAddressErasesPagesAndProgramsFromThere) {
    SimulatedGang gang;
    gang.populate({1});
    g_nIspStartAddr = 0x3C80;
    gang.board.writeFlash(1, 0x3B00, std::vector<uint8_t>(0x500, 0x00));
    const std::vector<uint8_t> image = PatternImage(200);
    gang.run(GangProgramThread, image);
    EXPECT_EQ(gang.framesOf(0x0F, 0x1C), 4);  // pages 0x3C to 0x3F
    EXPECT_EQ(gang.framesOf(0x0F, 0x16), 0);
    const auto flash = gang.board.target(1)->flash;
    EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x3C80, flash.begin() + 0x3C80 + 200), image);
    EXPECT_EQ(flash[0x3BFF], 0x00);  // the page before is kept
    EXPECT_EQ(flash[0x3C00], 0xFF);
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 1, 0}));
}

// Where the system loses the port after an unanswered handshake, the run opens it again; a port
// that stays closed ends the run after a bounded number of attempts, and the socket found
// before counts as failed.
TEST(GangProgram, APortThatStaysClosedAfterAHandshakeEndsTheRun) {
    SimulatedGang gang;
    gang.populate({0});
    g_dwOsMajor = 6;
    g_dwOsMinor = 1;
    gang.onNote = [handshakes = 0](const std::string& note) mutable {
        if (note == "step 03 500" && ++handshakes == 2) SetComPortDeviceOverride("/nonexistent/tty");
    };
    gang.run(GangProgramThread, PatternImage(100));
    const auto notes = gang.notes();
    EXPECT_EQ(std::count(notes.begin(), notes.end(), "reopen"), 35);
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 0, 1}));
    EXPECT_FALSE(g_SerialPort.IsOpen());
}

// A number given out is stored even when the run then fails, so no part gets it twice; the
// step lines go to the operation list when "Log Steps" is stored.
TEST(GangProgram, AFailedRunStoresTheSerialNumbersItGaveOutAndLogsItsSteps) {
    SimulatedGang gang;
    gang.store("Gang Serial En", 1);
    gang.store("Log Steps", 1);
    IniSetSerialNo(0x500, g_strIniPath);
    gang.onNote = [compares = 0](const std::string& note) mutable {
        if (note == "step 13 800" && ++compares == 16 + 3) g_hStopEvent.set();  // socket 2's fourth block
    };
    gang.run(GangProgramThread, PatternImage(1000));
    EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x501u);
    EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000501");
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 0, 4}));
    const auto& log = gang.bench.page.log;
    for (const char* line : {"IC socket power on!", "Begin erase chip all data.............", "Begin programming.............",
                             "Begin verifying IC1 ........", "Begin verifying IC2 ........", "IC socket power off"}) {
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    }
    EXPECT_EQ(gang.bench.page.logLinesWith("Verify IC1 successful, elapsed time : ").size(), 1u);
    EXPECT_TRUE(gang.bench.page.logLinesWith("Verify IC2").empty());
}

// With encryption and "Key Write" stored, each passing socket gets the 16 key bytes, one
// frame each at the chip model's block address, after its option block.
TEST(GangProgram, TheKeyPageFollowsTheOptionBlock) {
    SimulatedGang gang;
    gang.populate({0});
    gang.store("Key Write", 1);
    std::array<uint8_t, 16> key;
    for (size_t k = 0; k < key.size(); ++k) key[k] = static_cast<uint8_t>(0xC0 + k);
    {
        CRegistryKey store;
        ASSERT_EQ(store.Open(g_szRegKey), ERROR_SUCCESS);
        ASSERT_EQ(store.WriteBinary("Key Bytes", key), ERROR_SUCCESS);
    }
    gang.run(GangProgramThread, PatternImage(64));
    for (const std::string& line : {std::string("0F 08 01 01 40 FF"), std::string("0F 18 00 01 00 FF")})
        EXPECT_NE(gang.exchangeLog().find(line), std::string::npos) << line;
    int k = 0;
    std::istringstream lines(gang.exchangeLog());
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("> 0F 22 ");
        if (at == std::string::npos || line.find(" 01 ", at + 8) != at + 10) continue;
        EXPECT_EQ(line.substr(at + 2, 17), strfmt("0F 22 %02X 01 %02X FF", k, key[k]));
        ++k;
    }
    EXPECT_EQ(k, 16);
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 1, 0}));
}

// A compare reply that comes after its step gave up arrives while the run lets it go by, before
// the next frame, so no later step of the pass can take it for its own.
TEST(GangProgram, ALateCompareReplyIsLetGoByBeforeTheNextFrame) {
    SimulatedGang gang;
    gang.board.delayReplyAt(sim::TargetFrame(0x0B), 2, 230);  // the step gives up after 200 ms
    gang.run(GangProgramThread, PatternImage(1000));
    const std::string log = gang.exchangeLog();
    const size_t late = log.find("0F 0B 00 01 00 FF | < AA 0F 0B 00 00 1A\n      timed out");
    EXPECT_NE(late, std::string::npos) << log;
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 3, 1}));
    EXPECT_EQ(gang.bench.page.icons[kSiteIcon1], 151);
}
