#include "sfpage/sf_com_workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <termios.h>

#include "core/globals.h"
#include "core/image_loader.h"
#include "core/ini_settings.h"
#include "core/registry_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_variants.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/hid_workers.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/strfmt.h"
#include "res/flash_page_template.h"
#include "res/icons.h"
#include "sfpage/com_config_records.h"
#include "sfpage/flash_isp.h"
#include "support/cancel_sweep.h"
#include "support/golden_file.h"
#include "support/simulated_gang.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Worker = void (*)(WorkerPage&);
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";
constexpr uint32_t kOptionAddr = 0x3FF8;  // chip mode 2

// The settings of a plain serial-flash run, and the port open at the stored speed, as a
// starter leaves it.
void PrepareSfRun(SimulatedGang& gang, uint32_t baud) {
    g_strExeDir = gang.bench.folder.path().toStdString() + "/";
    gang.store("ENCRY", 0);
    g_bLimitEnable = 0;
    g_nLimitQuantity = 1000;
    g_wSfImageCrc = 0x1234;
    gang.store("BaudRate", baud);
    EXPECT_TRUE(ComOpenPort(nullptr));
}

// The simulated gang board with a plain serial-flash run prepared.
struct SfComBench {
    explicit SfComBench(uint32_t baud = 115200) { PrepareSfRun(gang, baud); }
    void run(Worker worker) {
        gang.run(worker, image);
        EXPECT_FALSE(g_SerialPort.IsOpen());
    }
    Bytes flash(uint32_t at, size_t count) { return gang.board.serialFlash().read(at, count); }
    int lamp() { return gang.bench.page.icons[res::sf::kIdcLamp]; }

    SimulatedGang gang;
    Bytes image = PatternImage(70);  // the file of the run
};

