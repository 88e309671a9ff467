#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/simulated_burn.h"

namespace {

using Tones = std::vector<RecordingServices::Tone>;
const Tones kPassTones = {{784, 900}};
const Tones kFailTones = {{800, 100}, {800, 100}};

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
        {"verify", 2, SiteVerifyThread, {"Begin verifying........", "Verify elapsed time : T seconds"}, {3, 4}},
        {"information block", 2, ProgramInfoBlockThread,
         {"Begin scan IC........", "scan IC elapsed time : T seconds", "Begin program information data........",
          "program information data elapsed time : T seconds", "Begin verify information data........",
          "verify information data elapsed time : T seconds"},
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
        bench.startWithLastSerial(7);
        bench.run(c.worker, image);

        std::vector<std::string> log = {"Firmware Version : V010", "Firmware Sub Version : SUB12345"};
        log.insert(log.end(), c.log.begin(), c.log.end());
        for (auto& line : bench.page.log) line = std::regex_replace(line, time, "time : T seconds");
        EXPECT_EQ(bench.page.log, log);
        EXPECT_EQ(bench.page.scrolledAt, c.scrolledAt);
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// An empty image file gives nothing to read back, so no part passes on it.
TEST(SiteSteps, NoPartPassesOnAnEmptyImage) {
    for (auto worker : {SiteProgramThread, SiteVerifyThread}) {
        SimulatedBurn bench;
        bench.populate({0, 2});
        bench.run(worker, {});
        EXPECT_EQ(bench.counters(), (Counters{2, 0, 2}));
        EXPECT_EQ(bench.services.tones(), kFailTones);
    }
}

// Faults on one of two sites. A failed read is retried after a classic reconnect (0x00, though
// this firmware connects with 0x3D): twice in the burn, once in verify, the image's last,
// partial block as any other. A site that cannot be selected is left alone rather than worked
// on through the last selection; a site that cannot be prepared was never compared and fails.
TEST(SiteSteps, HandlesFaultsOfOneSite) {
    constexpr uint32_t kFlash = 0x10000000;
    auto image = PatternImage(4010);  // the last block holds 10 bytes of the image
    image[0x805] |= 0x04;  // the stuck bits below hold these clear
    image[0xFA9] |= 0x01;
    enum Fault { ReadFails, ReadFailsTwice, LastReadFails, SelectFails, PrepareFails, Stuck, LastBlockStuck };
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        Fault fault;
        Counters counted;
        size_t classicConnects;
        std::vector<std::string> failures;
    };
    const std::string site2Failure = "Verified Failure on 0x10000800 at site 2!!!";
    const std::vector<Case> cases = {
        {"burn, read fails once", SiteProgramThread, ReadFails, {2, 2, 0}, 1, {}},
        {"burn, stuck bit", SiteProgramThread, Stuck, {2, 1, 1}, 2, {site2Failure}},
        {"burn, select fails", SiteProgramThread, SelectFails, {1, 1, 0}, 0, {}},
        {"verify, read fails once", SiteVerifyThread, ReadFails, {2, 2, 0}, 5, {}},
        {"verify, read fails twice", SiteVerifyThread, ReadFailsTwice, {2, 1, 1}, 5,
         {"Verified Failure on 0x10000000 at site 1!!!"}},
        {"verify, stuck bit", SiteVerifyThread, Stuck, {2, 1, 1}, 5, {site2Failure}},
        {"verify, last block's read fails once", SiteVerifyThread, LastReadFails, {2, 2, 0}, 5, {}},
        {"verify, last block differs", SiteVerifyThread, LastBlockStuck, {2, 1, 1}, 5,
         {"Verified Failure on 0x10000fa0 at site 2!!!"}},
        {"verify, select fails", SiteVerifyThread, SelectFails, {1, 1, 0}, 3, {}},
        {"verify, prepare fails", SiteVerifyThread, PrepareFails, {2, 1, 1}, 4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto prepare = [&](SimulatedBurn& b) {
            b.populate({0, 1});
            for (int site : {0, 1}) b.preload(site, image);
        };
        int failGet = 0, failSet = 0;
        {
            SimulatedBurn clean;
            prepare(clean);
            clean.run(c.worker, image);
            using Kind = sim::Exchange::Kind;
            const auto& a = clean.adapter;
            if (c.fault == ReadFails || c.fault == ReadFailsTwice) failGet = FirstExchangeOf(a, Kind::Get, 0x0B, kFlash);
            if (c.fault == LastReadFails) failGet = FirstExchangeOf(a, Kind::Get, 0x0B, kFlash + 0xFA0);
            if (c.fault == SelectFails) failSet = FirstExchangeOf(a, Kind::Set, 0x3A, 1);
            if (c.fault == PrepareFails) failSet = FirstExchangeOf(a, Kind::Set, 0x03);
        }
        SimulatedBurn bench;
        prepare(bench);
        if (failGet) bench.adapter.failGetAt(failGet);
        if (c.fault == ReadFailsTwice) bench.adapter.failGetAt(failGet + 2);  // a connect's get in between
        if (failSet) bench.adapter.failSetAt(failSet);
        if (c.fault == Stuck) bench.adapter.site(1).stickBits(kFlash + 0x805, 0x04, 0x00);
        if (c.fault == LastBlockStuck) bench.adapter.site(1).stickBits(kFlash + 0xFA9, 0x01, 0x00);
        bench.run(c.worker, image);
        EXPECT_EQ(bench.counters(), c.counted);
        const auto commands = bench.adapter.sentCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x00), c.classicConnects);
        EXPECT_EQ(bench.page.logLinesWith("Verified Failure"), c.failures);
        EXPECT_EQ(bench.services.tones(), c.counted.fail || c.counted.total < 2 ? kFailTones : kPassTones);
    }
}

// The bar's range stays below 255 and its end is reached with the last site.
TEST(SiteVerify, ProgressReachesItsEndWithTheLastSite) {
    for (size_t size : {100u, 2048u, 40000u, 65536u}) {
        SCOPED_TRACE(size);
        SimulatedBurn bench;
        const auto image = PatternImage(size);
        for (int site = 0; site < 4; ++site) bench.preload(site, image);
        bench.run(SiteVerifyThread, image);

        const int upper = bench.page.ranges.back().second;
        EXPECT_TRUE(upper > 0 && upper < 255) << upper;
        EXPECT_EQ(bench.page.positions[bench.page.positions.size() - 2], upper);  // before the reset to 0
        EXPECT_TRUE(std::is_sorted(bench.page.positions.begin() + 2, bench.page.positions.end() - 1));
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
    }
}

}  // namespace
