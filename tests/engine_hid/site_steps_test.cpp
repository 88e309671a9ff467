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
        g_nLastSerial = 7;
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
    image[0x805] |= 0x04;  // the stuck bit below holds it clear
    image[0xFA9] |= 0x01;
    struct Probe {
        int firstRead, lastRead, selectSite2, prepare;
    };
    const auto prepare = [&](SimulatedBurn& bench) {
        bench.populate({0, 1});
        for (int site : {0, 1}) bench.preload(site, image);
    };
    const auto probe = [&](void (*worker)(WorkerPage&)) {
        SimulatedBurn clean;
        prepare(clean);
        clean.run(worker, image);
        using Kind = sim::Exchange::Kind;
        return Probe{FirstExchangeOf(clean.adapter, Kind::Get, 0x0B, kFlash),
                     FirstExchangeOf(clean.adapter, Kind::Get, 0x0B, kFlash + 0xFA0),
                     FirstExchangeOf(clean.adapter, Kind::Set, 0x3A, 1), FirstExchangeOf(clean.adapter, Kind::Set, 0x03)};
    };
    using Fault = std::function<void(sim::Adapter&, const Probe&)>;
    const auto readFails = [](int times) -> Fault {
        return [times](sim::Adapter& a, const Probe& p) {
            for (int i = 0; i < times; ++i) a.failGetAt(p.firstRead + 2 * i);  // a connect's get in between
        };
    };
    const Fault stuck = [](sim::Adapter& a, const Probe&) { a.site(1).stickBits(kFlash + 0x805, 0x04, 0x00); };
    const Fault lastReadFails = [](sim::Adapter& a, const Probe& p) { a.failGetAt(p.lastRead); };
    const Fault lastBlockStuck = [](sim::Adapter& a, const Probe&) { a.site(1).stickBits(kFlash + 0xFA9, 0x01, 0x00); };
    const Fault selectFails = [](sim::Adapter& a, const Probe& p) { a.failSetAt(p.selectSite2); };
    const Fault prepareFails = [](sim::Adapter& a, const Probe& p) { a.failSetAt(p.prepare); };
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
        {"burn, read fails once", SiteProgramThread, readFails(1), {2, 2, 0}, 1, {}},
        {"burn, stuck bit", SiteProgramThread, stuck, {2, 1, 1}, 2, {site2Failure}},
        {"burn, select fails", SiteProgramThread, selectFails, {1, 1, 0}, 0, {}},
        {"verify, read fails once", SiteVerifyThread, readFails(1), {2, 2, 0}, 5, {}},
        {"verify, read fails twice", SiteVerifyThread, readFails(2), {2, 1, 1}, 5,
         {"Verified Failure on 0x10000000 at site 1!!!"}},
        {"verify, stuck bit", SiteVerifyThread, stuck, {2, 1, 1}, 5, {site2Failure}},
        {"verify, last block's read fails once", SiteVerifyThread, lastReadFails, {2, 2, 0}, 5, {}},
        {"verify, last block differs", SiteVerifyThread, lastBlockStuck, {2, 1, 1}, 5,
         {"Verified Failure on 0x10000fa0 at site 2!!!"}},
        {"verify, select fails", SiteVerifyThread, selectFails, {1, 1, 0}, 3, {}},
        {"verify, prepare fails", SiteVerifyThread, prepareFails, {2, 1, 1}, 4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Probe p = probe(c.worker);
        SimulatedBurn bench;
        prepare(bench);
        c.fault(bench.adapter, p);
        bench.run(c.worker, image);
        EXPECT_EQ(bench.counters(), c.counted);
        const auto commands = bench.adapter.sentCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x00), c.classicConnects);
        EXPECT_EQ(bench.page.logLinesWith("Verified Failure"), c.failures);
        EXPECT_EQ(bench.services.tones(), c.counted.fail || c.counted.total < 2 ? kFailTones : kPassTones);
    }
}

}  // namespace
