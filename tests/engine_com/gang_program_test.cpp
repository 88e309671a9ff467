#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/registry_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/site_steps.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "support/file_size_limit.h"
#include "support/golden_file.h"
#include "support/running_copies.h"
#include "support/simulated_gang.h"

namespace {

using engine_hid::ctl::kSiteIcon1;
using Leds = std::array<bool, 8>;
constexpr uint32_t kOptionAddr = 0x3FF8;  // chip mode 2: the last eight bytes of 16 KB
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

// The frames appear in the exchange log in this order.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& frames) {
    size_t at = 0;
    for (const std::string& frame : frames) {
        at = log.find(frame, at);
        ASSERT_NE(at, std::string::npos) << frame << "\n" << log;
    }
}

// Serial numbers on, and a folder where the INI file's lock belongs.
std::function<void(SimulatedGang&)> NumbersWithFolderAt(const char* suffix) {
    return [suffix](SimulatedGang& g) {
        g.store("Gang Serial En", 1);
        std::filesystem::create_directories(g_strIniPath + suffix);
    };
}

// A disk that fills up: room for the settings store but not for the INI file, which a long
// comment makes the larger. It lasts until the run's end.
std::optional<FileSizeLimit> g_fullDisk;
void FillTheDiskForTheIni() {
    std::ofstream(g_strIniPath, std::ios::app) << "; " << std::string(8000, '-') << "\r\n";
    g_fullDisk.emplace(4096);
}

const std::vector<RecordingServices::Tone> kPassTone = {{784, 900}};
const std::vector<RecordingServices::Tone> kFailTones = {{800, 100}, {800, 100}};

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
    EXPECT_EQ(gang.bench.services.tones(), kPassTone);
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

