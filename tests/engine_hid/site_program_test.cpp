#include <gtest/gtest.h>

#include <algorithm>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "support/recording_page.h"
#include "support/simulated_burn.h"

namespace {

using Tone = RecordingServices::Tone;
constexpr Tone kPassTone{784, 900};
constexpr Tone kFailTone{800, 100};

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

std::vector<uint8_t> Repeat(std::initializer_list<uint8_t> commands, int times) {
    std::vector<uint8_t> all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), commands);
    return all;
}

// The whole command sequence of a one-site burn of a 64-byte image, by adapter firmware.
TEST(SiteProgram, SendsTheCommandsOfTheAdapterFirmware) {
    for (const char* version : {"V006", "V007", "V010"}) {
        SCOPED_TRACE(version);
        SimulatedBurn bench;
        bench.adapter.setFirmwareVersion(version);
        bench.populate({0});
        RecordingPage page;
        Burn(bench, page, PatternImage(64));

        const bool older = std::string(version) == "V006";
        const uint8_t connect = older ? 0x00 : 0x3D;
        std::vector<uint8_t> expected = {0x0E, 0x0F, 0x3A, 0x39, connect};
        if (older) expected.push_back(0x03);
        auto append = [&](std::vector<uint8_t> more) { expected.insert(expected.end(), more.begin(), more.end()); };
        append({0x0B});
        append(Repeat({0x07}, 8));
        append({0x0B, 0x0B, 0x0B});
        if (older) append({0x26, 0x26});
        append({0x27, 0x27});
        append(Repeat({0x29}, 64));
        append({0x2B, 0x0B, 0x0B});
        append(Repeat({0x3A, 0x39, connect}, 3));
        append(Repeat({0x3A, 0x39}, 4));
        EXPECT_EQ(bench.adapter.sentCommands(), expected);

        for (const auto& erase : ReportsOf(bench.adapter, 0x26)) EXPECT_EQ(Arg(erase), 0x10000000u);
        const auto selects = ReportsOf(bench.adapter, 0x3A);
        const auto powers = ReportsOf(bench.adapter, 0x39);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Arg(selects[4 + i]), static_cast<uint32_t>(3 - i));  // powered off from site 4 down
            EXPECT_EQ(Arg(powers[4 + i]), 0u);
        }
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
        EXPECT_EQ(page.log.front(), std::string("Firmware Version : ") + version);
    }
}

TEST(SiteProgram, ProgramsOnePagePerStartedPageWithFFPadding) {
    for (auto [size, pages] : {std::pair<size_t, size_t>{2048, 1}, {2049, 2}, {1, 1}}) {
        SCOPED_TRACE(size);
        SimulatedBurn bench;
        bench.populate({0});
        RecordingPage page;
        const auto image = PatternImage(size);
        Burn(bench, page, image);

        const auto commits = ReportsOf(bench.adapter, 0x2B);
        ASSERT_EQ(commits.size(), pages);
        for (size_t p = 0; p < pages; ++p) EXPECT_EQ(Arg(commits[p]), 0x10000000u + 2048 * p);
        // What the adapter's page buffer received for the last page.
        const auto loads = ReportsOf(bench.adapter, 0x29);
        ASSERT_EQ(loads.size(), 64 * pages);
        std::vector<uint8_t> lastPage;
        for (size_t r = 64 * (pages - 1); r < loads.size(); ++r) {
            EXPECT_EQ(Arg(loads[r]), 32 * (r % 64));
            lastPage.insert(lastPage.end(), loads[r].begin() + 8, loads[r].begin() + 40);
        }
        std::vector<uint8_t> expected(image.begin() + 2048 * (pages - 1), image.end());
        expected.resize(2048, 0xFF);
        EXPECT_EQ(lastPage, expected);
        EXPECT_EQ(bench.adapter.site(0).read(0x10000000, size), image);
        EXPECT_EQ(page.ranges.back(), (std::pair{0, static_cast<int>(size / 2048) * 2 + 2}));
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// The bar counts programmed pages, then whole pages verified (64 blocks each), per site.
TEST(SiteProgram, MovesTheProgressBarByPages) {
    SimulatedBurn bench;
    bench.populate({1});
    RecordingPage page;
    Burn(bench, page, PatternImage(4096));

    EXPECT_EQ(page.ranges, (std::vector<std::pair<int, int>>{{0, 6}}));
    std::vector<int> expected = {0, 0};  // the run's start, the range set
    expected.push_back(0);               // site 1, no target
    expected.insert(expected.end(), {0, 0, 1});  // site 2: its start, then two pages
    expected.insert(expected.end(), 64, 2);      // the first page's 64 blocks verified
    expected.insert(expected.end(), 64, 3);
    expected.insert(expected.end(), {0, 0, 0});  // sites 3 and 4, the run's end
    EXPECT_EQ(page.positions, expected);
}

TEST(SiteProgram, VerifiesOnlyTheImageBytesOfTheLastBlock) {
    SimulatedBurn bench;
    bench.populate({0, 1});
    bench.adapter.site(0).stickBits(0x10000000 + 100, 0x01, 0x00);  // past the image: not compared
    bench.adapter.site(1).stickBits(0x10000000 + 99, 0x01, 0x00);   // its last byte
    RecordingPage page;
    const auto image = std::vector<uint8_t>(100, 0xA5);
    Burn(bench, page, image);

    std::vector<uint32_t> reads;
    for (const auto& report : ReportsOf(bench.adapter, 0x0B)) {
        if (Arg(report) >> 16 == 0x1000) reads.push_back(Arg(report));
    }
    // Four blocks per site, the partial last block read once without a retry.
    const std::vector<uint32_t> blocks = {0x10000000, 0x10000020, 0x10000040, 0x10000060};
    std::vector<uint32_t> expected = blocks;
    expected.insert(expected.end(), blocks.begin(), blocks.end());
    EXPECT_EQ(reads, expected);
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
    EXPECT_EQ(page.icons[1103], 150);
    EXPECT_EQ(page.icons[1104], 151);
    EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{kFailTone, kFailTone}));
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
    EXPECT_EQ(page.texts[1118], "12");
    EXPECT_EQ(page.texts[1119], "11");
    EXPECT_EQ(page.texts[1120], "1");
    EXPECT_EQ(page.texts[1121], "91.67%");
    EXPECT_EQ(page.icons, (std::map<int, int>{{1103, 150}, {1104, 152}, {1105, 150}, {1106, 152},
                                              {1107, 153}, {1108, 156}, {1109, 159}, {1110, 158},
                                              {1114, 168}}));
    EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{kPassTone}));
    EXPECT_TRUE(page.shown[1143] && page.shown[1144] && page.shown[1138]);
    EXPECT_FALSE(page.shown[1008]);
    EXPECT_TRUE(page.enabled[1002]);
    EXPECT_FALSE(page.enabled[1006]);
    for (int site = 0; site < 4; ++site) EXPECT_FALSE(bench.adapter.site(site).powered());
}

