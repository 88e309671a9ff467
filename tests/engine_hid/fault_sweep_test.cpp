#include <gtest/gtest.h>

#include <functional>

#include "core/globals.h"
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

// Whether a burn's erase step, a page load or a commit failed, and whether a page was loaded
// or committed after that.
struct EraseLoadCommit { bool failed = false, workedOnAfter = false; };
EraseLoadCommit AfterAFailure(const std::vector<sim::Exchange>& log) {
    EraseLoadCommit seen;
    bool loading = false;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind != sim::Exchange::Kind::Set) continue;
        const uint8_t command = log[i].report[3];
        const uint32_t address = ArgumentOf(log[i].report);
        const bool answered = i + 1 == log.size() || log[i + 1].kind == sim::Exchange::Kind::Set || log[i + 1].ok;
        if (seen.failed && (command == 0x29 || command == 0x2B)) seen.workedOnAfter = true;
        loading = loading || command == 0x29;
        const bool eraseStep = !loading && (command == 0x26 || command == 0x27 ||
                                            ((command == 0x07 || command == 0x0B) && address >> 12 == 0x1FF00));
        if (!(log[i].ok && answered) && (eraseStep || command == 0x29 || command == 0x2B)) seen.failed = true;
    }
    return seen;
}

// The sets and gets (numbered from 1) worth failing in a run: all of them, or, when sparse, of
// the byte-by-byte reads of the information area only the first and last byte of each 32-byte
// block (a failure inside a block takes the same path as at its ends, and the area's read-backs
// would otherwise make up most of the runs).
std::pair<std::vector<int>, std::vector<int>> WorthFailing(const std::vector<sim::Exchange>& log, bool sparse) {
    std::vector<int> sets, gets;
    bool skipAnswer = false;
    for (const auto& e : log) {
        auto& list = e.kind == sim::Exchange::Kind::Get ? gets : sets;
        if (e.kind == sim::Exchange::Kind::Set) {
            const uint32_t address = ArgumentOf(e.report);
            skipAnswer = sparse && e.report[3] == 0x07 && address - kInfo < 0x800 && address % 32 != 0 && address % 32 != 31;
        }
        list.push_back(skipAnswer ? 0 : static_cast<int>(list.size() + 1));
    }
    std::erase(sets, 0);
    std::erase(gets, 0);
    return {sets, gets};
}