// Socket 2 failed alone: every other part holds its option block, socket 2 none.
void ExpectOnlySecondWithoutOptionBlock(SimulatedGang& g) {
    for (int socket = 0; socket < 4; ++socket)
        EXPECT_EQ(g.board.target(socket)->optionBlock(kOptionAddr)[0], socket == 1 ? 0xFF : 0xAA) << socket;
    EXPECT_EQ(g.bench.page.icons[kSiteIcon1 + 1], 151);
    EXPECT_EQ(g.framesOf(0x0F, 0x3A), 4 * 16);
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
        // A differing full block erases the part with the second command set, and the pass goes on.
        {"a differing block in socket 2", [](SimulatedGang& g) { g.board.differAtCompare(1, 3); }, {}, {4, 3, 1},
         {1, 0, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x16), 2);  // and the erase of every part before programming
             EXPECT_EQ(g.framesOf(0x0F, 0x12), 0);
             EXPECT_EQ(g.bench.services.tones(), kFailTones);
         }},
        // A differing last partial block erases with the first command set and ends the pass:
        // sockets 3 and 4 are not compared and fail.
        {"a differing tail in socket 2", [](SimulatedGang& g) { g.board.differAtCompare(1, 16); }, {}, {4, 1, 3},
         {1, 0, 1, 1},
         [](SimulatedGang& g) {
             ExpectInOrder(g.exchangeLog(), {"> 0F 12 00 01 00 FF", "\n   30 0D  500 > 0F 00 00 01 00 FF",
                                             "> 0F 0C 02 01 01 FF"});
             EXPECT_EQ(g.framesOf(0x0F, 0x3A), 2 * 16);
             EXPECT_EQ(g.framesOf(0x0F, 0x16), 1);
         }},
        // One reply lost in socket 2's last, partial block (its 16th compare) fails socket 2
        // alone: sockets 3 and 4 are verified and get their option blocks.
        {"a lost compare reply in socket 2's tail", [](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(0x3A), 32); },
         {}, {4, 3, 1}, {1, 1, 1, 1}, ExpectOnlySecondWithoutOptionBlock},
        {"a lost compare result in socket 2's tail", [](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(0x0B), 32); },
         {}, {4, 3, 1}, {1, 1, 1, 1}, ExpectOnlySecondWithoutOptionBlock},
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
        // Socket 1's compare result comes long after its wait and its let-go, while socket 2's
        // first block differs and its own result is slow: the late "matched" answers nothing,
        // and socket 2 fails as its own result said.
        {"a compare result more than twice its wait late",
         [](SimulatedGang& g) {
             g.board.delayReplyAt(sim::TargetFrame(0x0B), 1, 2100);
             g.board.stickByte(1, 0x10);
             g.board.delayReplyAt(sim::TargetFrame(0x0B), 2, 300);
         },
         {}, {4, 2, 2}, {1, 0, 1, 1}},
        // A line that never goes quiet after a lost compare result ends the run by time-out
        // rather than letting replies go for ever.
        {"a line that chatters after a lost compare result",
         [](SimulatedGang& g) {
             g.board.dropReplyAt(sim::TargetFrame(0x0B), 1);
             g.onNote = At("timeout", 1, [&g] { g.board.chatterOnBoardTime(std::chrono::milliseconds(100)); });
         },
         {kTimeoutText}, {4, 0, 4}, {1, 1, 1, 1},
         [](SimulatedGang& g) { EXPECT_EQ(g.framesOf(0x0F, 0x0B), 1); }},
        // ... and with socket 1's result on time, socket 2's slow one still judges it.
        {"a slow compare result of a differing block",
         [](SimulatedGang& g) {
             g.board.stickByte(1, 0x10);
             g.board.delayReplyAt(sim::TargetFrame(0x0B), 17, 300);
         },
         {}, {4, 3, 1}, {1, 0, 1, 1}},
        // Socket 1 answers the scan's handshake after its wait, while the run asks socket 2,
        // which is empty: the late reply answers nothing, socket 2 stays empty, and the run
        // goes on to sockets 3 and 4. So in the chip-ID pass after the erase, where socket 2
        // has lost its target.
        {"a late handshake reply before an empty socket",
         [](SimulatedGang& g) {
             g.populate({0, 2, 3});
             g.board.delayReplyAt(sim::kHandshake, 1, 600);
         },
         {}, {2, 2, 0}, {0, 0, 1, 1}},
        {"a late chip-ID pass handshake before a lost target",
         [](SimulatedGang& g) {
             g.board.delayReplyAt(sim::kHandshake, 5, 600);
             g.board.removeTargetAt(sim::kHandshake, 6, 1);
         },
         {}, {4, 2, 2}, {0, 0, 1, 1}},
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
        // The empty socket costs the scan one more wait than its handshake's: the next socket's
        // first frame follows the unanswered handshake after two waits.
        {"an empty socket", [](SimulatedGang& g) { g.populate({0, 1, 3}); }, {}, {3, 3, 0}, {1, 1, 0, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.bench.services.tones(), kPassTone);
             const std::vector<sim::LogEntry> log = g.board.log();
             int unanswered = 0;
             for (size_t i = 0; i + 1 < log.size(); ++i) {
                 const bool handshake = log[i].bytes[0] == 0x55 || (log[i].bytes.size() > 1 && log[i].bytes[1] == 'R');
                 if (!log[i].fromHost || !handshake || !log[i + 1].fromHost) continue;
                 ++unanswered;
                 EXPECT_NEAR(log[i + 1].ms - log[i].ms, 2 * 500, 1);
             }
             EXPECT_EQ(unanswered, 1);
         }},
        // A target that answered counts, also when its stop step times out: its fail LED lights.
        {"a stop step that times out in socket 2", [](SimulatedGang& g) { g.board.dropReplyAt(sim::TargetFrame(0x40), 2); },
         {"ISP_STOPMCU!", kTimeoutText}, {2, 0, 2}, {},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.board.state().leds, (Leds{1, 0, 1, 0, 0, 0, 0, 0}));
             EXPECT_EQ(g.bench.services.tones(), kFailTones);
         }},
        // Socket 2's switch does not answer when its verify connects it (the 12th switch A
        // step): it is left unverified, fails, and no pass tone sounds.
        {"a verify that cannot connect socket 2", [](SimulatedGang& g) { g.board.dropReplyAt(sim::BoardFrame(0x0A), 12); },
         {}, {4, 3, 1}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1 + 1], 151);
             EXPECT_EQ(g.bench.services.tones(), kFailTones);
         }},
        {"a COM Extra Delay above its bound",
         [](SimulatedGang& g) {
             g.populate({0});
             g.store("COM Extra Delay", 5000);
         },
         {}, {1, 1, 0}, {1},
         [](SimulatedGang& g) {
             const auto notes = g.notes();
             EXPECT_EQ(std::count(notes.begin(), notes.end(), "pause 1000"), 4 + 1);  // scan, chip id
         }},
        // Cancel ends the pause it comes in at once (the stored delay counts as 1000 ms), and
        // every pause after it.
        {"Cancel in the pause after socket 1",
         [](SimulatedGang& g) {
             g.populate({0});
             g.store("COM Extra Delay", 0xFFFFFFFF);
             g.onNote = StopAt("pause 1000", 1);
         },
         {}, {1, 0, 1}, {0},
         [](SimulatedGang& g) {
             const auto log = g.board.log();
             // With no pause left, the longest quiet after a reply is a step's wait of 500 ms; after
             // an unanswered frame, that wait and the 500 ms a late reply is let go.
             for (size_t i = 1; i < log.size(); ++i) {
                 const bool unanswered = log[i - 1].fromHost && log[i].fromHost;
                 EXPECT_LT(log[i].ms - log[i - 1].ms, unanswered ? 1100.0 : 600.0) << i;
             }
             EXPECT_FALSE(g.board.state().power);
         }},
        // Cancel after the last socket's last block check ends the key page's pause after its page
        // erase: the run ends there, its part not passed, let go and its power off.
        {"Cancel in the last socket's key page pause",
         [](SimulatedGang& g) {
             g.populate({0});
             g.store("Key Write", 1);
             g.onNote = StopAt("step 0C 800", 1);
         },
         {}, {1, 0, 1}, {1},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x22), 1);  // the option block only, no key byte
             EXPECT_FALSE(g.board.target(0)->inIsp);
             EXPECT_FALSE(g.board.state().power);
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1], 151);
         }},
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
        // Socket 2's option block does not land whole (a serial-number byte keeps its erased
        // value; the target reports the write failed): its code matched, but it fails with a
        // message, and its number is not given again.
        {"an option block that does not land in socket 2",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x600, g_strIniPath);
             g.board.stickByte(1, kOptionAddr + 3);
         },
         {"IC2 program memory error at 0x3FF8!!!"}, {4, 3, 1}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1 + 1], 151);
             EXPECT_EQ(g.board.target(2)->optionBlock(kOptionAddr)[3], 0x02);
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x604u);
         }},
        // A board may answer a write without the target's status byte: that reports nothing,
        // and every good part passes with its option block.
        {"a board that answers writes without a status byte", [](SimulatedGang& g) { g.board.answerWritesMinimally(true); },
         {}, {4, 4, 0}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             for (int socket = 0; socket < 4; ++socket)
                 EXPECT_EQ(g.board.target(socket)->optionBlock(kOptionAddr), (std::array<uint8_t, 8>{0xAA, 0, 0, 0, 0xFF, 0x0E, 0, 0}));
         }},
        // Each number is taken from the INI file as the part gets it: another copy of the
        // program that takes one meanwhile (after socket 1's block) does not get it twice.
        {"another copy takes a number meanwhile",
         [](SimulatedGang& g) {
             g.populate({0, 2});
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x200, g_strIniPath);
             g.onNote = At("step 06 800", 16 + 1, [] { IniTakeSerialNo(g_strIniPath, 1); });
         },
         {}, {2, 2, 0}, {1, 0, 1, 0},
         [](SimulatedGang& g) {
             EXPECT_TRUE(Holds(g, 0, {0x00, 0x02, 0x00}, kOptionAddr + 1));
             EXPECT_TRUE(Holds(g, 2, {0x00, 0x02, 0x02}, kOptionAddr + 1));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x203u);
             EXPECT_EQ(g.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000203");
         }},
        // An INI file that cannot hold the next number ends the run before any part gets one.
        {"an INI file that cannot be written",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             FillTheDiskForTheIni();
         },
         {"Can not write Serial No to <ini> !"}, {}, {}, noFrame},
        // Another copy set "Serial No" below the numbers this copy gave: the run gives none, and
        // says why and how to go on, before its first frame.
        {"another copy set Serial No below this copy's numbers",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x600, g_strIniPath);
             IniTakeSerialNo(g_strIniPath, 1);
             InAnotherCopy([] { IniSetSerialNo(0x100, g_strIniPath); });
         },
         {"Another copy of the program set Serial No in <ini> below the numbers this copy gave: start this copy "
          "again to go on !"},
         {}, {},
         [](SimulatedGang& g) {
             EXPECT_TRUE(g.board.log().empty());
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x100u);
         }},
        // The version of the INI file this copy saw was moved aside, where another copy may take
        // from it: the same, with why.
        {"the INI file this copy saw moved aside",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x600, g_strIniPath);
             IniTakeSerialNo(g_strIniPath, 1);
             std::filesystem::rename(g_strIniPath, g_strIniPath + ".aside");
             std::filesystem::copy_file(g_strIniPath + ".aside", g_strIniPath);
         },
         {"Another copy of the program may have given numbers from Serial No in <ini> since this copy last read it: "
          "start this copy again to go on !"},
         {}, {},
         [](SimulatedGang& g) {
             EXPECT_TRUE(g.board.log().empty());
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x601u);
         }},
        // A lock file that cannot be opened at all (here its name is one too long) is named.
        {"an INI file whose lock file cannot be opened",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             g_strIniPath = g.bench.folder.filePath(QString(251, 'i') + ".ini").toStdString();
         },
         {"Can not write Serial No to <ini> : <ini>.lock can not be opened !"}, {}, {}, noFrame},
        {"an INI file that cannot be locked", NumbersWithFolderAt(".lock"), {"Can not write Serial No to <ini> !"},
         {}, {}, noFrame},
        {"a damaged INI file",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             std::ofstream(g_strIniPath) << std::string(5 << 20, ';');  // too large to be ours
         },
         {"Can not write Serial No to <ini> !"}, {}, {},
         [](SimulatedGang& g) {
             EXPECT_TRUE(g.board.log().empty());
             EXPECT_EQ(std::filesystem::file_size(g_strIniPath), 5u << 20);
         }},
        {"an INI file that becomes unwritable after socket 1's number",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x300, g_strIniPath);
             g.onNote = At("step 06 800", 16 + 1, FillTheDiskForTheIni);
         },
         {"Can not write Serial No to <ini> !"}, {4, 0, 4}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_TRUE(Holds(g, 0, {0x00, 0x03, 0x00}, kOptionAddr + 1));
             EXPECT_TRUE(Holds(g, 1, std::vector<uint8_t>(8, 0xFF), kOptionAddr));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x301u);
         }},
        // Numbers are 24 bits: past FFFFFF none is given, in this run or any later one.
        {"serial numbers used up after socket 1's",
         [](SimulatedGang& g) {
             g.populate({0, 2});
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0xFFFFFF, g_strIniPath);
         },
         {"Serial numbers are used up at FFFFFF!"}, {2, 0, 2}, {1, 0, 1, 0},
         [](SimulatedGang& g) {
             EXPECT_TRUE(Holds(g, 0, {0xFF, 0xFF, 0xFF}, kOptionAddr + 1));
             EXPECT_TRUE(Holds(g, 2, std::vector<uint8_t>(8, 0xFF), kOptionAddr));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x1000000u);
         }},
        {"serial numbers used up before the run",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x1000000, g_strIniPath);
         },
         {"Serial numbers are used up at FFFFFF!"}, {}, {},
         [](SimulatedGang& g) {
             EXPECT_TRUE(g.board.log().empty());
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x1000000u);
         }},
        {"an image file that vanished",
         [](SimulatedGang& g) {
             std::filesystem::create_symlink(g.bench.folder.filePath("gone").toStdString() + "/image.bin",
                                             g.bench.folder.filePath("image.bin").toStdString());
         },
         {"File : <image> could not be opened!!!"}, {}, {}, noFrame},
        {"an image path that names a folder",
         [](SimulatedGang& g) {
             const std::string image = g.bench.folder.filePath("image.bin").toStdString();
             std::filesystem::remove(image);
             std::filesystem::create_directory(image);
         },
         {"File : <image> could not be opened!!!"}, {}, {}, noFrame},
        {"no port", [](SimulatedGang&) { SetComPortDeviceOverride("/nonexistent/tty"); }, {"Can not open COM port !"},
         {}, {}},
        {"no board at all", [](SimulatedGang& g) { g.board.setSilent(true); },
         {"2501 Hi Timeout!", kTimeoutText, "ISP_4066A timeout!", "ISP_4066B timeout!", "ISP_4066C timeout!",
          "ISP_4066D timeout!", "2501 Lo Timeout"},
         {}, {}},
        // Cancel ends the pause a page's erase needs, and the erase with it: no page is erased
        // after it, and the erase is not told done.
        {"Cancel in a page's erase",
         [](SimulatedGang& g) {
             g.populate({0});
             g_nIspStartAddr = 0x1000;
             g.store("Log Steps", 1);
             g.onNote = StopAt("pause 40", 1);
         },
         {}, {1, 0, 1}, {},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x1C), 1);
             EXPECT_TRUE(g.bench.page.logLinesWith("erase chip elapsed time").empty());
             EXPECT_FALSE(g.board.target(0)->inIsp);
         }},
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
        // Socket 2 took 000501 for its option block, whose high-byte frame goes unanswered: the
        // label shows the number the next part gets, not the one no part got.
        {"an unanswered high byte of socket 2's option block",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             IniSetSerialNo(0x500, g_strIniPath);
             g.onNote = DropHiByteOnceSerialNoIs(g, 0x502);
         },
         {kTimeoutText}, {4, 0, 4}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_TRUE(Holds(g, 0, {0x00, 0x05, 0x00}, kOptionAddr + 1));
             EXPECT_TRUE(Holds(g, 1, std::vector<uint8_t>(8, 0xFF), kOptionAddr));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x502u);
             EXPECT_EQ(g.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000502");
         }},
        // Numbering on with the option block's serial bytes off: no part gets a number, and the
        // label is left as it was, showing no number that the INI file does not hold.
        {"serial numbers on with the option block's serial bytes off",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             g.store("Option Serial", 0);
             IniSetSerialNo(0x500, g_strIniPath);
         },
         {}, {4, 4, 0}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x500u);
             EXPECT_EQ(g.bench.page.texts.count(engine_hid::ctl::kSerialLabel), 0u);
         }},
        // This copy's last run left 000480; another copy has given numbers up to 0x4FF since. A
        // run that fails before any part takes a number shows the one the next part gets.
        {"another copy gave numbers, and the run fails before any take",
         [](SimulatedGang& g) {
             g.store("Gang Serial En", 1);
             g_nGangSerialNext = 0x480;
             g.bench.page.texts[engine_hid::ctl::kSerialLabel] = "S/N Last : 000480";
             IniSetSerialNo(0x500, g_strIniPath);
             g.board.dropReplyAt(sim::BoardFrame(0x01), 1);
         },
         {"ISP_LED1 timeout!", kTimeoutText}, {4, 0, 4}, {},
         [](SimulatedGang& g) {
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x500u);
             EXPECT_EQ(g.bench.page.texts[engine_hid::ctl::kSerialLabel], "S/N Last : 000500");
         }},
        {"an option block beyond the flash", [](SimulatedGang& g) { g.store("Option Addr", 0x3FF9); },
         {"Option address 0x3FF9 lies beyond the flash of 0x4000 bytes!"}, {}, {}, noFrame},
        {"code beyond the flash", [](SimulatedGang&) { g_nIspStartAddr = 0x3F00; },
         {"Start address 0x3F00 and 0x3E8 bytes of code lie beyond the flash of 0x4000 bytes!"}, {}, {}, noFrame},
        {"code over the option block", [](SimulatedGang&) { g_nIspStartAddr = 0x3C18; },
         {"Start address 0x3C18 and 0x3E8 bytes of code reach the option block at 0x3FF8!"}, {}, {}, noFrame},
        {"no room for code", [](SimulatedGang& g) { g.store("Option Addr", 0); },
         {"Option address 0x0 leaves no code to program!"}, {}, {}, noFrame},
        // Where the system loses the port after an unanswered handshake, the run opens it again
        // a bounded number of times; the socket found before counts as failed.
        {"a port that stays closed after a handshake",
         [](SimulatedGang& g) {
             g.populate({0});
             g_dwOsMajor = 6;
             g_dwOsMinor = 1;
             g.onNote = At("step 03 500", 2, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
         },
         {"Can not open COM port !"}, {1, 0, 1}, {},
         [](SimulatedGang& g) {
             const auto notes = g.notes();
             EXPECT_EQ(std::count(notes.begin(), notes.end(), "reopen"), 35);
             EXPECT_FALSE(g_SerialPort.IsOpen());
             EXPECT_EQ(g.bench.page.icons[kSiteIcon1], 151);
         }},
        // The parts are stored as counted, before the result LEDs: a board that stops answering
        // there keeps its time-out box open, and a program ended meanwhile loses no part.
        {"a board that falls silent at the result LEDs",
         [](SimulatedGang& g) {
             g.onNote = At("step 19 500", 1, [&g] {
                 EXPECT_EQ(g.bench.storedCounters(), (Counters{4, 4, 0}));
                 g.board.setSilent(true);
             });
         },
         {"ISP_LED1 timeout!", "ISP_LED3 timeout!", "ISP_LED5 timeout!", "ISP_LED7 timeout!", "ISP_4066A timeout!",
          "ISP_4066B timeout!", "ISP_4066C timeout!", "ISP_4066D timeout!", "2501 Lo Timeout"},
         {4, 4, 0}, {1, 1, 1, 1}},
        // A port that closes in the verify, or a board that stops answering there, ends the run
        // by time-out: one unanswered step fails one part, a second in a row is a lost board.
        {"a port that closes in socket 1's verify",
         [](SimulatedGang& g) { g.onNote = At("step 13 800", 1, [] { g_SerialPort.ClosePort(); }); }, {kTimeoutText},
         {4, 0, 4}, {1, 1, 1, 1}},
        {"a board that falls silent in socket 1's verify",
         [](SimulatedGang& g) { g.onNote = At("step 13 800", 1, [&g] { g.board.setSilent(true); }); },
         {kTimeoutText, "ISP_LED1 timeout!", "ISP_LED3 timeout!", "ISP_LED5 timeout!", "ISP_LED7 timeout!",
          "ISP_4066A timeout!", "ISP_4066B timeout!", "ISP_4066C timeout!", "ISP_4066D timeout!", "2501 Lo Timeout"},
         {4, 0, 4}, {1, 1, 1, 1}},
        // The erased parts fail on the page, and the operator is told why; the closed port is
        // sent no result LEDs.
        {"a port that stays closed after the erase",
         [](SimulatedGang& g) {
             g.onNote = [](const std::string& note) {
                 if (note == "reopen") SetComPortDeviceOverride("/nonexistent/tty");
             };
         },
         {"Can not open COM port !"}, {4, 0, 4}, {},
         [](SimulatedGang& g) {
             EXPECT_EQ(g.framesOf(0x0F, 0x26), 0);
             for (int socket = 0; socket < 4; ++socket) EXPECT_EQ(g.bench.page.icons[kSiteIcon1 + socket], 151);
         }},
        // So a port lost where the line's speed changes before the erase: nothing is erased.
        {"a port lost at the line speed's change",
         [](SimulatedGang& g) {
             g.store("BaudRate", 57600);
             g.onNote = At("speed", 1, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
         },
         {"Can not open COM port !"}, {4, 0, 4}, {}, [](SimulatedGang& g) { EXPECT_EQ(g.framesOf(0x0F, 0x16), 0); }},
        // ... and where the system loses it after socket 1's release: the run opens it again a
        // bounded number of times, not again at its end, and no part passes.
        {"a port that stays closed after socket 1's release",
         [](SimulatedGang& g) {
             g_dwOsMajor = 6;
             g_dwOsMinor = 1;
             g.onNote = At("reopen", 2, [] { SetComPortDeviceOverride("/nonexistent/tty"); });
         },
         {"Can not open COM port !"}, {4, 0, 4}, {1, 1, 1, 1},
         [](SimulatedGang& g) {
             const auto notes = g.notes();
             EXPECT_EQ(std::count(notes.begin(), notes.end(), "reopen"), 1 + 35);
             EXPECT_EQ(g.board.target(1)->optionBlock(kOptionAddr)[0], 0xFF);
         }},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        SimulatedGang gang;
        f.arrange(gang);
        gang.run(GangProgramThread, image);
        g_fullDisk.reset();
        // Messages name the run's own files by their place.
        std::vector<std::string> messages = gang.messages();
        for (std::string& m : messages) {
            for (const auto& [path, name] : {std::pair{g_strIniPath, "<ini>"}, {gang.bench.page.image, "<image>"}})
                for (auto at = m.find(path); at != std::string::npos; at = m.find(path, at + 1))
                    m.replace(at, path.size(), name);
        }
        EXPECT_EQ(messages, f.messages);
        EXPECT_EQ(gang.bench.storedCounters(), f.counted);
        for (int socket = 0; socket < 4; ++socket)
            EXPECT_TRUE(!gang.board.target(socket) || Holds(gang, socket, image) == f.holdsImage[socket]) << socket;
        f.check(gang);
    }
}