void Verify(WorkerPage& p) { VerifySFComThread(p, SfRunFromSettings(p.imagePath())); }
void Program(WorkerPage& p) { ProgramSFComThread(p, SfRunFromSettings(p.imagePath())); }
void Auto(WorkerPage& p) { AutoSFComThread(p, SfRunFromSettings(p.imagePath())); }
void AutoSerial(WorkerPage& p) { AutoSFSerialComThread(p, SfRunFromSettings(p.imagePath())); }
// The numbered full run, as on a flash of 64 KB.
void AutoSerialOn64K(WorkerPage& p) {
    SfRun run = SfRunFromSettings(p.imagePath());
    run.flashSize = 0x10000;
    AutoSFSerialComThread(p, run);
}
// A full run of a "des" image on a flash of 32 KB, and the numbered run of a "pnt" image.
template <void (*FullRun)(WorkerPage&, const SfRun&)>
void DesOn32K(WorkerPage& p) {
    SfRun run = SfRunFromSettings(p.imagePath(), "des");
    run.flashSize = 0x8000;
    FullRun(p, run);
}
void AutoSerialPnt(WorkerPage& p) { AutoSFSerialComThread(p, SfRunFromSettings(p.imagePath(), "pnt")); }
void DumpPage1(WorkerPage& p) { DumpSFComThread(p, {1, 1, false}); }
void ErasePages2And3(WorkerPage& p) { ErasePagesComThread(p, {2, 2}); }

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every run's frames, tags and pauses, and what it leaves in the flash it writes.
TEST(SfComWorkers, GoldenRuns) {
    const Bytes image = PatternImage(70);
    const struct {
        const char* golden;
        Worker worker;
        std::function<void(SfComBench&)> arrange;
        std::function<void(SfComBench&)> check;
    } cases[] = {
        {"com-dump-page-1.log", DumpPage1, [](SfComBench& b) { b.gang.board.serialFlash().write(0x100, PatternImage(256)); },
         [](SfComBench&) { EXPECT_EQ(FileBytes(g_strExeDir + "Dump.bin"), PatternImage(256)); }},
        {"com-erase.log", EraseSFComThread, [](SfComBench& b) { b.gang.board.serialFlash().write(0x1FFFF0, Bytes(16, 0)); },
         [](SfComBench& b) { EXPECT_EQ(b.flash(0x1FFFF0, 16), Bytes(16, 0xFF)); }},
        {"com-erase-mark.log", EraseSFMarkComThread, [](SfComBench&) {},
         [](SfComBench& b) { EXPECT_EQ(b.flash(0x5000, 33), Cat({0x00, 0x3F}, Bytes(31, 0xFF))); }},
        {"com-verify-70-bytes-at-1000.log", Verify,
         [&](SfComBench& b) { g_nIspStartAddr = 0x1000, b.gang.board.serialFlash().write(0x1000, image); }, [](SfComBench&) {}},
        {"com-program-70-bytes-at-1000.log", Program, [](SfComBench&) { g_nIspStartAddr = 0x1000; },
         [&](SfComBench& b) { EXPECT_EQ(b.flash(0x1000, 71), Cat(image, {0xFF})); }},
        // Images of any other type stop at the option block; the records follow the block address.
        // The adapter's numbering starts at the number the INI file issues next, not at the one
        // in memory (0 in a program just started); the file keeps it.
        {"com-auto-70-bytes.log", Auto,
         [](SfComBench& b) {
             b.gang.board.serialFlash().write(0, Bytes(0x20000, 0));
             IniSetSerialNo(0x123456, g_strIniPath);
         },
         [&](SfComBench& b) {
             EXPECT_EQ(b.flash(0x10010 + 13, 3), (Bytes{0x12, 0x34, 0x56}));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x123456u);
             EXPECT_EQ(b.flash(0, 71), Cat(image, {0xFF}));
             EXPECT_EQ(b.flash(0x10000, 16), Bytes(16, 0xFF));
             EXPECT_EQ(b.flash(0x10060, 16), Bytes(16, 0xFF));
         }},
        // With encryption and "Key Write" the key goes into the +64 record.
        {"com-auto-serial-70-bytes.log", AutoSerial,
         [](SfComBench& b) {
             g_bLimitEnable = 1, g_nLimitQuantity = 1000;
             b.gang.store("ENCRY", 1);
             b.gang.store("Key Write", 1);
             for (size_t k = 0; k < 16; ++k) g_LoadedKeyBytes[k] = static_cast<uint8_t>(0xC0 + k);
         },
         [](SfComBench& b) {
             Bytes key(16);
             for (size_t k = 0; k < 16; ++k) key[k] = static_cast<uint8_t>(0xC0 + k);
             EXPECT_EQ(b.flash(0x10040, 16), key);
             EXPECT_EQ(b.flash(0x10040 + 18, 4), (Bytes{0x01, 0x1A, 0xE2, 0x6F}));
             const std::string log = b.gang.board.logText();
             EXPECT_NE(log.find("> F0 22 04 04 04 FF\n< AA F0 22 00 00 12\n> F0 10 01 01 01 FF\n"), std::string::npos);
         }},
        {"com-erase-pages-2-and-3.log", ErasePages2And3,
         [](SfComBench& b) { b.gang.board.wireSingleTarget(0), b.gang.board.writeFlash(0, 0x100, Bytes(0x400, 0x00)); },
         [](SfComBench& b) {
             const Bytes flash = b.gang.board.target(0)->flash;
             EXPECT_EQ(Bytes(flash.begin() + 0x100, flash.begin() + 0x500),
                       Cat(Cat(Bytes(0x100, 0x00), Bytes(0x200, 0xFF)), Bytes(0x100, 0x00)));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        SfComBench bench;
        c.arrange(bench);
        bench.run(c.worker);
        EXPECT_TRUE(bench.gang.messages().empty());
        EXPECT_NE(bench.lamp(), res::kIconFail);
        ExpectGolden("sfpage", c.golden, bench.gang.exchangeLog());
        c.check(bench);
    }
}

// A run started from the serial-flash page leaves the port to that page: the page that the main
// window shows owns it, a run's re-open request opens it again for the page, and the page and
// the dump dialog close it and mark it closed when they go.
TEST(SfComWorkers, TheSerialFlashPageKeepsThePortItsRunsUse) {
    SfComBench bench;
    auto page = std::make_unique<CFlashISP>();
    g_SerialPort.SetOwner(page.get());  // as the main window does when it shows the page
    EraseSFComThread(page->view());
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_SerialPort.Owner(), page.get());

    g_nComBaudRate2 = 57600;
    page->view().reopenComPort();
    g_nComBaudRate2 = 115200;
    ASSERT_TRUE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_SerialPort.Owner(), page.get());
    const termios line = bench.gang.board.lineSettings();
    EXPECT_EQ(cfgetospeed(&line), speed_t{B57600});
    EXPECT_EQ(g_bComPortOpen, 1u);
    page.reset();
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_bComPortOpen, 0u);
    EXPECT_EQ(g_SerialPort.Owner(), nullptr);

    ASSERT_TRUE(ComOpenPort(nullptr));
    g_bComPortOpen = 1;
    { CDumpSFDlg dialog; }
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_bComPortOpen, 0u);
}

