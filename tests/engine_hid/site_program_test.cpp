#include <gtest/gtest.h>

#include <optional>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "platform/strfmt.h"
#include "support/simulated_burn.h"

namespace {

using Tone = RecordingServices::Tone;
using Tones = std::vector<Tone>;
const Tones kPassTones = {{784, 900}};
const Tones kFailTones = {{800, 100}, {800, 100}};
constexpr uint32_t kFlash = 0x10000000;

// Whole 2048-byte pages (64 loads of 32 bytes each), the last one padded with 0xFF. Every byte
// of the last page is read back, its 0xFF tail included: site 2's stuck last bit fails it.
TEST(SiteProgram, ProgramsAndVerifiesWholePagesPaddedWithFF) {
    struct Case { size_t size, pages; int progressEnd; };
    for (const auto& c : {Case{2048, 1, 4}, Case{2049, 2, 4}, Case{1, 1, 2}}) {
        SCOPED_TRACE(c.size);
        SimulatedBurn bench;
        bench.populate({0, 1});
        bench.adapter.site(1).stickBits(kFlash + 2048 * c.pages - 1, 0x01, 0x00);
        const auto image = PatternImage(c.size);
        bench.run(SiteProgramThread, image);

        EXPECT_EQ(CountSets(bench.adapter, 0x2B), 2 * c.pages);
        EXPECT_EQ(CountSets(bench.adapter, 0x29), 2 * 64 * c.pages);
        auto pages = image;
        pages.resize(2048 * c.pages, 0xFF);
        EXPECT_EQ(bench.adapter.site(0).read(kFlash, pages.size()), pages);
        EXPECT_EQ(bench.page.ranges, (std::vector<std::pair<int, int>>{{0, c.progressEnd}}));
        EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
        EXPECT_EQ(bench.page.logLinesWith("Verified Failure"),
                  std::vector<std::string>{strfmt("Verified Failure on 0x%x at site 2!!!", static_cast<unsigned>(kFlash + 2048 * c.pages - 32))});
    }
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
}

// Serial numbers in main flash go into each part's image (advancing with auto-increase), or,
// past the image's pages, are written on their own after the verify (into every found part);
// in the information area they advance once per part that passed. Either word is read back,
// and a part that does not hold it fails with the word's address, its number used up. An
// address outside its area is not written and does not advance the number.
TEST(SiteProgram, WritesSerialNumbers) {
    struct Stuck { uint32_t address; uint8_t mask, value; };
    struct Case {
        const char* name;
        uint32_t location, address, autoInc;
        size_t imageSize;
        std::optional<Stuck> site2Stuck;
        std::vector<uint32_t> words;  // at the serial's address on sites 1 to 3
        uint32_t last;
        size_t pages;
        std::string failure;  // the logged failure of site 2
    };
    const std::vector<Case> cases = {
        {"image, auto-increase", 0, 0x40, 1, 128, {}, {5000, 5001, 5002}, 5003, 1, ""},
        {"image, fixed", 0, 0x40, 0, 128, {}, {5000, 5000, 5000}, 5000, 1, ""},
        {"in the last page's tail", 0, 0x7FC, 1, 128, {}, {5000, 5001, 5002}, 5003, 1, ""},
        {"past a 3000-byte image, as configured by default", 0, 0x8000, 1, 3000, {}, {5000, 5001, 5002}, 5003, 2, ""},
        {"past the image, word stuck", 0, 0x1FFE, 1, 128, Stuck{kFlash + 0x1FFE, 0x80, 0x00}, {5000, 5001 & ~0x80u, 5002},
         5003, 1, "SN Verified Failure on 0x10001ffe at site 2!!!"},
        {"information area, part failed", 1, 0x10, 0, 128, Stuck{kFlash + 0x10, 0x80, 0x80}, {5000, 0xFFFFFFFF, 5001},
         5002, 1, "Verified Failure on 0x10000000 at site 2!!!"},
        {"information area, word stuck", 1, 0x10, 0, 128, Stuck{0x1FF00610, 0x80, 0x00}, {5000, 5001 & ~0x80u, 5002},
         5003, 1, "SN Verified Failure on 0x1ff00610 at site 2!!!"},
        {"outside main flash", 0, 0xFFFE, 1, 128, {}, {}, 5000, 1, ""},
        {"outside the information window", 1, 0x1FE, 1, 128, {}, {}, 5000, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0, 1, 2});
        if (c.site2Stuck) bench.adapter.site(1).stickBits(c.site2Stuck->address, c.site2Stuck->mask, c.site2Stuck->value);
        bench.numberSerials(c.location, c.address, 5000, c.autoInc);
        bench.run(SiteProgramThread, PatternImage(c.imageSize));

        for (size_t site = 0; site < c.words.size(); ++site) {
            EXPECT_EQ(bench.adapter.site(site).word((c.location ? 0x1FF00600 : kFlash) + c.address), c.words[site]);
        }
        const uint32_t failed = c.failure.empty() ? 0 : 1;
        EXPECT_EQ(bench.counters(), (Counters{3, 3 - failed, failed}));
        EXPECT_EQ(bench.page.logLinesWith("Verified Failure"),
                  c.failure.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.failure});
        EXPECT_EQ(g_nLastSerial, c.last);
        if (c.last != 5000) {
            EXPECT_EQ(bench.page.texts[1012], "S/N Last : " + std::to_string(c.last));
            EXPECT_EQ(RegLoadLastSn(), c.last);
        }
        EXPECT_EQ(CountSets(bench.adapter, 0x2B), 3 * c.pages);
        if (c.words.empty()) {
            EXPECT_EQ(CountSets(bench.adapter, 0x06), 0u);
            EXPECT_EQ(bench.page.logLinesWith("out of range").size(), 3u);
        }
    }
}

// The same part burnt twice with its serial number in the information area: the second number
// cannot be programmed over the first, so the part fails with the word's address, unless the
// area holds the new number. Never a pass with a wrong word; each number is issued once.
TEST(SiteProgram, ASecondSerialNumberInTheInformationAreaIsNeverPassedWrong) {
    SimulatedBurn bench;
    bench.populate({0});
    bench.numberSerials(1, 0x20, 0x00010001, 0);
    const auto image = PatternImage(3000);
    bench.run(SiteProgramThread, image);
    ASSERT_EQ(bench.counters(), (Counters{1, 1, 0}));
    g_bTaskWorking = true;
    bench.run(SiteProgramThread, image);

    const uint32_t word = bench.adapter.site(0).word(0x1FF00620);
    EXPECT_EQ(bench.counters(), (Counters{2, 1, 1})) << std::hex << word;
    EXPECT_EQ(bench.page.logLinesWith("SN Verified Failure"),
              std::vector<std::string>{"SN Verified Failure on 0x1ff00620 at site 1!!!"});
    EXPECT_EQ(g_nLastSerial, 0x00010003u);
}

// A run that stops before the sites (or finds no target) counts nothing, erases and writes
// nothing, powers every site off and saves the counters unchanged.
TEST(SiteProgram, EarlyStopCountsNothing) {
    struct Case { const char* name; size_t size; bool missingFile, targets; std::string message; };
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
        for (uint8_t command : {0x26, 0x27, 0x29, 0x2B, 0x06}) EXPECT_EQ(CountSets(bench.adapter, command), 0u);
        EXPECT_FALSE(bench.adapter.site(0).powered() || bench.adapter.site(3).powered());
        EXPECT_EQ(bench.services.tones(), kFailTones);
    }
}

}  // namespace
