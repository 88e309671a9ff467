#include "sfpage/sf_workers.h"

#include <gtest/gtest.h>

#include "app/globals.h"
#include "res/flash_page_template.h"
#include "res/icons.h"
#include "support/golden_file.h"
#include "support/run_trace.h"
#include "support/simulated_burn.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A run on the simulated adapter with the test clock; the starter's busy flag is set.
struct SfBench {
    SimulatedBurn bench;
    RunTrace trace{bench.adapter};

    SfRun settings(const Bytes& file, uint32_t flashSize = 0x10000) {
        SfRun run;
        run.imagePath = bench.writeImage(file);
        run.flashSize = flashSize;
        return run;
    }
    int programs() const {
        int count = 0;
        for (uint8_t command : bench.adapter.sentCommands()) count += command == 0x34;
        return count;
    }
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

// Every failure ends the run red with the busy flag clear, the endless erase at its bound; none
// is forgotten by a later transfer that works.
TEST(SfWorkers, FailuresEndRed) {
    const struct {
        const char* name;
        void (*fault)(SfBench&);
        std::string message;
        int programs;  // page programs that reached the adapter
    } cases[] = {
        // Get 1 answers the status; page 0's read-back takes gets 2 to 17; get 18 is the first
        // read of page 1, which the block leaves all 0xFF like the buffer it would leave.
        {"failed read-back of an erased page", [](SfBench& r) { r.bench.adapter.failGetAt(18); }, "", 262},
        // Set 56 programs page 5, 0xFF like the erased flash, so only the failed transfer tells.
        {"failed page program", [](SfBench& r) { r.bench.adapter.failSetAt(56); }, "", 261},
        {"failed erase command", [](SfBench& r) { r.bench.adapter.failSetAt(1); }, "Serial flash erase command failed!", 0},
        {"failed status read", [](SfBench& r) { r.bench.adapter.failGetAt(1); }, "Serial flash status read failed!", 0},
        {"endless erase", [](SfBench& r) { r.bench.adapter.makeSerialFlashEraseEndless(); },
         "Serial flash erase did not finish within 60 seconds!", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SfBench run;
        c.fault(run);
        AutoSFThread(run.trace, run.settings(PatternImage(100)));
        EXPECT_FALSE(g_bTaskWorking);
        EXPECT_EQ(run.trace.icon(res::sf::kIdcLamp), res::kIconFail);
        EXPECT_EQ(run.trace.messages, c.message.empty() ? std::vector<std::string>{} : std::vector{c.message});
        EXPECT_EQ(run.programs(), c.programs);
        EXPECT_LT(run.trace.seconds(), kSfEraseBoundSeconds + 1);
    }
}

// Files that cannot be the image are refused before the adapter hears anything; only the full
// run has a block to run into.
TEST(SfWorkers, RefusedFiles) {
    using Worker = void (*)(WorkerPage&, const SfRun&);
    const struct { const char* name; size_t size; uint32_t flashSize; std::vector<Worker> workers; std::string message; } cases[] = {
        {"empty", 0, 0x10000, {AutoSFThread, ProgramSFThread, VerifySFThread}, "File : %s is empty!"},
        {"above the model's flash", 0x8001, 0x8000, {AutoSFThread, ProgramSFThread, VerifySFThread}, "File size more than 8000"},
        {"above the configuration block", 0x10001, 0x20000, {AutoSFThread}, "File size more than 10000"},
    };
    for (const auto& c : cases) {
        for (Worker worker : c.workers) {
            SCOPED_TRACE(c.name);
            SfBench run;
            const SfRun settings = run.settings(Bytes(c.size, 0), c.flashSize);
            worker(run.trace, settings);
            std::string expected = c.message;
            if (const size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, settings.imagePath);
            EXPECT_EQ(run.trace.messages, std::vector{expected});
            EXPECT_EQ(run.trace.icon(res::sf::kIdcLamp), res::kIconFail);
            EXPECT_TRUE(run.bench.adapter.exchanges().empty());
            EXPECT_FALSE(g_bTaskWorking);
        }
    }
}

// A page that differs stops the verification there; the pages before it were checked.
TEST(SfWorkers, VerifyStopsAtTheFirstDifferingPage) {
    SfBench run;
    Bytes file = PatternImage(3 * 256);
    run.bench.adapter.writeSerialFlash(0, file);
    run.bench.adapter.writeSerialFlash(2 * 256 + 255, Bytes{0x00});
    VerifySFThread(run.trace, run.settings(file));
    EXPECT_EQ(run.trace.icon(res::sf::kIdcLamp), res::kIconFail);
    const std::string text = run.trace.text();
    EXPECT_NE(text.find("| pos 00000001"), std::string::npos) << text;
    EXPECT_NE(text.find("| log Verify elapsed time"), std::string::npos) << text;
}

}  // namespace