// Both runs the page starts refuse before any frame what they cannot work with, with the error
// icon (SimulatedGang::run checks every message's icon), and free what they took.
TEST(GangRuns, RefuseBeforeAnyFrameWhatTheyCannotWorkWith) {
    const struct {
        const char* name;
        size_t imageSize;
        std::function<void(SimulatedGang&)> arrange;
        const char* message;
    } refusals[] = {
        {"no memory for the block buffer", 1000, [](SimulatedGang&) { g_pBlockBuf.refuseAllocationsForTests(true); },
         "Error allocating data buffer memory for 64  bytes\n"},
        {"an image larger than the flash", 0x4001, [](SimulatedGang&) {}, "Code size exceed the max. size of flash!!!"},
        // Bytes after the option block would reach no part, and no compare would miss them.
        {"image bytes past the option block", 1000, [](SimulatedGang& g) { g.store("Option Addr", 0x200); },
         "The image holds bytes from 0x208 on, past the option block at 0x200!"},
    };
    for (const auto& r : refusals) {
        for (auto worker : {GangProgramThread, GangVerifyThread}) {
            SCOPED_TRACE(testing::Message() << r.name << (worker == GangVerifyThread ? ", verify" : ", program"));
            SimulatedGang gang;
            r.arrange(gang);
            gang.run(worker, PatternImage(r.imageSize));
            EXPECT_EQ(gang.messages(), std::vector<std::string>{r.message});
            EXPECT_TRUE(gang.board.log().empty());
            EXPECT_EQ(gang.bench.counters(), Counters{});
            EXPECT_EQ(g_pBlockBuf.size(), 0u);
        }
    }
}

