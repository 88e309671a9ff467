#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

using Tone = RecordingServices::Tone;
using Tones = std::vector<Tone>;
const Tones kPassTones = {{784, 900}};
const Tones kFailTones = {{800, 100}, {800, 100}};
constexpr uint32_t kFlash = 0x10000000;

uint32_t Arg(const std::vector<uint8_t>& report) {
    return report[4] | report[5] << 8 | report[6] << 16 | static_cast<uint32_t>(report[7]) << 24;
}

std::vector<std::vector<uint8_t>> ReportsOf(const sim::Adapter& adapter, uint8_t command) {
    std::vector<std::vector<uint8_t>> reports;
    for (const auto& report : adapter.sentReports()) {
        if (report[3] == command) reports.push_back(report);
    }
    return reports;
}

void Burn(SimulatedBurn& bench, RecordingPage& page, const std::vector<uint8_t>& image) {
    page.image = bench.writeImage(image);
    SiteProgramThread(page);
    EXPECT_FALSE(g_bTaskWorking);
}

// The whole command sequence of a one-site burn of a 64-byte image: firmware V006 connects
// with 0x00, prepares (0x03) and erases by address (0x26); later firmware connects with 0x3D.
TEST(SiteProgram, SendsTheCommandsOfTheAdapterFirmware) {
    for (const std::string version : {"V006", "V007", "V010"}) {
        SCOPED_TRACE(version);
        SimulatedBurn bench;
        bench.adapter.setFirmwareVersion(version);
        bench.populate({0});
        RecordingPage page;
        Burn(bench, page, PatternImage(64));

        const bool older = version == "V006";
        const uint8_t connect = older ? 0x00 : 0x3D;
        std::vector<uint8_t> expected = {0x0E, 0x0F, 0x3A, 0x39, connect};
        const auto append = [&](std::initializer_list<uint8_t> commands, int times = 1) {
            for (int i = 0; i < times; ++i) expected.insert(expected.end(), commands);
        };
        if (older) append({0x03});
        append({0x0B});
        append({0x07}, 8);
        append({0x0B, 0x0B, 0x0B});
        if (older) append({0x26, 0x26});
        append({0x27, 0x27});
        append({0x29}, 64);
        append({0x2B, 0x0B, 0x0B});
        append({0x3A, 0x39, connect}, 3);
        append({0x3A, 0x39}, 4);
        EXPECT_EQ(bench.adapter.sentCommands(), expected);
        for (const auto& erase : ReportsOf(bench.adapter, 0x26)) EXPECT_EQ(Arg(erase), kFlash);
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// Whole 2048-byte pages, loaded 32 bytes a report, the last one padded with 0xFF.
TEST(SiteProgram, ProgramsWholePagesPaddedWithFF) {
    struct Case {
        size_t size, pages;
        int progressEnd;
    };
    for (const auto& c : {Case{2048, 1, 4}, Case{2049, 2, 4}, Case{1, 1, 2}}) {
        SCOPED_TRACE(c.size);
        SimulatedBurn bench;
        bench.populate({0});
        RecordingPage page;
        const auto image = PatternImage(c.size);
        Burn(bench, page, image);

        const auto commits = ReportsOf(bench.adapter, 0x2B);
        ASSERT_EQ(commits.size(), c.pages);
        EXPECT_EQ(Arg(commits.back()), kFlash + 2048 * (c.pages - 1));
        const auto loads = ReportsOf(bench.adapter, 0x29);
        ASSERT_EQ(loads.size(), 64 * c.pages);
        std::vector<uint8_t> lastPage;
        for (size_t r = loads.size() - 64; r < loads.size(); ++r) {
            EXPECT_EQ(Arg(loads[r]), 32 * (r % 64));
            lastPage.insert(lastPage.end(), loads[r].begin() + 8, loads[r].begin() + 40);
        }
        std::vector<uint8_t> expected(image.begin() + 2048 * (c.pages - 1), image.end());
        expected.resize(2048, 0xFF);
        EXPECT_EQ(lastPage, expected);
        EXPECT_EQ(bench.adapter.site(0).read(kFlash, c.size), image);
        EXPECT_EQ(page.ranges, (std::vector<std::pair<int, int>>{{0, c.progressEnd}}));
    }
}

// The bar counts programmed pages, then pages verified (64 blocks each), per site.
TEST(SiteProgram, MovesTheProgressBarByPages) {
    SimulatedBurn bench;
    bench.populate({1});
    RecordingPage page;
    Burn(bench, page, PatternImage(4096));

    // The run's start and range, site 1 without a target, site 2's start and its two pages.
    std::vector<int> expected = {0, 0, 0, 0, 0, 1};
    expected.insert(expected.end(), 64, 2);
    expected.insert(expected.end(), 64, 3);
    expected.insert(expected.end(), {0, 0, 0});  // sites 3 and 4, the run's end
    EXPECT_EQ(page.positions, expected);
}

// A 100-byte image is read back in four blocks; bytes past the image are not compared.
TEST(SiteProgram, VerifiesOnlyTheImageBytesOfTheLastBlock) {
    SimulatedBurn bench;
    bench.populate({0, 1});
    bench.adapter.site(0).stickBits(kFlash + 100, 0x01, 0x00);
    bench.adapter.site(1).stickBits(kFlash + 99, 0x01, 0x00);
    RecordingPage page;
    Burn(bench, page, std::vector<uint8_t>(100, 0xA5));

    std::vector<uint32_t> reads;
    for (const auto& report : ReportsOf(bench.adapter, 0x0B)) {
        if (Arg(report) >> 16 == 0x1000) reads.push_back(Arg(report));
    }
    const std::vector<uint32_t> blocks = {kFlash, kFlash + 0x20, kFlash + 0x40, kFlash + 0x60};
    EXPECT_EQ(reads, (std::vector<uint32_t>{blocks[0], blocks[1], blocks[2], blocks[3], blocks[0], blocks[1],
                                            blocks[2], blocks[3]}));
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
}

TEST(SiteProgram, CountsFoundSitesOnlyAndSavesTheCounters) {
    SimulatedBurn bench;
    g_nTotalCount = 10;
    g_nPassCount = 9;
    g_nFailCount = 1;
    bench.populate({0, 2});
    RecordingPage page;
    Burn(bench, page, PatternImage(300));

    EXPECT_EQ(bench.counters(), (Counters{12, 11, 1}));
    EXPECT_EQ(bench.storedCounters(), (Counters{12, 11, 1}));
    EXPECT_EQ(page.texts, (std::map<int, std::string>{{1118, "12"}, {1119, "11"}, {1120, "1"}, {1121, "91.67%"}}));
    EXPECT_EQ(page.icons, (std::map<int, int>{{1103, 150}, {1104, 152}, {1105, 150}, {1106, 152},
                                              {1107, 153}, {1108, 156}, {1109, 159}, {1110, 158},
                                              {1114, 168}}));
    EXPECT_EQ(bench.services.tones(), kPassTones);
    EXPECT_TRUE(page.enabled[1002] && !page.enabled[1006]);
    for (int site = 0; site < 4; ++site) EXPECT_FALSE(bench.adapter.site(site).powered());
}

// Serial numbers in main flash go into each part's image (advancing with auto-increase), also
// past the image's last page; in the information area they advance once per part that passed.
// An address outside its area is not written and does not advance the number.
TEST(SiteProgram, WritesSerialNumbers) {
    struct Case {
        const char* name;
        uint32_t location, address, autoInc;
        std::vector<uint32_t> serials;  // on sites 1 to 3 (site 2 fails verification when marked 0)
        uint32_t last;
        size_t pages;
    };
    constexpr uint32_t kFailed = 0;
    const std::vector<Case> cases = {
        {"image, auto-increase", 0, 0x40, 1, {5000, 5001, 5002}, 5003, 1},
        {"image, fixed", 0, 0x40, 0, {5000, 5000, 5000}, 5000, 1},
        {"beyond the image", 0, 0x1FFE, 1, {5000, 5001, 5002}, 5003, 5},
        {"information area", 1, 0x10, 0, {5000, kFailed, 5001}, 5002, 1},
        {"outside main flash", 0, 0xFFFE, 1, {}, 5000, 1},
        {"outside the information window", 1, 0x1FE, 1, {}, 5000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0, 1, 2});
        if (c.serials.size() == 3 && c.serials[1] == kFailed) bench.adapter.site(1).stickBits(kFlash + 0x10, 0x80, 0x80);
        g_bSerialEnable = 1;
        g_nSerialLocation = c.location;
        g_dwSerialAddr = c.address;
        g_bSerialAutoInc = c.autoInc;
        g_nLastSerial = 5000;
        RecordingPage page;
        Burn(bench, page, PatternImage(128));

        const uint32_t at = (c.location ? 0x1FF00600 : kFlash) + c.address;
        const uint32_t failed = std::count(c.serials.begin(), c.serials.end(), kFailed);
        for (size_t site = 0; site < c.serials.size(); ++site) {
            EXPECT_EQ(bench.adapter.site(site).word(at), c.serials[site] == kFailed ? 0xFFFFFFFF : c.serials[site]);
        }
        EXPECT_EQ(bench.counters(), (Counters{3, 3 - failed, failed}));
        EXPECT_EQ(g_nLastSerial, c.last);
        if (c.last != 5000) {
            EXPECT_EQ(page.texts[1012], "S/N Last : " + std::to_string(c.last));
            EXPECT_EQ(RegLoadLastSn(), c.last);
        }
        EXPECT_EQ(ReportsOf(bench.adapter, 0x2B).size(), 3 * c.pages);
        if (c.serials.empty()) {
            EXPECT_EQ(ReportsOf(bench.adapter, 0x06).size(), 0u);
            EXPECT_EQ(page.logLinesWith("out of range").size(), 3u);
        }
    }
}

// A run that stops before the sites (or finds no target) counts nothing, erases and writes
// nothing, powers every site off and saves the counters unchanged.
TEST(SiteProgram, EarlyStopCountsNothing) {
    struct Case {
        const char* name;
        size_t size;
        bool missingFile;
        std::vector<int> sites;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing file", 16, true, {0, 1, 2, 3}, "could not be opened!!!"},
        {"too large", 0x10001, false, {0, 1, 2, 3}, "Code size exceed the max. size of flash!!!"},
        {"no target", 64, false, {}, "No Target IC found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate(c.sites);
        g_nTotalCount = g_nPassCount = 4;
        RecordingPage page;
        page.image = c.missingFile ? bench.folder.filePath("none.bin").toStdString() : bench.writeImage(PatternImage(c.size));
        SiteProgramThread(page);

        EXPECT_FALSE(g_bTaskWorking);
        ASSERT_EQ(page.messages.size(), 1u);
        EXPECT_NE(page.messages[0].find(c.message), std::string::npos);
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
        EXPECT_EQ(bench.storedCounters(), (Counters{4, 4, 0}));
        for (uint8_t command : {0x26, 0x27, 0x29, 0x2B, 0x06}) EXPECT_TRUE(ReportsOf(bench.adapter, command).empty());
        for (int site = 0; site < 4; ++site) EXPECT_FALSE(bench.adapter.site(site).powered());
        EXPECT_EQ(bench.services.tones(), kFailTones);
    }
}

// Faults on a two-site burn: a failed verify read is retried after a classic reconnect (0x00,
// though this firmware connects with 0x3D); stuck bits fail the part after two such retries; a
// site that cannot be selected is left alone instead of burning the last selected site again.
TEST(SiteProgram, HandlesFaultsOfOneSite) {
    auto image = PatternImage(4096);
    image[0x805] |= 0x04;
    SimulatedBurn probe;
    probe.populate({0, 1});
    RecordingPage probePage;
    Burn(probe, probePage, image);
    const int firstVerifyRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x0B, kFlash);
    const int selectSite2 = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Set, 0x3A, 1);

    struct Case {
        const char* name;
        std::function<void(sim::Adapter&)> fault;
        Counters counted;
        size_t reconnects;
        std::vector<std::string> failures;
        Tones tones;
    };
    const std::vector<Case> cases = {
        {"read fails once", [&](sim::Adapter& a) { a.failGetAt(firstVerifyRead); }, {2, 2, 0}, 1, {}, kPassTones},
        {"stuck bit", [](sim::Adapter& a) { a.site(1).stickBits(kFlash + 0x805, 0x04, 0x00); }, {2, 1, 1}, 2,
         {"Verified Failure on 0x10000800 at site 2!!!"}, kFailTones},
        {"select fails", [&](sim::Adapter& a) { a.failSetAt(selectSite2); }, {1, 1, 0}, 0, {}, kFailTones},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0, 1});
        c.fault(bench.adapter);
        RecordingPage page;
        Burn(bench, page, image);
        EXPECT_EQ(bench.counters(), c.counted);
        EXPECT_EQ(ReportsOf(bench.adapter, 0x00).size(), c.reconnects);
        EXPECT_EQ(page.logLinesWith("Verified Failure"), c.failures);
        EXPECT_EQ(bench.services.tones(), c.tones);
    }
}

}  // namespace