// One site, every set and every get of each run failing in turn, over a part that held other
// bytes. Whatever fails, the run ends with the busy flag clear, the part is counted at most
// once with Total = Pass + Fail, the counters are saved where the run saves them, and no part
// passes without holding what the run wrote: the image and its page's fill, its serial number
// (never issued again), its information words. A burn does not load or commit a page after a
// failed erase, load or commit, and that part does not pass. The verify run meets a part whose
// last byte differs, so it must never pass.
TEST(FaultSweep, EveryFailedExchangeEndsSoundly) {
    const auto burnImage = PatternImage(3000);
    const auto image = PatternImage(100);
    auto differing = image;
    differing.back() ^= 0x01;
    std::vector<uint8_t> head(16), infoBlock(1024, 0xFF);  // the kept words, the rest erased
    for (uint8_t i = 0; i < 16; ++i) head[i] = infoBlock[i] = i + 1;
    const auto numbering = [](uint32_t location, uint32_t address) {
        return [=](SimulatedBurn& b) { b.numberSerials(location, address, kFirstSerial); };
    };
    const auto numberUsedUp = [] { return g_nLastSerial == kFirstSerial + 1; };
    const auto informationOn = [&](SimulatedBurn& b) {
        g_bInfoBlockEnable = g_nRdpLevel = 1;
        g_nPcropType = 0;
        b.adapter.site(0).write(kInfo, head);
    };
    const auto flashIs = [&](uint8_t fill) {
        return [flash = WholeFlash(image, fill)](const sim::Site& site) { return site.read(kFlash, 0x10000) == flash; };
    };
    const auto ffTail = flashIs(0xFF), zeroTail = flashIs(0x00);
    // The read protection word of an information run, after the part's own first words.
    const auto optionWordsKept = [&](const sim::Site& site) {
        return site.read(kInfo, 16) == head && site.word(kInfo + 0x10) == 0xFE5501AA;
    };
    const auto none = [](SimulatedBurn&) {};
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        const std::vector<uint8_t>& image;
        std::function<void(SimulatedBurn&)> prepare;
        std::function<bool(const sim::Site&)> partIsRight;
        uint32_t passesClean = 1;
        bool savesCounters = true;
    };
    const std::vector<Case> cases = {
        {"burn, serial number past the image", SiteProgramThread, burnImage, numbering(0, 0x8000),
         [&, flash = WholeFlash(burnImage, 0xFF, 0x8000)](const sim::Site& site) {
             return site.read(kFlash, 0x10000) == flash && numberUsedUp();
         }},
        {"burn, serial number in the information area", SiteProgramThread, image, numbering(1, 0x40),
         [&](const sim::Site& site) { return ffTail(site) && site.word(0x1FF00640) == kFirstSerial && numberUsedUp(); }},
        {"verify", SiteVerifyThread, image, [&](SimulatedBurn& b) { b.preload(0, differing); },
         [](const sim::Site&) { return false; }, 0, false},
        {"information block", ProgramInfoBlockThread, image,
         [&](SimulatedBurn& b) {
             b.adapter.site(0).write(kInfo, head);
             b.adapter.site(0).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
         },
         [&](const sim::Site& site) { return site.read(kInfo, 1024) == infoBlock; }, 1, false},
        {"older burn, serial number past the image", SiteProgramThreadOld, image, numbering(0, 0x8000),
         [&, flash = WholeFlash(image, 0xFF, 0x8000)](const sim::Site& site) {
             return site.read(kFlash, 0x10000) == flash && numberUsedUp();
         }},
        {"site by site, serial number in the second page", SiteProgramSerialThread, image, numbering(1, 0x20),
         [&](const sim::Site& site) { return ffTail(site) && site.word(0x1FF00420) == kFirstSerial && numberUsedUp(); }},
        {"site by site, serial word at the parameter area", SiteProgramInfoThread, image, numbering(0, 0x40),
         [&](const sim::Site& site) { return ffTail(site) && site.word(0x1FF00640) == kFirstSerial && numberUsedUp(); }},
        {"site by site, information words", SiteProgramInfoThread, image, informationOn,
         [&](const sim::Site& site) { return ffTail(site) && optionWordsKept(site); }},
        {"scan first, information words", ScanProgramInfoThread, image, informationOn,
         [&](const sim::Site& site) { return zeroTail(site) && optionWordsKept(site); }},
        {"scan first, powered off per pass, information words", ScanProgramInfoThreadB, image, informationOn,
         [&](const sim::Site& site) { return zeroTail(site) && optionWordsKept(site); }},
        {"scan first", ScanProgramThread, image, none, zeroTail},
        {"scan first, 1 KB page erases", ScanProgramThreadB, image, none, zeroTail},
        {"scan first, erase inside the scan", ScanProgramNoEraseThread, image, none, zeroTail},
        {"one pass, 2 KB page erases", ScanOnePassThread, image, none, ffTail},
        {"one pass, chip erase twice", ScanOnePassThreadB, image, none, ffTail},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool burn = c.worker == SiteProgramThread;
        const auto run = [&](int failSet, int failGet) {
            InformationSettingsKept restore;
            SimulatedBurn bench;
            bench.populate({0});
            bench.adapter.setLogging(burn || (failSet == 0 && failGet == 0));
            bench.adapter.site(0).write(kFlash, std::vector<uint8_t>(0x1000, 0x5A));
            c.prepare(bench);
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            bench.run(c.worker, c.image);

            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || c.partIsRight(bench.adapter.site(0)));
            EXPECT_EQ(bench.storedCounters(), c.savesCounters ? counted : Counters{});
            if (burn) {
                const EraseLoadCommit seen = AfterAFailure(bench.adapter.exchanges());
                EXPECT_FALSE(seen.workedOnAfter);
                EXPECT_TRUE(counted.pass == 0 || !seen.failed);
            }
            return std::pair{WorthFailing(bench.adapter.exchanges(), !burn), counted.pass};
        };
        const auto [indices, passed] = run(0, 0);
        ASSERT_EQ(passed, c.passesClean);
        for (int n : indices.first) {
            SCOPED_TRACE("set " + std::to_string(n));
            run(n, 0);
        }
        for (int n : indices.second) {
            SCOPED_TRACE("get " + std::to_string(n));
            run(0, n);
        }
    }
}

}  // namespace