// A protection byte or the code option makes the run ask before any frame; an abort, a stop
// prompt or a remembered abort ends the run with the board switched off and nothing counted.
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
        gang.bench.page.onWarn = [&](int, uint32_t) {
            EXPECT_TRUE(gang.board.log().empty());
            return c.answer;
        };
        std::vector<uint8_t> image = PatternImage(0x400);
        image.insert(image.end(), c.block.begin(), c.block.end());
        gang.run(GangProgramThread, image);
        EXPECT_EQ(gang.bench.page.prompts, c.prompts);
        EXPECT_EQ(gang.onlySwitchedOff(), !c.burns);
        EXPECT_EQ(gang.bench.storedCounters(), c.burns ? (Counters{1, 1, 0}) : (Counters{}));
        EXPECT_TRUE(gang.messages().empty());
        EXPECT_EQ(gang.bench.services.tones().size(), c.burns ? 1u : 2u);  // nothing passed: no pass tone
    }
}

// With encryption and "Key Write" stored, each passing socket gets the 16 key bytes, one
// frame each at the chip model's block address, after its option block.
TEST(GangProgram, TheKeyPageFollowsTheOptionBlock) {
    SimulatedGang gang;
    gang.populate({0});
    gang.store("Key Write", 1);
    const std::array<uint8_t, 16> key = gang.storeKeyBytes();
    gang.run(GangProgramThread, PatternImage(64));
    // After the option block: the key page's address frames, then one frame per key byte.
    std::vector<std::string> frames = {"> 0F 22 F8 08 ", "> 0F 08 01 01 40 FF", "> 0F 18 00 01 00 FF"};
    for (size_t k = 0; k < key.size(); ++k) frames.push_back(strfmt("> 0F 22 %02zX 01 %02X FF", k, key[k]));
    ExpectInOrder(gang.exchangeLog(), frames);
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 1, 0}));
    // With none stored, the key that a HEX file carried, and the fixed bytes, are the run's.
    gang.unstore("Key Bytes");
    g_LoadedKeyBytes.fill(0x5A);
    g_LoadedSerialFixed = {0x12, 0x34, 0x56};
    gang.run(GangProgramThread, PatternImage(64));
    ExpectInOrder(gang.exchangeLog(), {"> 0F 22 F8 08 AA 12 34 56 ", "> 0F 22 00 01 5A FF", "> 0F 22 0F 01 5A FF"});
}