// Serial numbers in main flash: each part gets its own number when auto-increase is on.
TEST(SiteProgram, WritesSerialNumbersIntoTheImage) {
    for (uint32_t autoInc : {1u, 0u}) {
        SCOPED_TRACE(autoInc);
        SimulatedBurn bench;
        bench.populate({0, 1, 3});
        g_bSerialEnable = 1;
        g_dwSerialAddr = 0x40;
        g_bSerialAutoInc = autoInc;
        g_nLastSerial = 5000;
        RecordingPage page;
        Burn(bench, page, PatternImage(256));

        const std::vector<std::pair<int, uint32_t>> parts = {{0, 5000}, {1, 5000 + autoInc}, {3, 5000 + 2 * autoInc}};
        for (auto [site, serial] : parts) EXPECT_EQ(bench.adapter.site(site).word(0x10000040), serial);
        EXPECT_EQ(g_nLastSerial, 5000 + 3 * autoInc);
        if (autoInc) {
            EXPECT_EQ(RegLoadLastSn(), 5003u);
            EXPECT_EQ(page.texts[1012], "S/N Last : 5003");
        }
        EXPECT_EQ(page.logLinesWith("program SN = ").size(), 3u);
        EXPECT_EQ(bench.counters(), (Counters{3, 3, 0}));
    }
}

