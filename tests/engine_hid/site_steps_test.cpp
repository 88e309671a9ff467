#include <gtest/gtest.h>

#include <regex>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

// Each worker's log lines (elapsed times shown as T) and the line counts at which it scrolls
// the operation list.
TEST(SiteSteps, WorkersLogTheirStepsAndScrollAfterTheRightLines) {
    struct Case {
        const char* name;
        uint32_t serialLocation;  // 2: no serial
        void (*worker)(WorkerPage&);
        std::vector<std::string> log;
        std::vector<size_t> scrolledAt;
    };
    const auto burn = [](const std::string& serialBefore, const std::string& serialAfter) {
        std::vector<std::string> lines = {"Begin chip erase target IC RQ45N064 on site 1",
                                          "chip erase elapsed time : T seconds on site 1", "Begin program........"};
        if (!serialBefore.empty()) lines.push_back(serialBefore);
        lines.insert(lines.end(), {"program elapsed time : T seconds on site 1", "Begin verifying on site 1",
                                   "Verify elapsed time : T seconds on site 1"});
        if (!serialAfter.empty()) lines.push_back(serialAfter);
        return lines;
    };
    const std::string serial = "program SN = 7 on site 1";
    const std::vector<Case> cases = {
        {"burn", 2, SiteProgramThread, burn("", ""), {4, 5, 6, 7, 8}},
        {"burn, serial in the image", 0, SiteProgramThread, burn(serial, ""), {4, 5, 6, 7, 8, 9}},
        {"burn, serial in the information area", 1, SiteProgramThread, burn("", serial), {4, 5, 6, 7, 8, 9}},
        {"verify", 2, SiteVerifyThread, {"Begin verifying........", "Verify elapsed time : T seconds\n"}, {3, 4}},
        {"information block", 2, ProgramInfoBlockThread,
         {"Begin scan IC........", "scan IC elapsed time : T seconds\n", "Begin program information data........",
          "program information data elapsed time : T seconds\n", "Begin verify information data........",
          "verify information data elapsed time : T seconds\n"},
         {6, 8}},
    };
    static const std::regex time(R"(time : *[0-9]+\.[0-9] seconds)");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.adapter.setFirmwareSubVersion("SUB12345");
        bench.populate({0});
        const auto image = PatternImage(64);
        bench.preload(0, image);
        g_bSerialEnable = c.serialLocation < 2;
        g_nSerialLocation = c.serialLocation;
        g_dwSerialAddr = 0x10;
        g_nLastSerial = 7;
        RecordingPage page;
        page.image = bench.writeImage(image);
        c.worker(page);

        std::vector<std::string> log = {"Firmware Version : V010", "Firmware Sub Version : SUB12345"};
        log.insert(log.end(), c.log.begin(), c.log.end());
        for (auto& line : page.log) line = std::regex_replace(line, time, "time : T seconds");
        EXPECT_EQ(page.log, log);
        EXPECT_EQ(page.scrolledAt, c.scrolledAt);
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// An empty image file gives nothing to read back, so no part passes on it.
TEST(SiteSteps, NoPartPassesOnAnEmptyImage) {
    for (auto worker : {SiteProgramThread, SiteVerifyThread}) {
        SimulatedBurn bench;
        bench.populate({0, 2});
        RecordingPage page;
        page.image = bench.writeImage({});
        worker(page);

        EXPECT_FALSE(g_bTaskWorking);
        EXPECT_EQ(bench.counters(), (Counters{2, 0, 2}));
        EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
    }
}

}  // namespace