// Every chip mode served by the gang board: its option block at the flash size - 8 with the
// mode's tail where the image leaves it blank, and the chip-ID rule (modes 2 and 3 refuse
// another chip's id, the others take any).
TEST(GangProgram, EachChipModeHasItsOptionOffsetTailAndChipIdRule) {
    const struct { uint8_t mode; uint32_t optionAddr; std::array<uint8_t, 3> tail; bool checksId; } modes[] = {
        {2, 0x3FF8, {0x0E, 0, 0}, true},       {3, 0x0FF8, {0x06, 0x04, 0x02}, true},
        {4, 0x1FF8, {0x06, 0x04, 0x02}, false}, {5, 0x3FF8, {0x06, 0x04, 0x03}, false},
        {6, 0x1FF8, {0x06, 0x04, 0x03}, false}, {7, 0xBFF8, {0x06, 0x04, 0x02}, false},
        {8, 0x7FF8, {0x04, 0, 0}, false},       {9, 0x1FF8, {0x06, 0x04, 0x02}, false},
        {10, 0x0FF8, {0x04, 0, 0}, false},      {11, 0x3FF8, {0, 0, 0}, false},
        {12, 0x1FF8, {0, 0, 0}, false},         {13, 0xBFF8, {0, 0, 0}, false},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(int{m.mode});
        SimulatedGang gang;
        g_nChipMode = m.mode;
        gang.populate({0, 1, 2, 3});
        gang.board.setChipId(1, 0x11);
        gang.run(GangProgramThread, PatternImage(100));
        EXPECT_EQ(gang.board.target(0)->optionBlock(static_cast<uint16_t>(m.optionAddr)),
                  (std::array<uint8_t, 8>{0xAA, 0, 0, 0, 0xFF, m.tail[0], m.tail[1], m.tail[2]}));
        EXPECT_EQ(gang.messages(), m.checksId ? std::vector<std::string>{"Wrong Chip ID !"} : std::vector<std::string>{});
        EXPECT_EQ(gang.bench.storedCounters(), m.checksId ? (Counters{4, 3, 1}) : (Counters{4, 4, 0}));
    }
}

