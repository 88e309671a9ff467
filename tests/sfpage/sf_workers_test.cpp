#include "sfpage/sf_workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "platform/paths.h"
#include "res/flash_page_template.h"
#include "res/icons.h"
#include "support/golden_file.h"
#include "support/run_trace.h"
#include "platform/registry_store.h"
#include "support/running_copies.h"
#include "support/simulated_burn.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A run on the simulated adapter with the test clock; the starter's busy flag is set.
struct SfBench {
    SimulatedBurn bench;
    RunTrace trace{bench.adapter};

    SfRun settings(const Bytes& file, uint32_t flashSize = 0x10000) { return {bench.writeImage(file), flashSize, {}}; }
    auto programs() const { return std::ranges::count(bench.adapter.sentCommands(), uint8_t{0x34}); }
};

TEST(SfWorkers, GoldenRuns) {
    const struct { const char* golden; void (*run)(SfBench&); } cases[] = {
        {"auto-100-bytes.log", [](SfBench& r) { AutoSFThread(r.trace, r.settings(PatternImage(100))); }},
        {"program-300-bytes.log", [](SfBench& r) { ProgramSFThread(r.trace, r.settings(PatternImage(300))); }},
        {"verify-300-bytes.log",
         [](SfBench& r) {
             r.bench.adapter.writeSerialFlash(0, PatternImage(300));
             VerifySFThread(r.trace, r.settings(PatternImage(300)));
         }},
        {"erase.log", [](SfBench& r) { EraseSFThread(r.trace); }},
        // An erase the program never saw finish: the run waits for it, then programs the flash.
        {"program-after-unfinished-erase.log",
         [](SfBench& r) {
             r.bench.adapter.setSerialFlashEraseTime(std::chrono::seconds(3));
             r.bench.adapter.startSerialFlashErase();
             ProgramSFThread(r.trace, r.settings(PatternImage(300)));
             EXPECT_EQ(r.bench.adapter.serialFlash(0, 300), PatternImage(300));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        SfBench run;
        c.run(run);
        EXPECT_FALSE(g_bTaskWorking);
        EXPECT_TRUE(run.trace.messages.empty());
        ExpectGolden("sfpage", c.golden, run.trace.text());
    }
}

// Every failure and every refused file ends the run red with the busy flag clear, the endless
// erase at its bound; no failure is forgotten by a later transfer that works. A refused file
// reaches no adapter; only the full run has a block to run into.
TEST(SfWorkers, FailuresEndRed) {
    using Worker = void (*)(WorkerPage&, const SfRun&);
    const std::vector<Worker> all = {AutoSFThread, ProgramSFThread, VerifySFThread}, full = {AutoSFThread};
    // message: %s is the path; programs: page programs that reached the adapter, -1 for no
    // exchange at all; traced: a part of the run's trace.
    // path: an image file of fileSize bytes unless given.
    const struct { const char* name; std::vector<Worker> workers; size_t fileSize; uint32_t flashSize;
                   void (*fault)(SfBench&); std::string message; int programs; const char* traced = "";
                   const char* path = nullptr; } cases[] = {
        // Gets 1 and 2 answer the status before and after the erase; page 0's read-back takes
        // gets 3 to 18; get 19 is the first read of page 1, which the block leaves all 0xFF like
        // the buffer it would leave.
        {"failed read-back of an erased page", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.failGetAt(19); }, "", 262,
         "35 00000000 -> failed\n    0 | log Verify elapsed time"},
        // Set 57 programs page 5, 0xFF like the erased flash, so only the failed transfer tells.
        {"failed page program", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.failSetAt(57); }, "", 261},
        // Sets 4 to 11 load page 0: a page whose load failed is not programmed, and reads back erased.
        {"failed page load", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.failSetAt(6); }, "", 261},
        {"failed erase command", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.failSetAt(2); },
         "Serial flash erase command failed!", 0},
        {"failed status read", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.failGetAt(2); },
         "Serial flash status read failed!", 0},
        {"endless erase", full, 100, 0x10000, [](SfBench& r) { r.bench.adapter.makeSerialFlashEraseEndless(); },
         "Serial flash erase did not finish within 60 seconds!", 0},
        // An erase left unfinished keeps the flash busy, and a busy flash ignores page program
        // and page read: no run may pass, or compare the adapter's page buffer, before it ends.
        {"a flash left erasing", all, 100, 0x10000,
         [](SfBench& r) {
             r.bench.adapter.makeSerialFlashEraseEndless();
             r.bench.adapter.startSerialFlashErase();
         },
         "Serial flash erase did not finish within 60 seconds!", 0, "    0 37 -> 00\n   10 37 x6000 -> 00\n   10 | message"},
        {"a lost status reply before the run", {ProgramSFThread, VerifySFThread}, 100, 0x10000,
         [](SfBench& r) { r.bench.adapter.failGetAt(1); }, "Serial flash status read failed!", 0},
        // The verification stops at the differing page; the pages before it were checked.
        {"a differing third page", {VerifySFThread}, 3 * 256, 0x10000,
         [](SfBench& r) {
             r.bench.adapter.writeSerialFlash(0, PatternImage(3 * 256));
             r.bench.adapter.writeSerialFlash(2 * 256 + 255, Bytes{0x00});
         },
         "", 0, "| pos 00000001\n    0 32 00000002\n    0 35 00000000 +10 x16\n    0 | log Verify elapsed time"},
        {"an empty file", all, 0, 0x10000, [](SfBench&) {}, "File : %s holds no code!", -1},
        {"a file above the model's flash", all, 0x8001, 0x8000, [](SfBench&) {}, "File size more than 8000", -1},
        {"a file reaching the configuration block", full, 0x10001, 0x20000, [](SfBench&) {}, "File size more than 10000", -1},
        {"a read error", all, 0, 0x10000, [](SfBench&) {}, "File : %s could not be read!!!", -1, "", "/proc/self/mem"},
        {"a device", all, 0, 0x10000, [](SfBench&) {}, "File : %s could not be opened!!!", -1, "", "/dev/zero"},
    };
    for (const auto& c : cases) {
        for (Worker worker : c.workers) {
            SCOPED_TRACE(c.name);
            SfBench run;
            c.fault(run);
            SfRun settings = run.settings(PatternImage(c.fileSize), c.flashSize);
            if (c.path) settings.imagePath = c.path;
            g_bTaskDone = 0;
            worker(run.trace, settings);
            EXPECT_EQ(g_bTaskDone, c.programs < 0 ? 1u : 0u) << "marked done only when the file fails";
            std::string expected = c.message;
            if (const size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, settings.imagePath);
            EXPECT_EQ(run.trace.messages, expected.empty() ? std::vector<std::string>{} : std::vector{expected});
            EXPECT_FALSE(g_bTaskWorking);
            EXPECT_EQ(run.trace.icon(res::sf::kIdcLamp), res::kIconFail);
            EXPECT_EQ(run.programs(), std::max(c.programs, 0));
            EXPECT_EQ(run.bench.adapter.exchanges().empty(), c.programs < 0);
            EXPECT_LT(run.trace.seconds(), kSfEraseBoundSeconds + 1);
            EXPECT_NE(run.trace.text().find(c.traced), std::string::npos) << run.trace.text();
        }
    }
}

