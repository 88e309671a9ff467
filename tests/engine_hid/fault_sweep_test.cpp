#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "engine_hid/hid_workers.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kFlash = 0x10000000;
constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kFirstSerial = 0x00A5A501;

// The whole main flash of a part that holds image, with the serial word at flash offset
// serialAt when there is one.
std::vector<uint8_t> WholeFlash(const std::vector<uint8_t>& image, std::optional<uint32_t> serialAt) {
    std::vector<uint8_t> flash(0x10000, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    for (uint32_t i = 0; serialAt && i < 4; ++i) flash[*serialAt + i] = static_cast<uint8_t>(kFirstSerial >> (8 * i));
    return flash;
}

// What a burn's log shows of its erase step, page loads and commits: whether an exchange of
// them failed, and whether a page was loaded or committed after that.
struct EraseLoadCommit {
    bool failed = false, workedOnAfter = false;
};
EraseLoadCommit AfterAFailure(const std::vector<sim::Exchange>& log) {
    EraseLoadCommit seen;
    bool loading = false;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind != sim::Exchange::Kind::Set) continue;
        const auto& r = log[i].report;
        const uint8_t command = r[3];
        const uint32_t address = r[4] | r[5] << 8 | r[6] << 16 | static_cast<uint32_t>(r[7]) << 24;
        const bool answered = i + 1 == log.size() || log[i + 1].kind == sim::Exchange::Kind::Set || log[i + 1].ok;
        if (seen.failed && (command == 0x29 || command == 0x2B)) seen.workedOnAfter = true;
        loading = loading || command == 0x29;
        const bool eraseStep = !loading && (command == 0x26 || command == 0x27 ||
                                            ((command == 0x07 || command == 0x0B) && address >> 12 == 0x1FF00));
        if (!(log[i].ok && answered) && (eraseStep || command == 0x29 || command == 0x2B)) seen.failed = true;
    }
    return seen;
}

// One site: every set and every get of a run fails in turn. Whatever fails, the run ends with
// the busy flag clear, the part is counted at most once with Total = Pass + Fail, the burn
// saves what it counted, and no part passes without holding what it should: for the burn, its
// whole flash is the image followed by 0xFF, with its serial number, and a serial number the
// part may hold is never issued again; a part whose erase, load or commit failed is not
// programmed further and does not pass. The verify run meets a part whose last byte differs, so
// it must never pass.
TEST(FaultSweep, EveryFailedExchangeEndsSoundly) {
    const auto image = PatternImage(3000);
    const auto small = PatternImage(40);
    auto differing = small;
    differing.back() ^= 0x01;
    std::vector<uint8_t> infoBlock(1024, 0xFF);  // the kept words, the rest erased
    for (uint8_t i = 0; i < 16; ++i) infoBlock[i] = i + 1;
    const auto serialAt = [](uint32_t location, uint32_t address) {
        return [=](sim::Site) {
            g_bSerialEnable = g_bSerialAutoInc = 1;
            g_nSerialLocation = location;
            g_dwSerialAddr = address;
            g_nLastSerial = kFirstSerial;
        };
    };
    // A part that passed holds its number, and that number is not issued again.
    const auto numberUsedUp = [] { return g_nLastSerial == kFirstSerial + 1; };
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        const std::vector<uint8_t>& image;
        bool savesCounters;
        uint32_t passesClean;
        std::function<void(sim::Site)> prepare;
        std::function<bool(const sim::Site&)> partIsRight;
    };
    const std::vector<Case> cases = {
        {"burn, serial number past the image", SiteProgramThread, image, true, 1, serialAt(0, 0x8000),
         [&](const sim::Site& site) { return site.read(kFlash, 0x10000) == WholeFlash(image, 0x8000) && numberUsedUp(); }},
        {"burn, serial number in the information area", SiteProgramThread, small, true, 1, serialAt(1, 0x40),
         [&](const sim::Site& site) {
             return site.read(kFlash, 0x10000) == WholeFlash(small, {}) && site.word(0x1FF00640) == kFirstSerial &&
                    numberUsedUp();
         }},
        {"verify", SiteVerifyThread, small, false, 0, [&](sim::Site site) { site.write(kFlash, differing); },
         [](const sim::Site&) { return false; }},
        {"information block", ProgramInfoBlockThread, small, false, 1,
         [&](sim::Site site) {
             g_bInfoBlockEnable = 0;
             site.write(kInfo, std::vector<uint8_t>(infoBlock.begin(), infoBlock.begin() + 16));
             site.write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
         },
         [&](const sim::Site& site) { return site.read(kInfo, 1024) == infoBlock; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = [&](int failSet, int failGet) {
            SimulatedBurn bench;
            bench.populate({0});
            c.prepare(bench.adapter.site(0));
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            bench.run(c.worker, c.image);

            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, 1u);
            EXPECT_TRUE(counted.pass == 0 || c.partIsRight(bench.adapter.site(0)));
            EXPECT_EQ(bench.storedCounters(), c.savesCounters ? counted : Counters{});
            if (c.worker == SiteProgramThread) {
                const EraseLoadCommit seen = AfterAFailure(bench.adapter.exchanges());
                EXPECT_FALSE(seen.workedOnAfter);
                EXPECT_TRUE(counted.pass == 0 || !seen.failed);
            }
            return std::tuple{bench.adapter.setCount(), bench.adapter.getCount(), counted.pass};
        };
        const auto [sets, gets, passed] = run(0, 0);
        ASSERT_EQ(passed, c.passesClean);
        for (int n = 1; n <= sets + gets; ++n) {
            SCOPED_TRACE(n <= sets ? "set " + std::to_string(n) : "get " + std::to_string(n - sets));
            run(n <= sets ? n : 0, n <= sets ? 0 : n - sets);
        }
    }
}

}  // namespace
