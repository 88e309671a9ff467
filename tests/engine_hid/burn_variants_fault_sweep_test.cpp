#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kFlash = 0x10000000;
constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kFirstSerial = 0x00A5A501;

// Main flash of a part that holds image: its last page's tail is the run's fill byte, every
// further byte erased; with the serial word at flash offset serialAt when there is one.
std::vector<uint8_t> WholeFlash(const std::vector<uint8_t>& image, uint8_t fill, std::optional<uint32_t> serialAt = {}) {
    std::vector<uint8_t> flash(0x10000, 0xFF);
    std::fill_n(flash.begin(), (image.size() + 2047) / 2048 * 2048, fill);
    std::copy(image.begin(), image.end(), flash.begin());
    for (uint32_t i = 0; serialAt && i < 4; ++i) flash[*serialAt + i] = static_cast<uint8_t>(kFirstSerial >> (8 * i));
    return flash;
}

void Numbering(uint32_t location, uint32_t address) {
    g_bSerialEnable = g_bSerialAutoInc = 1;
    g_nSerialLocation = location;
    g_dwSerialAddr = address;
    RegSaveLastSn(kFirstSerial);
    g_nLastSerial = kFirstSerial;
}

// A part that passed holds its number, and that number is not issued again.
bool NumberUsedUp() { return g_nLastSerial == kFirstSerial + 1; }

// The sets and gets worth failing in a run: all of them, except that of the byte-by-byte reads
// of the information area only the first and last byte of each 32-byte block are taken (a
// failure inside a block takes the same path as at its ends, and the area's read-backs would
// otherwise make up most of the runs).
struct SweepIndices {
    std::vector<int> sets, gets;
};
SweepIndices WorthFailing(const std::vector<sim::Exchange>& log) {
    SweepIndices indices;
    bool skipAnswer = false;
    for (const auto& e : log) {
        if (e.kind == sim::Exchange::Kind::Get) {
            indices.gets.push_back(skipAnswer ? 0 : 1);
            continue;
        }
        const auto& r = e.report;
        const uint32_t address = r[4] | r[5] << 8 | r[6] << 16 | uint32_t{r[7]} << 24;
        const bool insideInfoBlock = address - 0x1FF00000 < 0x800 && address % 32 != 0 && address % 32 != 31;
        skipAnswer = r[3] == 0x07 && insideInfoBlock;
        indices.sets.push_back(skipAnswer ? 0 : 1);
    }
    for (auto* list : {&indices.sets, &indices.gets}) {
        std::vector<int> kept;
        for (size_t i = 0; i < list->size(); ++i) {
            if ((*list)[i]) kept.push_back(static_cast<int>(i + 1));
        }
        *list = kept;
    }
    return indices;
}

// One site: every set and every get of each further burn fails in turn. Whatever fails, the run
// ends with the busy flag clear, the part is counted at most once with Total = Pass + Fail and
// the counters are saved, and no part passes without holding what the run wrote: the image and
// its page's fill, its serial number, its information words.
TEST(BurnVariantsFaultSweep, EveryFailedExchangeEndsSoundly) {
    const auto image = PatternImage(100);
    std::vector<uint8_t> head(16);
    for (uint8_t i = 0; i < 16; ++i) head[i] = i + 1;
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        std::function<void(sim::Site)> prepare;
        std::function<bool(const sim::Site&)> partIsRight;
    };
    const auto none = [](sim::Site) {};
    const auto informationOn = [&](sim::Site site) {
        g_bInfoBlockEnable = g_nRdpLevel = 1;
        g_nPcropType = 0;
        site.write(kInfo, head);
    };
    const auto flashIs = [&](uint8_t fill) {
        return [&, fill](const sim::Site& site) { return site.read(kFlash, 0x10000) == WholeFlash(image, fill); };
    };
    const auto optionWordsKept = [&](const sim::Site& site) {
        // The read protection word of an information run, after the part's own first words.
        const auto area = site.read(kInfo, 20);
        return std::equal(head.begin(), head.end(), area.begin()) && site.word(kInfo + 0x10) == 0xFE5501AA;
    };
    const std::vector<Case> cases = {
        {"older burn, serial number past the image", SiteProgramThreadOld, [](sim::Site) { Numbering(0, 0x8000); },
         [&](const sim::Site& site) { return site.read(kFlash, 0x10000) == WholeFlash(image, 0xFF, 0x8000) && NumberUsedUp(); }},
        {"site by site, serial number in the second page", SiteProgramSerialThread, [](sim::Site) { Numbering(1, 0x20); },
         [&](const sim::Site& site) { return flashIs(0xFF)(site) && site.word(0x1FF00420) == kFirstSerial && NumberUsedUp(); }},
        {"site by site, serial word at the parameter area", SiteProgramInfoThread, [](sim::Site) { Numbering(0, 0x40); },
         [&](const sim::Site& site) { return flashIs(0xFF)(site) && site.word(0x1FF00640) == kFirstSerial && NumberUsedUp(); }},
        {"site by site, information words", SiteProgramInfoThread,
         informationOn,
         [&](const sim::Site& site) { return flashIs(0xFF)(site) && optionWordsKept(site); }},
        {"scan first, information words", ScanProgramInfoThread,
         informationOn,
         [&](const sim::Site& site) { return flashIs(0x00)(site) && optionWordsKept(site); }},
        {"scan first, powered off per pass, information words", ScanProgramInfoThreadB,
         informationOn,
         [&](const sim::Site& site) { return flashIs(0x00)(site) && optionWordsKept(site); }},
        {"scan first", ScanProgramThread, none, flashIs(0x00)},
        {"scan first, 1 KB page erases", ScanProgramThreadB, none, flashIs(0x00)},
        {"scan first, erase inside the scan", ScanProgramNoEraseThread, none, flashIs(0x00)},
        {"one pass, 2 KB page erases", ScanOnePassThread, none, flashIs(0xFF)},
        {"one pass, chip erase twice", ScanOnePassThreadB, none, flashIs(0xFF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = [&](int failSet, int failGet) {
            InformationSettingsKept restore;
            SimulatedBurn bench;
            bench.populate({0});
            bench.adapter.setLogging(failSet == 0 && failGet == 0);
            // A part that held something before: only the run's own erase makes it blank.
            bench.adapter.site(0).write(kFlash, std::vector<uint8_t>(0x1000, 0x5A));
            c.prepare(bench.adapter.site(0));
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            bench.run(c.worker, image);

            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || c.partIsRight(bench.adapter.site(0)));
            EXPECT_EQ(bench.storedCounters(), counted);
            return std::pair{WorthFailing(bench.adapter.exchanges()), counted.pass};
        };
        const auto [indices, passed] = run(0, 0);
        ASSERT_EQ(passed, 1u);
        for (int n : indices.sets) {
            SCOPED_TRACE("set " + std::to_string(n));
            run(n, 0);
        }
        for (int n : indices.gets) {
            SCOPED_TRACE("get " + std::to_string(n));
            run(0, n);
        }
    }
}

}  // namespace