// A 48 KB image on four targets of the 48 KB model of mode 13: every byte up to the option
// block is programmed and compared, and the block, built from the image's own bytes, lands
// at 0xBFF8.
TEST(GangProgram, AFullImageOfTheLargestModelReachesItsOptionBlock) {
    SimulatedGang gang;
    g_nChipMode = 13;
    gang.populate({0, 1, 2, 3});
    const std::vector<uint8_t> image = PatternImage(0xC000);
    gang.run(GangProgramThread, image);
    const std::vector<uint8_t> code(image.begin(), image.begin() + 0xBFF8);
    for (int socket = 0; socket < 4; ++socket) {
        EXPECT_TRUE(Holds(gang, socket, code)) << socket;
        // Image bytes C7 .. CE: byte 0 ANDed with 0xAA, the fixed bytes 00 00 00, the rest as they are.
        EXPECT_EQ(gang.board.target(socket)->optionBlock(0xBFF8),
                  (std::array<uint8_t, 8>{0x82, 0, 0, 0, 0xCB, 0xCC, 0xCD, 0xCE}));
    }
    EXPECT_EQ(gang.framesOf(0x0F, 0x26), 0xBFF8 / 64 + 1);
    EXPECT_EQ(gang.framesOf(0x0F, 0x3A), 4 * (0xBFF8 / 64 + 1));
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
}