// An image without code would pass every part without one compare. Every run, over the
// adapter or the gang board, refuses it before its first frame: an empty .bin, as a HEX file
// without data records converts to.
TEST(SfComWorkers, EveryRunRefusesAnImageWithoutCode) {
    {
        SfComBench bench;
        const std::string hex = bench.gang.bench.folder.filePath("fw.hex").toStdString();
        std::ofstream(hex) << ":020000040000FA\n:00000001FF\n";
        const ImageFileLoad load = LoadImageFile(hex, 0x4000);
        EXPECT_EQ(load.outcome, ImageLoadOutcome::Loaded);
        EXPECT_TRUE(FileBytes(load.imagePath).empty());
    }
    // comPort: a serial-flash run over COM, whose starter opens the port.
    const struct { const char* name; Worker worker; bool comPort = false; } runs[] = {
        {"HID burn", SiteProgramThread},
        {"HID verify", SiteVerifyThread},
        {"HID scan burn", ScanProgramThread},
        {"gang program", GangProgramThread},
        {"gang verify", GangVerifyThread},
        {"gang program B2", GangProgramThreadB2},
        {"gang verify Old", GangVerifyThreadOld},
        {"gang verify B2", GangVerifyThreadB2},
        {"gang verify C", GangVerifyThreadC},
        {"gang verify compact", GangVerifyThreadCompact},
        {"gang verify A", GangVerifyThreadA},
        {"gang single pass", GangSingleProgramThread},
        {"gang verify only", GangVerifyOnlyThread},
        {"serial flash full run over HID", [](WorkerPage& p) { AutoSFThread(p, SfRunFromSettings(p.imagePath())); }},
        {"serial flash verify over HID", [](WorkerPage& p) { VerifySFThread(p, SfRunFromSettings(p.imagePath())); }},
        {"serial flash verify over COM", Verify, true},
        {"serial flash program over COM", Program, true},
        {"serial flash full run over COM", Auto, true},
        {"serial flash numbered full run over COM", AutoSerial, true},
    };
    // A HID run powers its sites off at its end, as after an image it cannot open; nothing more.
    const auto reports = [](const SimulatedGang& g) {
        std::vector<Bytes> sent;
        for (const auto& e : g.bench.adapter.exchanges()) sent.push_back(e.report);
        return sent;
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        std::vector<Bytes> unopened;
        for (const bool empty : {false, true}) {
            SimulatedGang gang;
            if (r.comPort) {
                gang.store("BaudRate", 115200);
                EXPECT_TRUE(ComOpenPort(nullptr));
            }
            gang.board.clearLog();
            if (empty) {
                gang.run(r.worker, {});
            } else {
                gang.bench.page.image = gang.bench.folder.filePath("none.bin").toStdString();
                g_bTaskWorking = true;
                r.worker(gang.bench.page);
                unopened = reports(gang);
                continue;
            }
            const std::vector<std::string> messages = gang.messages();
            EXPECT_EQ(messages.empty() ? "" : messages[0], "File : " + gang.bench.page.image + " holds no code!");
            EXPECT_TRUE(gang.board.log().empty());
            EXPECT_EQ(reports(gang), unopened);
            EXPECT_FALSE(g_SerialPort.IsOpen());
        }
    }
}

// The full runs program as much of the image as its type asks, and say so in the +16 record;
// the option block lies at 0x40 here, the image reaches past it.
TEST(SfComWorkers, FullRunsProgramTheLengthTheImageTypeAsks) {
    static std::string type;
    // The run as the page would start it with a file of this type, on a flash of 32 KB.
    static const auto runOf = [](WorkerPage& p) {
        SfRun run = SfRunFromSettings(p.imagePath(), type);
        run.flashSize = 0x8000;
        return run;
    };
    const Worker plain = [](WorkerPage& p) { AutoSFComThread(p, runOf(p)); };
    const Worker numbered = [](WorkerPage& p) { AutoSFSerialComThread(p, runOf(p)); };
    const struct { Worker worker; const char* type; size_t size; bool codeOption; uint32_t length; } cases[] = {
        {plain, "des", 0x50, false, 0x50},      // a short "des" image whole
        {plain, "des", 0x4001, false, 0x48},    // a long one up to the option block's end
        {plain, "pnt", 0x50, false, 0x50},
        {plain, "bin", 0x50, false, 0x40},      // any other type stops at the option block
        {plain, "bin", 0x50, true, 0x50},       // unless the code option is on
        {numbered, "des", 0x50, false, 0x48},
        {numbered, "des", 0x44, false, 0x44},
        {numbered, "bin", 0x50, false, 0x50},
        {numbered, "pnt", 0x50, false, 0x40},
        {numbered, "pnt", 0x50, true, 0x50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strfmt("%s %s 0x%zX%s", c.worker == plain ? "plain" : "numbered", c.type, c.size,
                            c.codeOption ? " code option" : ""));
        SfComBench bench;
        bench.gang.store("Option Addr", 0x40);
        bench.gang.store("Code Option", c.codeOption);
        type = c.type;
        bench.image = PatternImage(c.size);
        bench.run(c.worker);
        EXPECT_TRUE(bench.gang.messages().empty());
        EXPECT_EQ(bench.lamp(), res::kIconPass);
        EXPECT_EQ(bench.flash(0, c.length + 1), Cat(Bytes(bench.image.begin(), bench.image.begin() + c.length), {0xFF}));
        EXPECT_EQ(bench.flash(0x10010 + 16, 2), (Bytes{uint8_t(c.length >> 8), uint8_t(c.length)}));
    }
}