// An adapter that numbers a limited quantity of parts takes that range of "Last SN" before its
// first frame: the next adapter starts after it, and so do the HID burns. Without a limit the
// adapter's range is open and "Last SN" stays. Numbers the store cannot keep, a range past the
// last number, and a quantity the block's 16 bits cannot hold as a limit (0xFFFF reads as none)
// are refused before anything goes to the adapter but a status poll.
TEST(SfWorkers, AdaptersWithALimitTakeTheirRangeOfNumbers) {
    const struct { const char* name; uint8_t limit; const char* lock; uint32_t start; std::vector<uint32_t> firsts;
                   uint32_t next; const char* message; uint32_t quantity = 1000;
                   bool erasing = false; bool heldBack = false; bool outOfDate = false; } cases[] = {
        {"limited", 1, nullptr, 5000, {5000, 6000}, 7000, nullptr},
        {"open", 0, nullptr, 5000, {5000, 5000}, 5000, nullptr},
        {"store locked away", 1, "settings.lock", 5000, {}, 5000, "Last SN can not be saved !"},
        {"past the last number", 1, nullptr, 0xFFFFFFFF - 999, {}, 0xFFFFFFFF - 999, "Last SN is used up !"},
        {"the largest quantity", 1, nullptr, 5000, {5000, 5000 + 0xFFFE}, 5000 + 2 * 0xFFFE, nullptr, 0xFFFE},
        {"a quantity the block reads as none", 1, nullptr, 5000, {}, 5000, "Out of range! Quantity should be <= 65534", 0xFFFF},
        {"a quantity whose low 16 bits are 0", 1, nullptr, 5000, {}, 5000, "Out of range! Quantity should be <= 65534",
         0x20000},
        {"any quantity without the limit", 0, nullptr, 5000, {5000, 5000}, 5000, nullptr, 0x20000},
        // A flash that an unfinished erase keeps busy is known before the range is taken: no
        // adapter gets it, and it stays for the next.
        {"a flash left erasing", 1, nullptr, 5000, {}, 5000, "Serial flash erase did not finish within 60 seconds!", 1000,
         true},
        // Another copy set "Last SN" below the numbers this copy gave: no range is taken, and
        // each run says why and how to go on.
        {"held back by another copy's lower number", 1, nullptr, 5000, {}, 4000,
         "Another copy of the program set Last SN below the numbers this copy gave: set Initial Serial No. in Config. "
         "to go on !",
         1000, false, true},
        // The version of the store this copy saw was moved aside, where another copy may take from it.
        {"out of date", 1, nullptr, 5000, {}, 5001,
         "Another copy of the program may have given numbers from Last SN since this copy last read it: set Initial "
         "Serial No. in Config. to go on !",
         1000, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SfBench run;
        run.bench.numberSerials(0, 0x40, c.start);
        g_bLimitEnable = c.limit, g_nLimitQuantity = c.quantity;
        if (c.lock) {  // a folder in the lock's place: no lock, no save
            std::filesystem::remove(platform::configFolder() + c.lock);
            ASSERT_TRUE(std::filesystem::create_directory(platform::configFolder() + c.lock));
        }
        if (c.heldBack) {
            ASSERT_EQ(RegTakeLastSn(1), c.start);
            InAnotherCopy([] { RegSaveLastSn(4000); });
        }
        if (c.outOfDate) {
            ASSERT_EQ(RegTakeLastSn(1), c.start);
            const std::string store = platform::registryStorePath();
            std::filesystem::rename(store, store + ".aside");
            std::filesystem::copy_file(store + ".aside", store);
        }
        const Bytes limit = c.limit ? Bytes{uint8_t(c.quantity), uint8_t(c.quantity >> 8)} : Bytes{0xFF, 0xFF};
        for (int adapter = 0; adapter < 2; ++adapter) {
            run.bench.adapter.writeSerialFlash(kSfLastSerialOffset, Bytes(4, 0xFF));
            if (c.erasing) run.bench.adapter.makeSerialFlashEraseEndless(), run.bench.adapter.startSerialFlashErase();
            g_bTaskWorking = true;
            AutoSFThread(run.trace, SfRunFromSettings(run.bench.writeImage(PatternImage(100))));
            const uint32_t first = c.firsts.empty() ? 0xFFFFFFFF : c.firsts[adapter];
            EXPECT_EQ(run.bench.adapter.serialFlash(kSfLastSerialOffset, 4),
                      (Bytes{uint8_t(first), uint8_t(first >> 8), uint8_t(first >> 16), uint8_t(first >> 24)}));
            EXPECT_EQ(run.bench.adapter.serialFlash(kSfQuantityOffset, 2), (c.firsts.empty() ? Bytes{0xFF, 0xFF} : limit));
            EXPECT_EQ(run.trace.icon(res::sf::kIdcLamp), c.firsts.empty() ? res::kIconFail : res::kIconPass);
        }
        EXPECT_EQ(RegLoadLastSn(), c.next);
        EXPECT_EQ(run.programs(), c.firsts.empty() ? 0 : 2 * 0x13100 / 256);
        EXPECT_EQ(std::ranges::all_of(run.bench.adapter.sentCommands(), [](uint8_t command) { return command == 0x37; }),
                  c.firsts.empty()) << "a refused run asks the flash's status at most";
        EXPECT_EQ(run.trace.messages, c.message ? std::vector<std::string>(2, c.message) : std::vector<std::string>{});
        g_bLimitEnable = 0, g_nLimitQuantity = 1000;
    }
}

// The run with option words writes the markers and words that the flash-information view reads,
// and the parameter file, which lengthens what is written; a file it cannot read fails the run.
TEST(SfWorkers, TheRunWithOptionWordsFillsTheBlock) {
    const Bytes words = {0xAA, 0x01, 0x55, 0xFE, 0x00, 0x00, 0xFF, 0xFF};  // level 0 with PcROP type 0
    const struct { const char* name; uint32_t paramEnable; const char* file; int programs; const char* message; } cases[] = {
        {"no parameter file", 0, nullptr, 0x10600 / 256, nullptr},
        {"a parameter file", 1, "0000 11223344\n01FC 55667788\n", 0x10D00 / 256, nullptr},
        {"a missing parameter file", 1, nullptr, 0, "File could not be opened !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SfBench run;
        SfRun settings = run.settings(PatternImage(100));
        settings.info = {.infoBlockEnable = 1, .rdpLevel = 1, .pcropType = 0, .bootDataEnable = 1, .vidPidEnable = 1,
                         .ispParam = {0x1234}, .paramEnable = c.paramEnable, .paramFile = "p.data"};
        if (c.file) run.bench.useParameterFile("p.data", c.file);
        AutoSFParamThread(run.trace, settings);
        EXPECT_EQ(run.programs(), c.programs);
        EXPECT_EQ(run.trace.messages, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        if (!c.programs) continue;
        const auto& adapter = run.bench.adapter;
        EXPECT_EQ(adapter.serialFlash(0x10004, 1), Bytes{0xAA});
        EXPECT_EQ(adapter.serialFlash(0x10102, 1), Bytes{0xAA});
        EXPECT_EQ(adapter.serialFlash(0x10510, 8), words);
        EXPECT_EQ(adapter.serialFlash(0x10528, 4), (Bytes{0x34, 0x12, 0xCB, 0xED}));
        if (c.file) {
            EXPECT_EQ(adapter.serialFlash(0x10B00, 4), (Bytes{0x44, 0x33, 0x22, 0x11}));
            EXPECT_EQ(adapter.serialFlash(0x10CFC, 4), (Bytes{0x88, 0x77, 0x66, 0x55}));
        }
    }
}

}  // namespace