// The option block follows its switches, each off and on: encryption, code option, option
// serial, serial numbers and their auto-increase. Every socket passes; the image leaves the
// block blank, but in the rows that give its byte 0.
TEST(GangProgram, TheOptionBlockFollowsItsSwitches) {
    // Bytes 0 to 3 of socket 1's block and how far socket 2's number is on; bytes 4 to 7 are
    // the image's blank 0xFF and the mode's tail, unless no block is written (all 0xFF).
    const struct { const char* name; uint32_t encry, codeOption, optionSerial, serialEn, autoInc, fixed;
                   std::array<uint8_t, 4> head; uint8_t step; uint32_t iniAfter;
                   int imageByte = -1; } cases[] = {  // the image's byte at P = 0x100, which it then reaches
        {"as built", 1, 0, 1, 0, 1, 0, {0xAA, 0, 0, 0}, 0, 0x123456},
        {"fixed bytes", 1, 0, 1, 0, 1, 0xABCDEF, {0xAA, 0xAB, 0xCD, 0xEF}, 0, 0x123456},
        {"no encryption", 0, 0, 1, 0, 1, 0, {0xAF, 0, 0, 0}, 0, 0x123456},
        {"code option alone", 0, 1, 0, 0, 1, 0, {0xAF, 0xFF, 0xFF, 0xFF}, 0, 0x123456},
        {"encryption alone", 1, 0, 0, 1, 1, 0, {0xFA, 0xFF, 0xFF, 0xFF}, 0, 0x123456},
        {"no block at all", 0, 0, 0, 1, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 0x123456},
        {"serial numbers", 1, 0, 1, 1, 1, 0, {0xAA, 0x12, 0x34, 0x56}, 1, 0x12345A},
        {"serial numbers, no auto-increase", 1, 0, 1, 1, 0, 0, {0xAA, 0x12, 0x34, 0x56}, 0, 0x123456},
        // An image that reaches the block gives byte 0 its high four bits; without encryption its
        // low four are set, and the code option or option serial clears bits 4 and 6.
        {"no encryption, the image's byte 0", 0, 0, 0, 0, 1, 0, {0x5F, 0xFF, 0xFF, 0xFF}, 0, 0x123456, 0x50},
        {"no encryption, option serial, the image's byte 0", 0, 0, 1, 0, 1, 0, {0x0F, 0, 0, 0}, 0, 0x123456, 0x50},
        {"encryption, the image's byte 0", 1, 0, 0, 0, 1, 0, {0x50, 0xFF, 0xFF, 0xFF}, 0, 0x123456, 0x55},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedGang gang;
        for (const auto& [name, value] : {std::pair{"ENCRY", c.encry}, {"Code Option", c.codeOption},
                                          {"Option Serial", c.optionSerial}, {"Gang Serial En", c.serialEn},
                                          {"Gang Serial Fixed", c.fixed}})
            gang.store(name, value);
        g_bSerialAutoInc = c.autoInc;
        IniSetSerialNo(0x123456, g_strIniPath);
        const uint16_t p = c.imageByte < 0 ? kOptionAddr : 0x100;
        std::vector<uint8_t> image = PatternImage(c.imageByte < 0 ? 100 : p);
        if (c.imageByte >= 0) {
            gang.store("Option Addr", p);
            image.push_back(uint8_t(c.imageByte)), image.resize(p + 8, 0xFF);
        }
        gang.run(GangProgramThread, image);
        for (uint8_t socket : {0, 1}) {
            std::array<uint8_t, 8> block = {c.head[0], c.head[1], c.head[2], uint8_t(c.head[3] + socket * c.step),
                                            0xFF, 0x0E, 0, 0};
            if (c.head[0] == 0xFF) block.fill(0xFF);
            EXPECT_EQ(gang.board.target(socket)->optionBlock(p), block) << int{socket};
        }
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), c.iniAfter);
        EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
    }
}

