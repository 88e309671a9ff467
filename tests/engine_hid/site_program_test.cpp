#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
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

// The whole command sequence of a one-site burn of a 64-byte image: firmware V006 connects
// with 0x00, prepares (0x03) and erases by address (0x26); later firmware connects with 0x3D.
TEST(SiteProgram, SendsTheCommandsOfTheAdapterFirmware) {
    for (const std::string version : {"V006", "V007", "V010"}) {
        SCOPED_TRACE(version);
        SimulatedBurn bench;
        bench.adapter.setFirmwareVersion(version);
        bench.populate({0});
        bench.run(SiteProgramThread, PatternImage(64));

        const bool older = version == "V006";
        const uint8_t connect = older ? 0x00 : 0x3D;
        std::vector<uint8_t> expected = {0x0E, 0x0F, 0x3A, 0x39, connect};
        if (older) expected.push_back(0x03);
        expected.push_back(0x0B);
        expected.insert(expected.end(), 8, 0x07);
        expected.insert(expected.end(), {0x0B, 0x0B, 0x0B});
        if (older) expected.insert(expected.end(), {0x26, 0x26});
        expected.insert(expected.end(), {0x27, 0x27});
        expected.insert(expected.end(), 64, 0x29);
        expected.insert(expected.end(), {0x2B, 0x0B, 0x0B});
        for (int site = 1; site < 4; ++site) expected.insert(expected.end(), {0x3A, 0x39, connect});
        for (int site = 0; site < 4; ++site) expected.insert(expected.end(), {0x3A, 0x39});
        EXPECT_EQ(bench.adapter.sentCommands(), expected);
        for (const auto& erase : ReportsOf(bench.adapter, 0x26)) EXPECT_EQ(Arg(erase), kFlash);
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// Whole 2048-byte pages (64 loads of 32 bytes each), the last one padded with 0xFF.
TEST(SiteProgram, ProgramsWholePagesPaddedWithFF) {
    struct Case {
        size_t size, pages;
        int progressEnd;
    };
    for (const auto& c : {Case{2048, 1, 4}, Case{2049, 2, 4}, Case{1, 1, 2}}) {
        SCOPED_TRACE(c.size);
        SimulatedBurn bench;
        bench.populate({0});
        const auto image = PatternImage(c.size);
        bench.run(SiteProgramThread, image);

        const auto commits = ReportsOf(bench.adapter, 0x2B);
        ASSERT_EQ(commits.size(), c.pages);
        EXPECT_EQ(Arg(commits.back()), kFlash + 2048 * (c.pages - 1));
        EXPECT_EQ(ReportsOf(bench.adapter, 0x29).size(), 64 * c.pages);
        std::vector<uint8_t> lastPage(image.begin() + 2048 * (c.pages - 1), image.end());
        lastPage.resize(2048, 0xFF);
        EXPECT_EQ(bench.adapter.pageBuffer(), lastPage);
        EXPECT_EQ(bench.adapter.site(0).read(kFlash, c.size), image);
        EXPECT_EQ(bench.page.ranges, (std::vector<std::pair<int, int>>{{0, c.progressEnd}}));
    }
}

// A 100-byte image is read back in four blocks; bytes past the image are not compared.
TEST(SiteProgram, VerifiesOnlyTheImageBytesOfTheLastBlock) {
    SimulatedBurn bench;
    bench.populate({0, 1});
    bench.adapter.site(0).stickBits(kFlash + 100, 0x01, 0x00);
    bench.adapter.site(1).stickBits(kFlash + 99, 0x01, 0x00);
    bench.run(SiteProgramThread, std::vector<uint8_t>(100, 0xA5));

    std::vector<uint32_t> reads;
    for (const auto& report : ReportsOf(bench.adapter, 0x0B)) {
        if (Arg(report) >> 16 == 0x1000) reads.push_back(Arg(report));
    }
    EXPECT_EQ(reads, (std::vector<uint32_t>{0x10000000, 0x10000020, 0x10000040, 0x10000060, 0x10000000,
                                            0x10000020, 0x10000040, 0x10000060}));
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
}

TEST(SiteProgram, CountsFoundSitesOnlyAndSavesTheCounters) {
    SimulatedBurn bench;
    bench.startWithCounters({10, 9, 1});
    bench.populate({0, 2});
    bench.run(SiteProgramThread, PatternImage(300));

    EXPECT_EQ(bench.counters(), (Counters{12, 11, 1}));
    EXPECT_EQ(bench.storedCounters(), (Counters{12, 11, 1}));
    EXPECT_EQ(bench.page.texts, (std::map<int, std::string>{{1118, "12"}, {1119, "11"}, {1120, "1"}, {1121, "91.67%"}}));
    EXPECT_EQ(bench.page.icons, (std::map<int, int>{{1103, 150}, {1104, 152}, {1105, 150}, {1106, 152}, {1107, 153},
                                                    {1108, 156}, {1109, 159}, {1110, 158}, {1114, 168}}));
    EXPECT_EQ(bench.services.tones(), kPassTones);
    for (int site = 0; site < 4; ++site) EXPECT_FALSE(bench.adapter.site(site).powered());
}

// Serial numbers in main flash go into each part's image (advancing with auto-increase), also
// past the image's last page; in the information area they advance once per part that passed.
// An address outside its area is not written and does not advance the number.
TEST(SiteProgram, WritesSerialNumbers) {
    struct Case {
        const char* name;
        uint32_t location, address, autoInc;
        bool site2Fails;
        std::vector<uint32_t> words;  // at the serial's address on sites 1 to 3
        uint32_t last;
        size_t pages;
    };
    const std::vector<Case> cases = {
        {"image, auto-increase", 0, 0x40, 1, false, {5000, 5001, 5002}, 5003, 1},
        {"image, fixed", 0, 0x40, 0, false, {5000, 5000, 5000}, 5000, 1},
        {"beyond the image", 0, 0x1FFE, 1, false, {5000, 5001, 5002}, 5003, 5},
        {"information area", 1, 0x10, 0, true, {5000, 0xFFFFFFFF, 5001}, 5002, 1},
        {"outside main flash", 0, 0xFFFE, 1, false, {}, 5000, 1},
        {"outside the information window", 1, 0x1FE, 1, false, {}, 5000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0, 1, 2});
        if (c.site2Fails) bench.adapter.site(1).stickBits(kFlash + 0x10, 0x80, 0x80);
        g_bSerialEnable = 1;
        g_nSerialLocation = c.location;
        g_dwSerialAddr = c.address;
        g_bSerialAutoInc = c.autoInc;
        bench.startWithLastSerial(5000);
        bench.run(SiteProgramThread, PatternImage(128));

        for (size_t site = 0; site < c.words.size(); ++site) {
            EXPECT_EQ(bench.adapter.site(site).word((c.location ? 0x1FF00600 : kFlash) + c.address), c.words[site]);
        }
        EXPECT_EQ(bench.counters(), (Counters{3, 3u - c.site2Fails, c.site2Fails}));
        EXPECT_EQ(g_nLastSerial, c.last);
        if (c.last != 5000) {
            EXPECT_EQ(bench.page.texts[1012], "S/N Last : " + std::to_string(c.last));
            EXPECT_EQ(RegLoadLastSn(), c.last);
        }
        EXPECT_EQ(ReportsOf(bench.adapter, 0x2B).size(), 3 * c.pages);
        if (c.words.empty()) {
            EXPECT_TRUE(ReportsOf(bench.adapter, 0x06).empty());
            EXPECT_EQ(bench.page.logLinesWith("out of range").size(), 3u);
        }
    }
}

// A run that stops before the sites (or finds no target) counts nothing, erases and writes
// nothing, powers every site off and saves the counters unchanged.
TEST(SiteProgram, EarlyStopCountsNothing) {
    struct Case {
        const char* name;
        size_t size;
        bool missingFile, targets;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing file", 16, true, true, "could not be opened!!!"},
        {"too large", 0x10001, false, true, "Code size exceed the max. size of flash!!!"},
        {"no target", 64, false, false, "No Target IC found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        if (!c.targets) bench.populate({});
        bench.startWithCounters({4, 4, 0});
        bench.page.image = c.missingFile ? bench.folder.filePath("none.bin").toStdString() : bench.writeImage(PatternImage(c.size));
        SiteProgramThread(bench.page);

        EXPECT_FALSE(g_bTaskWorking);
        ASSERT_EQ(bench.page.messages.size(), 1u);
        EXPECT_NE(bench.page.messages[0].find(c.message), std::string::npos);
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
        EXPECT_EQ(bench.storedCounters(), (Counters{4, 4, 0}));
        for (uint8_t command : {0x26, 0x27, 0x29, 0x2B, 0x06}) EXPECT_TRUE(ReportsOf(bench.adapter, command).empty());
        EXPECT_FALSE(bench.adapter.site(0).powered() || bench.adapter.site(3).powered());
        EXPECT_EQ(bench.services.tones(), kFailTones);
    }
}

}  // namespace