// Every fault ends the run with the busy flag clear, the buffers freed and the port closed
// (the bench checks both); a run that did not do all its work is red.
TEST(SfComWorkers, FaultsEndTheRunCleanly) {
    const auto nothingSent = [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); };
    const auto optionAt0 = [](SfComBench& b) { b.gang.store("Option Addr", 0); };
    const auto desOptionAt0 = [](SfComBench& b) { b.gang.store("Option Addr", 0), b.image = PatternImage(0x5000); };
    const std::string noCode = "Option address 0x0 leaves no code to program!";
    const std::string onRecords = "Configuration records at 0x10010 to 0x1005F lie on the code!";
    const struct {
        const char* name;
        Worker worker;
        std::function<void(SfComBench&)> arrange;
        std::vector<std::string> messages;
        int lamp;  // 0: a run without the lamp
        std::function<void(SfComBench&)> check = [](SfComBench&) {};
    } cases[] = {
        {"a differing byte 40", Verify,
         [](SfComBench& b) {
             g_nIspStartAddr = 0x1000;
             Bytes flash = PatternImage(70);
             flash[40] ^= 0x01;
             b.gang.board.serialFlash().write(0x1000, flash);
         },
         {"Verified Failure at 0x1020!!!"}, res::kIconFail},
        // The compare reaches the image's very last byte.
        {"a differing last byte", Verify,
         [](SfComBench& b) {
             Bytes flash = PatternImage(70);
             flash[69] ^= 0x80;
             b.gang.board.serialFlash().write(0, flash);
         },
         {"Verified Failure at 0x40!!!"}, res::kIconFail},
        // The first 31 bytes of the block match, and yet it is no match.
        {"a short read", Verify,
         [](SfComBench& b) {
             b.gang.board.serialFlash().write(0, PatternImage(70));
             b.gang.board.serialFlash().cutReadsTo(31);
         },
         {"Verified Failure at 0x0!!!"}, res::kIconFail},
        // Read replies that arrive in two pieces, whose data hold whole replies: a handshake
        // reply in the first block, an empty read reply in the second, and the last block of six
        // bytes is one. The compare gets every block whole.
        {"read data that look like replies, in pieces", Verify,
         [](SfComBench& b) {
             std::copy_n(Bytes{0xAA, 0x55, 0x00, 0x00, 0x00, 0x55}.begin(), 6, b.image.begin() + 3);
             std::copy_n(Bytes{0xAA, 0xF0, 0x24, 0x00, 0x00, 0x14}.begin(), 6, b.image.begin() + 0x2A);
             std::copy_n(Bytes{0xAA, 0xF0, 0x24, 0x00, 0x00, 0x14}.begin(), 6, b.image.begin() + 0x40);
             b.gang.board.serialFlash().write(0, b.image);
             b.gang.board.splitRepliesOf(sim::BoardFrame(0x24));
         },
         {}, res::kIconPass, [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0xF0, 0x24), 3); }},
        {"a dropped third program reply", Program, [](SfComBench& b) { b.gang.board.dropReplyAt(sim::BoardFrame(0x25), 3); },
         {"ISP_TRANS8DATA!", kTimeoutText}, res::kIconFail,
         [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0xF0, 0x22), 3) << "no write disable after the time-out"; }},
        {"Cancel between blocks", Program, [](SfComBench& b) { b.gang.onNote = StopAt("step 05 800", 2); }, {},
         res::kIconFail, [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0xF0, 0x25), 2); }},
        {"a dump beyond 24-bit addresses", [](WorkerPage& p) { DumpSFComThread(p, {0xFFFF, 2, false}); }, [](SfComBench&) {},
         {"From Page + Page Count is beyond the serial flash address range !"}, 0,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // A read reply without its bytes, as a refused read comes: the dump says where it failed.
        {"a dump whose third read reply comes empty", DumpPage1,
         [](SfComBench& b) { b.gang.board.cutReplyAt(sim::BoardFrame(0x24), 3, 0); }, {"Serial flash read failed at 0x140!"},
         0, [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0xF0, 0x24), 3); }},
        {"pages beyond the flash", [](WorkerPage& p) { ErasePagesComThread(p, {60, 5}); }, [](SfComBench&) {},
         {"Pages 0x3C to 0x40 lie beyond the flash of 0x4000 bytes!"}, 0,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // Cancel ends the pause the last page's erase needs: the erase is not told done.
        {"Cancel in the last page's erase", ErasePages2And3,
         [](SfComBench& b) { b.gang.board.wireSingleTarget(0), b.gang.onNote = StopAt("pause 40", 2); }, {}, 0,
         [](SfComBench& b) {
             for (const std::string& line : b.gang.bench.page.log) EXPECT_EQ(line.find("elapsed"), std::string::npos) << line;
             EXPECT_EQ(b.gang.framesOf(0x0F, 0x0C), 1) << "the leave frame";
         }},
        {"a dropped page erase reply", ErasePages2And3,
         [](SfComBench& b) {
             b.gang.board.wireSingleTarget(0);
             b.gang.board.dropReplyAt(sim::TargetFrame(0x18), 2);
         },
         {kTimeoutText}, 0, [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0x0F, 0x0C), 1) << "the leave frame"; }},
        // The key goes only where the image is not: ANDed into image bytes it would corrupt both,
        // and left out the run would pass without it.
        {"an image over the key", Program,
         [](SfComBench& b) {
             b.gang.store("ENCRY", 1);
             g_nIspStartAddr = 0x3F00;
             b.image = PatternImage(0x200);
         },
         {"Key address 0x4000 lies on the code or the option block!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        {"an option block over the key", Program,
         [](SfComBench& b) {
             b.gang.store("ENCRY", 1);
             b.gang.store("Option Addr", 0x3FFC);
         },
         {"Key address 0x4000 lies on the code or the option block!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // Without encryption the key is not written, wherever the image lies.
        {"an image over the key without encryption", Program,
         [](SfComBench& b) {
             g_nIspStartAddr = 0x3F00;
             b.image = PatternImage(0x200);
         },
         {}, res::kIconPass, [](SfComBench& b) { EXPECT_EQ(b.flash(0x3F00, 0x201), Cat(PatternImage(0x200), {0xFF})); }},
        {"the option block and the key", Program,
         [](SfComBench& b) {
             b.gang.store("ENCRY", 1);
             for (size_t k = 0; k < 16; ++k) g_LoadedKeyBytes[k] = static_cast<uint8_t>(0xC0 + k);
         },
         {}, res::kIconPass,
         [](SfComBench& b) {
             EXPECT_EQ(b.flash(kOptionAddr, 8), Cat({0xFA}, Bytes(7, 0xFF)));
             EXPECT_EQ(b.flash(0x4000, 2), (Bytes{0xC0, 0xC1}));
         }},
        // The flash wraps a program at its page's end: bytes 4 to 7 of a block at 0x1FFC would
        // land over the code at 0x1F00. A block that ends its page goes out whole.
        {"an option block across a page", Program,
         [](SfComBench& b) { b.gang.store("Code Option", 1), b.gang.store("Option Addr", 0x1FFC); },
         {"Option Addr 0x1FFC puts the option block across a 256-byte page!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // A run that failed gave this flash number 000103; nothing erases it before the program
        // run, so the flash keeps the AND of that block and this run's 000105: the block is named.
        {"an option block a failed run numbered", Program,
         [](SfComBench& b) {
             b.gang.store("Code Option", 1), b.gang.store("Gang Serial En", 1);
             IniSetSerialNo(0x105, g_strIniPath);
             b.gang.board.serialFlash().write(kOptionAddr, Bytes{0xAF, 0x00, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFF});
         },
         {"Option block at 0x3FF8 does not hold what was written!!!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_EQ(b.flash(kOptionAddr + 1, 3), (Bytes{0x00, 0x01, 0x01})); }},
        {"an option block that ends a page", Program,
         [](SfComBench& b) { b.gang.store("Code Option", 1), b.gang.store("Option Addr", 0x1FF8); },
         {}, res::kIconPass, [](SfComBench& b) { EXPECT_EQ(b.flash(0x1FF8, 1), Bytes{0xAF}); }},
        // The frame carries 24 address bits: a block at 0x1000000 would land over the code at 0.
        {"an option block past the flash", Program,
         [](SfComBench& b) { b.gang.store("Code Option", 1), b.gang.store("Option Addr", 0x1000000); },
         {"Option address 0x1000000 lies beyond the flash of 0x4000 bytes!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // The full runs cut a "des" image (here on a flash of 32 KB) at the block's end, which
        // would wrap to 0: nothing of the image would be programmed or compared.
        {"a full run with its option block past the flash", DesOn32K<AutoSFComThread>,
         [](SfComBench& b) { b.gang.store("Option Addr", 0xFFFFFFF8), b.image = PatternImage(0x5000); },
         {"Option address 0xFFFFFFF8 lies beyond the flash of 0x8000 bytes!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // The records carry the length programmed in 16 bits: 0x10000 would read as 0.
        {"a full run longer than its records can say", AutoSerialOn64K,
         [](SfComBench& b) {
             b.gang.store("Option Addr", 0xFFF8), b.gang.store("Code Option", 1), b.image = Bytes(0x10000, 0xFF);
         },
         {"0x10000 bytes to program do not fit the configuration records (at most 0xFFFF)!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // An option address of 0 leaves no code before the block: records of length 0 would
        // pass with nothing programmed or compared; a "des" image, cut at the block's end, would
        // program the block's eight bytes only and pass; with the code option the whole image
        // goes out, and the records would put the option block over its first bytes.
        {"a full run with no code before the option block", Auto, optionAt0, {noCode}, res::kIconFail, nothingSent},
        {"a numbered full run with no code before the option block", AutoSerialPnt, optionAt0, {noCode}, res::kIconFail,
         nothingSent},
        {"a \"des\" full run with no code before the option block", DesOn32K<AutoSFComThread>, desOptionAt0,
         {noCode}, res::kIconFail, nothingSent},
        {"a numbered \"des\" full run with no code before the option block", DesOn32K<AutoSFSerialComThread>,
         desOptionAt0, {noCode}, res::kIconFail, nothingSent},
        {"a full run with the code option and its block at 0", Auto,
         [](SfComBench& b) { b.gang.store("Option Addr", 0), b.gang.store("Code Option", 1); }, {noCode}, res::kIconFail,
         nothingSent},
        // The records at +16 to +95 of the block address would be written over the code, and an
        // image of zeros there would still verify.
        {"a full run whose code reaches the records", AutoSerialOn64K,
         [](SfComBench& b) { g_nIspStartAddr = 0x8000, b.gang.store("Option Addr", 0xFFF8), b.image = Bytes(0x9000, 0); },
         {onRecords}, res::kIconFail, nothingSent},
        {"a full run whose last code byte is the records' first", Auto,
         [](SfComBench& b) { g_nIspStartAddr = 0xFFD0, b.gang.store("Option Addr", 0x41), b.image = PatternImage(0x41); },
         {onRecords}, res::kIconFail, nothingSent},
        {"a full run whose first code byte is the records' last", Auto, [](SfComBench&) { g_nIspStartAddr = 0x1005F; },
         {onRecords}, res::kIconFail, nothingSent},
        {"a full run whose code ends where the records start", Auto,
         [](SfComBench& b) { g_nIspStartAddr = 0xFFD0, b.gang.store("Option Addr", 0x40), b.image = PatternImage(0x40); },
         {}, res::kIconPass,
         [](SfComBench& b) {
             EXPECT_EQ(b.flash(0xFFD0, 0x40), PatternImage(0x40));
             EXPECT_EQ(b.flash(0x10010 + 16, 2), (Bytes{0x00, 0x40}));
         }},
        // Block-protect bits: the flash answers each program with status 1 and keeps nothing.
        {"a write-protected flash", Program, [](SfComBench& b) { b.gang.board.serialFlash().setStatus(0x1C); },
         {"Serial flash refused the program at 0x0 (status 1)!"}, res::kIconFail,
         [](SfComBench& b) { EXPECT_EQ(b.gang.framesOf(0xF0, 0x25), 1); }},
        // The chip erase of a flash locked as the status clear cannot undo: the protect bit of
        // the status register with the write-protect line low.
        {"a locked flash erased", EraseSFComThread,
         [](SfComBench& b) { b.gang.board.serialFlash().setStatus(0x9C), b.gang.board.serialFlash().holdWriteProtect(true); },
         {"Serial flash refused the chip erase (status 1)!"}, 0},
        // The option block's number comes from the INI file, which moves on as it is spent.
        {"a numbered option block", Program,
         [](SfComBench& b) {
             b.gang.store("Code Option", 1);
             g_bSerialAutoInc = 1;
             b.gang.store("Gang Serial En", 1);
             IniSetSerialNo(0x123456, g_strIniPath);
         },
         {}, res::kIconPass,
         [](SfComBench& b) {
             EXPECT_EQ(b.flash(kOptionAddr, 5), (Bytes{0xAF, 0x12, 0x34, 0x56, 0xFF}));
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x123457u);
         }},
        {"serial numbers used up", AutoSerial,
         [](SfComBench& b) {
             b.gang.store("Gang Serial En", 1);
             IniSetSerialNo(0x1000000, g_strIniPath);
         },
         {"Serial numbers are used up at FFFFFF!"}, res::kIconFail, [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // A limited quantity whose range would pass FFFFFF is refused whole; the file stays.
        {"a limited range past FFFFFF", Auto,
         [](SfComBench& b) {
             b.gang.store("Gang Serial En", 1);
             g_bLimitEnable = 1, g_nLimitQuantity = 1000;
             IniSetSerialNo(0x1000000 - 999, g_strIniPath);
         },
         {"Serial numbers are used up at FFFFFF!"}, res::kIconFail,
         [](SfComBench& b) {
             EXPECT_TRUE(b.gang.board.log().empty());
             EXPECT_EQ(IniGetSerialNo(g_strIniPath), 0x1000000u - 999);
         }},
        {"a protection byte the operator refuses", AutoSerial,
         [](SfComBench& b) {
             g_bWarnProtect = 1;
             b.gang.bench.page.onWarn = [](int, uint32_t) { return 3; };
             b.gang.store("Option Addr", 0x40);
             b.image[0x40] = 0xA5;
             b.image[0x44] = 0x10;
         },
         {}, res::kIconFail, [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // From a start address above 0 the guard looks at the bytes that land at the option
        // block, not at the file's bytes of the block's address.
        {"a protection byte that lands from a start address", Program,
         [](SfComBench& b) {
             g_bWarnProtect = 1, g_nIspStartAddr = 0x100;
             b.gang.bench.page.onWarn = [](int, uint32_t) { return 3; };
             b.gang.store("Option Addr", 0x140);
             b.image = PatternImage(0x80);
             b.image[0x40] = 0xA5, b.image[0x44] = 0x10;
         },
         {}, res::kIconFail, [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
        // The full run's records carry the file's bytes at the option address, wherever the
        // image starts: those are the bytes the guard looks at.
        {"a protection byte of the records from a start address", AutoSerial,
         [](SfComBench& b) {
             g_bWarnProtect = 1;
             b.gang.bench.page.onWarn = [](int, uint32_t) { return 3; };
             g_nIspStartAddr = 0x100;
             b.gang.store("Option Addr", 0x40);
             b.image[0x40] = 0xA5;
             b.image[0x44] = 0x10;
         },
         {}, res::kIconFail, [](SfComBench& b) { EXPECT_TRUE(b.gang.board.log().empty()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SfComBench bench;
        c.arrange(bench);
        bench.run(c.worker);
        EXPECT_EQ(bench.gang.messages(), c.messages);
        if (c.lamp) {
            EXPECT_EQ(bench.lamp(), c.lamp);
        }
        c.check(bench);
    }
}

// Cancel in each pause of every run's work in turn, at the board's own speed and at another
// (cancel_sweep.h): the erases are not told done, and no run shows its pass lamp.
TEST(SfComWorkers, CancelInAnyPauseEndsTheRunThere) {
    const struct {
        const char* name;
        Worker worker;
        bool lamp;
    } runs[] = {{"dump", DumpPage1, false},       {"erase", EraseSFComThread, false}, {"marker", EraseSFMarkComThread, false},
                {"verify", Verify, true},         {"program", Program, true},        {"full", Auto, true},
                {"numbered full", AutoSerial, true}, {"target pages", ErasePages2And3, false}};
    int pauses = 0;
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        pauses += SweepCancel({.arrange =
                                   [](SimulatedGang& g, uint32_t baud) {
                                       PrepareSfRun(g, baud);
                                       g.board.wireSingleTarget(0);
                                       g.board.serialFlash().write(0, PatternImage(70));
                                   },
                               .worker = r.worker,
                               .image = PatternImage(70),
                               .check =
                                   [lamp = r.lamp](SimulatedGang& g) {
                                       EXPECT_TRUE(!lamp || g.bench.page.icons[res::sf::kIdcLamp] == res::kIconFail);
                                   }});
    }
    EXPECT_GE(pauses, 2 * 6);
}

// Every reply of a program or full run dropped in turn, and a run that did not pass tried once
// more over the same serial flash, as an operator tries it again. A run that shows its pass lamp
// leaves the image; the program run its numbered option block, with a number that run gave, and
// the key; the full runs their records, numbering on from the INI file.
TEST(SfComWorkers, DroppingAnyReplyThenARetryPassesOnlyAWholeFlash) {
    const std::array<uint8_t, 16> key = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                                         0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF};
    const struct { const char* name; Worker worker; bool option; } runs[] = {
        {"program", Program, true}, {"full", Auto, false}, {"numbered full", AutoSerial, false}};
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        const auto prepare = [&](SfComBench& b) {
            b.gang.store("ENCRY", 1), b.gang.store("Code Option", 1), b.gang.store("Gang Serial En", 1);
            g_bSerialAutoInc = 1;
            std::copy(key.begin(), key.end(), g_LoadedKeyBytes.begin());
            IniSetSerialNo(0x100, g_strIniPath);
        };
        const auto expectWhole = [&](SfComBench& b, uint32_t first) {
            if (b.lamp() != res::kIconPass) return;
            EXPECT_EQ(b.flash(0, b.image.size()), b.image);
            const uint32_t next = IniGetSerialNo(g_strIniPath);
            if (!r.option) {
                EXPECT_EQ(b.flash(0x10010 + 13, 3), (Bytes{uint8_t(next >> 16), uint8_t(next >> 8), uint8_t(next)}));
                return;
            }
            const Bytes block = b.flash(kOptionAddr, 8);
            EXPECT_EQ(block[0], 0xAA);
            const uint32_t number = uint32_t{block[1]} << 16 | block[2] << 8 | block[3];
            EXPECT_GE(number, first) << "a number given before";
            EXPECT_LT(number, next);
            EXPECT_EQ(b.flash(kSfComKeyAddr, 16), Bytes(key.begin(), key.end()));
        };
        int replies = 0;
        {
            SfComBench bench;
            prepare(bench);
            bench.run(r.worker);
            ASSERT_EQ(bench.lamp(), res::kIconPass);
            expectWhole(bench, 0x100);
            for (const sim::LogEntry& entry : bench.gang.board.log()) replies += entry.fromHost ? 0 : 1;
        }
        for (int n = 1; n <= replies; ++n) {
            SCOPED_TRACE(n);
            SfComBench bench;
            prepare(bench);
            bench.gang.board.dropReplyNumber(n);
            bench.run(r.worker);
            expectWhole(bench, 0x100);
            if (bench.lamp() == res::kIconPass) continue;
            const uint32_t first = IniGetSerialNo(g_strIniPath);
            EXPECT_TRUE(ComOpenPort(nullptr));
            bench.gang.board.dropReplyNumber(0);
            bench.run(r.worker);
            expectWhole(bench, first);
        }
    }
}

// An adapter that numbers a limited quantity of parts has its range taken from the INI file
// before its first frame: two adapters in a row start that many numbers apart, and the next gang
// run numbers on after both. Without a limit the range is open and the file stays. The +64
// record's three bytes hold the largest quantity the page takes.
TEST(SfComWorkers, AdaptersWithALimitTakeTheirRangeOfNumbers) {
    const struct { Worker worker; uint8_t limit; uint32_t second, gang, quantity = 1000; } cases[] = {
        {Auto, 1, 0x100 + 1000, 0x100 + 2000},
        {AutoSerial, 1, 0x100 + 1000, 0x100 + 2000},
        {AutoSerial, 0, 0x100, 0x100},
        {Auto, 1, 0x100 + 1000000, 0x100 + 2000000, 1000000},
        {AutoSerial, 1, 0x100 + 1000000, 0x100 + 2000000, 1000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strfmt("%s, limit %s, %u", c.worker == Auto ? "plain" : "numbered", c.limit ? "on" : "off", c.quantity));
        SfComBench bench;
        bench.gang.store("Gang Serial En", 1);
        g_bLimitEnable = c.limit, g_nLimitQuantity = c.quantity;
        IniSetSerialNo(0x100, g_strIniPath);
        const uint32_t field = c.worker == Auto ? c.quantity : CFlashISP::EncodeSerialNumber(c.quantity);
        for (const uint32_t first : {0x100u, c.second}) {
            if (!g_SerialPort.IsOpen()) {
                EXPECT_TRUE(ComOpenPort(nullptr));  // the next adapter's run
            }
            bench.run(c.worker);
            EXPECT_EQ(bench.lamp(), res::kIconPass);
            EXPECT_EQ(bench.flash(0x10010 + 13, 3), (Bytes{uint8_t(first >> 16), uint8_t(first >> 8), uint8_t(first)}));
            EXPECT_EQ(bench.flash(0x10040 + 18, 4), (Bytes{c.limit, uint8_t(field >> 16), uint8_t(field >> 8), uint8_t(field)}));
        }
        bench.gang.populate({0});
        bench.gang.run(GangProgramThread, PatternImage(100));
        EXPECT_EQ(bench.gang.board.target(0)->optionBlock(kOptionAddr)[3], uint8_t(c.gang));
        EXPECT_EQ(bench.gang.board.target(0)->optionBlock(kOptionAddr)[2], uint8_t(c.gang >> 8));
        EXPECT_EQ(IniGetSerialNo(g_strIniPath), c.gang + 1);
        EXPECT_TRUE(bench.gang.messages().empty());
    }
}

// At any speed but the board's own, the runs that read or program the flash open the port again
// at 115200 before they close it; the erase runs only close it (the goldens show 115200).
TEST(SfComWorkers, AtAnotherSpeedThePortIsOpenedAgainFirst) {
    const struct { Worker worker; bool again; } cases[] = {
        {DumpPage1, true}, {Verify, true}, {Program, true}, {Auto, true}, {AutoSerial, true},
        {EraseSFComThread, false}, {EraseSFMarkComThread, false}, {ErasePages2And3, false},
    };
    for (const auto& c : cases) {
        SfComBench bench(57600);
        bench.gang.board.wireSingleTarget(0);
        bench.gang.board.serialFlash().write(0, PatternImage(70));
        bench.run(c.worker);
        const auto notes = bench.gang.notes();
        EXPECT_EQ(std::count(notes.begin(), notes.end(), "speed"), c.again ? 1 : 0);
    }
}

// Each record's 32 bytes, for settings that touch every field.
TEST(SfComWorkers, ConfigRecordsFieldByField) {
    Bytes image = PatternImage(0x50);
    const auto hex = [](const SfConfigRecord& r) {
        std::string text;
        for (uint8_t b : r) text += strfmt("%02X", b);
        return text;
    };
    SfConfigSettings all{.encry = true, .codeOption = true, .optionSerial = true, .gangSerialEnable = true,
                         .serialAutoInc = true, .beepSound = true, .logSteps = true, .keyWrite = true,
                         .protectNoRead = true, .limitEnable = true, .gangSerial = 0xABCDEF, .gangSerialFixed = {1, 2, 3},
                         .optionAddr = 0x20, .configAddr = 0x10000, .chipMode = 2, .key = {},
                         .imageSum = 0xBEEF, .limitQuantity = 0x1AE26F, .keyAddr = 0x4000};
    for (size_t k = 0; k < 16; ++k) all.key[k] = static_cast<uint8_t>(0xC0 + k);
    image[0x25] = image[0x26] = image[0x27] = 0xFF;  // option bytes 5 to 7 erased: the mode's tail
    const struct { const char* name; SfConfigSettings settings; const char *at16, *at48, *at64; } cases[] = {
        {"nothing on", {.optionAddr = 0x20, .chipMode = 2, .imageSum = 0x1234, .limitQuantity = 1000, .keyAddr = 0x4000},
         "2F21222324FFFFFF28292A2B2C000000004632333435363700203A0100003E00",
         "0221222324FFFFFF28292A2B2C000000004632333435363700203A0100003E00",
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF1234000003E84000FFFFFFFFFFFFFFFF"},
        // The key goes into the +64 record only with "Key Write" on, encryption or not.
        {"encryption without key write",
         {.encry = true, .optionAddr = 0x20, .chipMode = 2, .key = all.key, .imageSum = 0x1234, .limitQuantity = 1000,
          .keyAddr = 0x4000},
         "2021222324FFFFFF28292A2B2C000000004632333435363700203A0100003E01",
         "0221222324FFFFFF28292A2B2C000000004632333435363700203A0100003E01",
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF1234000003E84000FFFFFFFFFFFFFFFF"},
        {"everything on", all,
         "20ABCDEF100E000028292A2B2CABCDEF004632333435363700203A0100003EFF",
         "02ABCDEF100E000028292A2B2CABCDEF004632333435363700203A0100003EFF",
         "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFBEEF011AE26F4000FFFFFFFFFFFFFFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SfConfigRecords records = BuildSfConfigRecords(c.settings, image, 70);
        EXPECT_EQ(hex(records.at16), c.at16);
        EXPECT_EQ(hex(records.at48), c.at48);
        EXPECT_EQ(hex(records.at64), c.at64);
    }
}

TEST(SfComWorkers, BitMaskAndLeadingZeroBits) {
    for (const auto& [bits, mask] : {std::pair<uint32_t, Bytes>{10, {0x00, 0x3F, 0xFF}}, {8, {0x00, 0xFF, 0xFF}},
                                     {0, {0xFF, 0xFF, 0xFF}}, {24, {0x00, 0x00, 0x00}}}) {
        Bytes out(3, 0xFF);
        BuildBitMask(bits, out);
        EXPECT_EQ(out, mask) << bits;
        EXPECT_EQ(CountLeadingZeroBits(out), bits) << bits;
    }
    EXPECT_EQ(CountLeadingZeroBits(Bytes(32, 0x00)), 256u);
}

}  // namespace