// A setting removed from the store while the program stays open gives its default to the next
// run, never the value the last run took: that run sends what a run with nothing stored sends.
// An on/off switch stored as another number (2, FFFFFFFF) reads as its rule says: "ENCRY" and
// "Code Option" as off (on only for exactly 1), the others as their default.
TEST(GangProgram, ASettingRemovedBetweenRunsGivesItsDefault) {
    constexpr int kNotASwitch = -1;
    const struct { const char* name; uint32_t value; std::vector<std::pair<const char*, uint32_t>> kept;
                   int outOfRangeReads = kNotASwitch; } settings[] = {
        {"ENCRY", 0, {}, 0}, {"Code Option", 1, {{"Option Serial", 0}}, 0}, {"Option Serial", 0, {}, 1},
        {"Gang Serial En", 1, {}, 0}, {"Gang Serial Fixed", 0xABCDEF, {}}, {"Key Write", 1, {}, 0},
        {"Key Bytes", 0, {{"Key Write", 1}}}, {"Log Steps", 1, {}, 0}, {"COM Extra Delay", 7, {}},
        {"Option Addr", 0x100, {}}};
    SimulatedGang gang;
    gang.populate({0});
    // What a run sends and logs, and the INI file's next number after it.
    const auto run = [&gang] {
        IniSetSerialNo(0x123456, g_strIniPath);
        gang.bench.page.log.clear();
        gang.run(GangProgramThread, PatternImage(100));
        return std::tuple(gang.exchangeLog(), gang.bench.page.log, IniGetSerialNo(g_strIniPath));
    };
    for (const auto& s : settings) {
        SCOPED_TRACE(s.name);
        for (const auto& [name, value] : s.kept) gang.store(name, value);
        const auto unset = run();
        if (s.name == std::string("Key Bytes")) {
            gang.storeKeyBytes();
        } else {
            gang.store(s.name, s.value);
        }
        EXPECT_NE(run(), unset) << "the stored value changes nothing";
        if (s.outOfRangeReads != kNotASwitch) {
            gang.store(s.name, s.outOfRangeReads);
            const auto reading = run();
            for (const uint32_t stored : {2u, 0xFFFFFFFFu}) {
                gang.store(s.name, stored);
                EXPECT_EQ(run(), reading) << stored << " does not read as " << s.outOfRangeReads;
            }
        }
        gang.unstore(s.name);
        EXPECT_EQ(run(), unset);
        for (const auto& [name, value] : s.kept) gang.unstore(name);
    }
}

// A "Serial No" edited by hand past FFFFFF is used up, whatever its length: every run stops
// before its first frame, each time, and the file keeps the text as it was.
TEST(GangProgram, HandEditedSerialNumbersPastFFFFFFStopEveryRun) {
    for (const char* held : {"2000000", "1000001", "FFFFFFFF", "100000000"}) {
        SCOPED_TRACE(held);
        SimulatedGang gang;
        gang.store("Gang Serial En", 1);
        const std::string text = std::string("[Code Option]\r\nSerial No=") + held + "\r\n";
        std::ofstream(g_strIniPath, std::ios::binary) << text;
        std::vector<std::string> messages;
        for (int run = 0; run < 2; ++run) {
            gang.run(GangProgramThread, PatternImage(100));
            messages.push_back("Serial numbers are used up at FFFFFF!");
            EXPECT_EQ(gang.messages(), messages);
            EXPECT_TRUE(gang.board.log().empty());
            std::ifstream in(g_strIniPath, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
        }
        EXPECT_EQ(gang.bench.storedCounters(), (Counters{0, 0, 0}));
    }
}

// A start address erases page by page from its page to the end of the flash, with the pause
// of each page, and programs from the start address on.
TEST(GangProgram, GoldenExchangesOfARunWithAStartAddress) {
    SimulatedGang gang;
    gang.populate({0});
    g_nIspStartAddr = 0x3E40;
    const std::vector<uint8_t> image = PatternImage(100);
    gang.run(GangProgramThread, image);
    ExpectGolden("engine_com", "program-start-address.log", gang.exchangeLog());
    EXPECT_TRUE(Holds(gang, 0, image, 0x3E40));
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{1, 1, 0}));
}
