#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

// The log with every elapsed time shown as T.
std::vector<std::string> LogWithoutTimes(const RecordingPage& page) {
    static const std::regex time(R"(time : *[0-9]+\.[0-9] seconds)");
    std::vector<std::string> lines;
    for (const auto& line : page.log) lines.push_back(std::regex_replace(line, time, "time : T seconds"));
    return lines;
}

// Each worker's log lines, in order, and the lines after which the operation list is scrolled
// (scrolledAt holds the line count at each scroll).
TEST(SiteSteps, WorkersLogTheirStepsAndScrollAfterTheRightLines) {
    struct Case {
        const char* name;
        std::function<void()> settings;
        void (*worker)(WorkerPage&);
        std::vector<std::string> log;
        std::vector<size_t> scrolledAt;
    };
    const std::vector<std::string> version = {"Firmware Version : V010", "Firmware Sub Version : SUB12345"};
    const auto with = [&](std::vector<std::string> lines) {
        lines.insert(lines.begin(), version.begin(), version.end());
        return lines;
    };
    const auto serial = [](uint32_t location) {
        return [location] {
            g_bSerialEnable = 1;
            g_nSerialLocation = location;
            g_dwSerialAddr = 0x10;
            g_nLastSerial = 7;
        };
    };
    const std::vector<Case> cases = {
        {"burn", [] {}, SiteProgramThread,
         with({"Begin chip erase target IC RQ45N064 on site 1", "chip erase elapsed time : T seconds on site 1",
               "Begin program........", "program elapsed time : T seconds on site 1", "Begin verifying on site 1",
               "Verify elapsed time : T seconds on site 1"}),
         {4, 5, 6, 7, 8}},
        {"burn, serial in the image", serial(0), SiteProgramThread,
         with({"Begin chip erase target IC RQ45N064 on site 1", "chip erase elapsed time : T seconds on site 1",
               "Begin program........", "program SN = 7 on site 1", "program elapsed time : T seconds on site 1",
               "Begin verifying on site 1", "Verify elapsed time : T seconds on site 1"}),
         {4, 5, 6, 7, 8, 9}},
        {"burn, serial in the information area", serial(1), SiteProgramThread,
         with({"Begin chip erase target IC RQ45N064 on site 1", "chip erase elapsed time : T seconds on site 1",
               "Begin program........", "program elapsed time : T seconds on site 1", "Begin verifying on site 1",
               "Verify elapsed time : T seconds on site 1", "program SN = 7 on site 1"}),
         {4, 5, 6, 7, 8, 9}},
        {"verify", [] {}, SiteVerifyThread,
         with({"Begin verifying........", "Verify elapsed time : T seconds\n"}), {3, 4}},
        {"information block", [] {}, ProgramInfoBlockThread,
         with({"Begin scan IC........", "scan IC elapsed time : T seconds\n", "Begin program information data........",
               "program information data elapsed time : T seconds\n", "Begin verify information data........",
               "verify information data elapsed time : T seconds\n"}),
         {6, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.adapter.setFirmwareSubVersion("SUB12345");
        bench.populate({0});
        const auto image = PatternImage(64);
        bench.preload(0, image);
        c.settings();
        RecordingPage page;
        page.image = bench.writeImage(image);
        c.worker(page);

        EXPECT_EQ(LogWithoutTimes(page), c.log);
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
        EXPECT_EQ(page.icons[1103], 151);
        EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
    }
}

}  // namespace