// A serial number past the image's last page still reaches the part, and is read back.
TEST(SiteProgram, ProgramsThePagesThatHoldASerialBeyondTheImage) {
    SimulatedBurn bench;
    bench.populate({0});
    g_bSerialEnable = 1;
    g_dwSerialAddr = 0x1FFE;  // straddles pages 3 and 4 (of 2 KB)
    g_bSerialAutoInc = 1;
    g_nLastSerial = 0x01020304;
    RecordingPage page;
    const auto image = PatternImage(100);
    Burn(bench, page, image);

    EXPECT_EQ(ReportsOf(bench.adapter, 0x2B).size(), 5u);
    EXPECT_EQ(bench.adapter.site(0).read(0x10001FFE, 4), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(bench.adapter.site(0).read(0x10000000, 100), image);
    EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    EXPECT_EQ(g_nLastSerial, 0x01020305u);
}

TEST(SiteProgram, LeavesASerialAddressOutsideTheAreaUnwritten) {
    for (auto [location, address] : {std::pair<uint32_t, uint32_t>{0, 0xFFFE}, {1, 0x1FE}}) {
        SCOPED_TRACE(location);
        SimulatedBurn bench;
        bench.populate({0});
        g_bSerialEnable = 1;
        g_nSerialLocation = location;
        g_dwSerialAddr = address;
        g_bSerialAutoInc = 1;
        g_nLastSerial = 77;
        RecordingPage page;
        Burn(bench, page, PatternImage(64));

        EXPECT_EQ(g_nLastSerial, 77u);
        EXPECT_EQ(ReportsOf(bench.adapter, 0x06).size(), 0u);
        EXPECT_EQ(ReportsOf(bench.adapter, 0x2B).size(), 1u);
        EXPECT_EQ(page.logLinesWith("out of range").size(), 1u);
    }
}

// In the information area the number advances once per part that passed, auto-increase or not.
TEST(SiteProgram, WritesSerialNumbersIntoTheInformationAreaOfPassingParts) {
    SimulatedBurn bench;
    bench.populate({0, 1, 2});
    bench.adapter.site(1).stickBits(0x10000010, 0x80, 0x80);
    g_bSerialEnable = 1;
    g_nSerialLocation = 1;
    g_dwSerialAddr = 0x10;
    g_bSerialAutoInc = 0;
    g_nLastSerial = 41;
    RecordingPage page;
    Burn(bench, page, PatternImage(128));

    EXPECT_EQ(bench.adapter.site(0).word(0x1FF00610), 41u);
    EXPECT_EQ(bench.adapter.site(1).word(0x1FF00610), 0xFFFFFFFFu);
    EXPECT_EQ(bench.adapter.site(2).word(0x1FF00610), 42u);
    EXPECT_EQ(g_nLastSerial, 43u);
    EXPECT_EQ(RegLoadLastSn(), 43u);
    EXPECT_EQ(page.texts[1012], "S/N Last : 43");
    EXPECT_EQ(bench.counters(), (Counters{3, 2, 1}));
    EXPECT_EQ(page.logLinesWith("Verified Failure on 0x10000000 at site 2!!!").size(), 1u);
}

// A run that stops before the sites counts nothing, still powers every site off and saves the
// counters unchanged.
TEST(SiteProgram, EarlyStopCountsNothing) {
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        bool missingFile;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing file", PatternImage(16), true, "could not be opened!!!"},
        {"too large", PatternImage(0x10001), false, "Code size exceed the max. size of flash!!!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        g_nTotalCount = 4;
        g_nPassCount = 4;
        RecordingPage page;
        page.image = c.missingFile ? bench.folder.filePath("none.bin").toStdString() : bench.writeImage(c.image);
        SiteProgramThread(page);

        EXPECT_FALSE(g_bTaskWorking);
        ASSERT_EQ(page.messages.size(), 1u);
        EXPECT_NE(page.messages[0].text.find(c.message), std::string::npos);
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
        EXPECT_EQ(bench.storedCounters(), (Counters{4, 4, 0}));
        EXPECT_EQ(bench.adapter.sentCommands(), Repeat({0x3A, 0x39}, 4));
        EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{kFailTone, kFailTone}));
    }
}

TEST(SiteProgram, ReportsWhenNoSiteHoldsATarget) {
    SimulatedBurn bench;
    bench.populate({});
    RecordingPage page;
    Burn(bench, page, PatternImage(64));

    ASSERT_EQ(page.messages.size(), 1u);
    EXPECT_EQ(page.messages[0].text, "No Target IC found!");
    EXPECT_EQ(bench.counters(), (Counters{0, 0, 0}));
    EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{kFailTone, kFailTone}));
}

// A read that fails during verification is retried after a reconnect; a part is never counted
// Pass without a good read-back.
TEST(SiteProgram, RetriesAFailedVerifyRead) {
    SimulatedBurn probe;
    probe.populate({0});
    RecordingPage probePage;
    Burn(probe, probePage, PatternImage(64));
    int firstVerifyGet = 0;  // the get that answers the first read at 0x10000000
    {
        int gets = 0;
        bool verifyRead = false;
        for (const auto& e : probe.adapter.exchanges()) {
            if (e.kind == sim::Exchange::Kind::Set) {
                verifyRead = e.report[3] == 0x0B && Arg(e.report) == 0x10000000;
            } else if (++gets, verifyRead) {
                firstVerifyGet = gets;
                break;
            }
        }
    }
    ASSERT_GT(firstVerifyGet, 0);

    SimulatedBurn bench;
    bench.populate({0});
    bench.adapter.failGetAt(firstVerifyGet);
    RecordingPage page;
    Burn(bench, page, PatternImage(64));
    EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    EXPECT_EQ(bench.services.tones(), (std::vector<Tone>{kPassTone}));
}

// Stuck bits fail the part after two reconnects, with the address in the log.
TEST(SiteProgram, FailsAPartWhoseFlashKeepsAWrongBit) {
    SimulatedBurn bench;
    bench.populate({2});
    bench.adapter.site(2).stickBits(0x10000805, 0x04, 0x00);
    RecordingPage page;
    auto image = PatternImage(4096);
    image[0x805] |= 0x04;
    Burn(bench, page, image);

    EXPECT_EQ(bench.counters(), (Counters{1, 0, 1}));
    EXPECT_EQ(page.icons[1105], 151);
    EXPECT_EQ(page.logLinesWith("Verified Failure on 0x10000800 at site 3!!!").size(), 1u);
    // Each read of the bad block is preceded, after the first, by a connect.
    int badReads = 0;
    for (const auto& report : ReportsOf(bench.adapter, 0x0B)) badReads += Arg(report) == 0x10000800;
    EXPECT_EQ(badReads, 3);
    // The retries reconnect with the classic connect even on firmware that first connected
    // with the newer one.
    EXPECT_EQ(ReportsOf(bench.adapter, 0x3D).size(), 4u);  // one per site
    EXPECT_EQ(ReportsOf(bench.adapter, 0x00).size(), 2u);
}

}  // namespace
