#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "core/globals.h"
#include "dialogs/info_block_workers.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_commands.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kFlash = 0x10000000;
constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kFlashCtrl = 0x40080004;
constexpr uint32_t kFirstSerial = 0x00A5A501;
const std::vector<int> kLoaded = {0, 1};
constexpr int kSiteIcon1 = 1103, kPassIcon = 150;  // the site's result icon as a run leaves it
const std::vector<RecordingServices::Tone> kPassTone = {{784, 900}};

// Main flash of a part that holds image: its last page's tail is the run's fill byte, every
// further byte erased.
std::vector<uint8_t> WholeFlash(const std::vector<uint8_t>& image, uint8_t fill) {
    std::vector<uint8_t> flash(0x10000, 0xFF);
    std::fill_n(flash.begin(), (image.size() + 2047) / 2048 * 2048, fill);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
}

// Per site: whether a burn's erase step, a page load or a commit on it failed, and whether a
// page was loaded or committed on it after that.
struct EraseLoadCommit { bool failed = false, workedOnAfter = false, loading = false; };
std::array<EraseLoadCommit, 4> AfterAFailure(const std::vector<sim::Exchange>& log) {
    std::array<EraseLoadCommit, 4> sites;
    size_t site = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind != sim::Exchange::Kind::Set) continue;
        const uint8_t command = log[i].report[3];
        const uint32_t address = ArgumentOf(log[i].report);
        if (command == 0x3A) site = address % sites.size();
        EraseLoadCommit& seen = sites[site];
        const bool answered = i + 1 == log.size() || log[i + 1].kind == sim::Exchange::Kind::Set || log[i + 1].ok;
        if (seen.failed && (command == 0x29 || command == 0x2B)) seen.workedOnAfter = true;
        seen.loading = seen.loading || command == 0x29;
        const bool eraseStep = !seen.loading && (command == 0x26 || command == 0x27 ||
                                                 ((command == 0x07 || command == 0x0B) && address >> 12 == 0x1FF00));
        if (!(log[i].ok && answered) && (eraseStep || command == 0x29 || command == 0x2B)) seen.failed = true;
    }
    return sites;
}

using Indices = std::pair<std::vector<int>, std::vector<int>>;  // sets, gets

// Runs again with each of the sets, then each of the gets, failed in turn.
template <typename Run>
void FailEachInTurn(const Indices& worth, const Run& run) {
    for (int n : worth.first) {
        SCOPED_TRACE("set " + std::to_string(n));
        run(n, 0);
    }
    for (int n : worth.second) {
        SCOPED_TRACE("get " + std::to_string(n));
        run(0, n);
    }
}

// Of each set in a run, whether it puts a word back on a part: a word written into the
// information area that the run read on that site, at that address or (a copy in page 2) at
// the same offset of page 1; or an exchange of the write enable that lands such words.
std::vector<bool> WritesBack(const std::vector<sim::Exchange>& log) {
    std::vector<bool> back;
    std::map<std::pair<uint32_t, uint32_t>, uint8_t> read;  // by site and address
    uint32_t site = 0, address = 0;
    uint8_t command = 0;
    for (const auto& e : log) {
        if (e.kind == sim::Exchange::Kind::Get) {
            const uint32_t count = command == 0x0B ? 32 : command == 0x07 ? 1 : 0;
            for (uint32_t i = 0; e.ok && address - kInfo < 0x800 && i < count; ++i) read[{site, address + i}] = e.report[1 + i];
            continue;
        }
        command = e.report[3];
        address = ArgumentOf(e.report);
        if (command == 0x3A) site = address;
        bool readBefore = command == 0x06 && address - kInfo < 0x800;
        for (uint32_t i = 0; readBefore && i < 4; ++i) {
            const auto byte = read.find({site, kInfo + (address - kInfo) % 0x400 + i});
            readBefore = byte != read.end() && byte->second == e.report[8 + i];
        }
        back.push_back(readBefore || address - kFlashCtrl < 4);
    }
    return back;
}

// The sets and gets (numbered from 1) worth failing in a run: all of them, or, when sparse, of
// a stretch of three or more sets of one command in a row (page loads, block reads, word
// writes, page erases) only the first and last, with their answers: a failure inside a stretch
// takes the same path as at its ends, and the stretches would otherwise make up most of the
// runs. The byte-by-byte reads of the information area make a stretch per 32-byte block. Every
// exchange that writes back is worth failing: each word is the only copy of itself.
Indices WorthFailing(const std::vector<sim::Exchange>& log, bool sparse) {
    const std::vector<bool> back = WritesBack(log);
    std::vector<uint32_t> keys;  // of each set: its command, and a byte read's block in the area
    for (const auto& e : log) {
        if (e.kind != sim::Exchange::Kind::Set) continue;
        const uint32_t address = ArgumentOf(e.report);
        const bool areaByte = e.report[3] == 0x07 && address - kInfo < 0x800;
        keys.push_back(back[keys.size()] ? address : e.report[3] | (areaByte ? ((address - kInfo) / 32 + 1) << 8 : 0));
    }
    const auto inner = [&](size_t i) { return sparse && i > 0 && i + 1 < keys.size() && keys[i - 1] == keys[i] && keys[i + 1] == keys[i]; };
    std::vector<int> sets, gets;
    bool skipAnswer = false;
    for (const auto& e : log) {
        if (e.kind == sim::Exchange::Kind::Set) skipAnswer = inner(sets.size());
        auto& list = e.kind == sim::Exchange::Kind::Get ? gets : sets;
        list.push_back(skipAnswer ? 0 : static_cast<int>(list.size() + 1));
    }
    std::erase(sets, 0);
    std::erase(gets, 0);
    return {sets, gets};
}

// Two loaded sites, every set and every get of each run failing in turn (of the burn all of
// them, of the other runs those worth failing), over parts that held other bytes. Whatever
// fails, the run ends with the busy flag clear, each part is counted at most once with
// Total = Pass + Fail, the counters are saved where the run saves them, no part
// passes without holding what the run wrote: the image and its page's fill, a serial number of
// its own (never issued again), its information words; and the run sounds the pass tone only
// when both parts passed. A burn does not load or commit a page after a failed erase, load or
// commit, and that part does not pass. The verify run meets parts whose last byte differs, so
// they must never pass. The runs that erase the information block keep its first words
// whatever fails, and the operator's next run, with nothing failing, passes both parts with them.
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
    const auto informationOn = [&](SimulatedBurn& b) {
        g_bInfoBlockEnable = g_nRdpLevel = 1;
        g_nPcropType = 0;
        for (int site : kLoaded) b.adapter.site(site).write(kInfo, head);
    };
    const auto flashIs = [&](uint8_t fill) {
        return [flash = WholeFlash(image, fill)](const sim::Site& site) { return site.read(kFlash, 0x10000) == flash; };
    };
    const auto ffTail = flashIs(0xFF), zeroTail = flashIs(0x00);
    // The read protection word of an information run, after the part's own first words.
    const auto optionWordsKept = [&](const sim::Site& site) {
        return site.read(kInfo, 16) == head && site.word(kInfo + 0x10) == 0xFE5501AA;
    };
    // Main flash as the image leaves it, but for the serial word at 0x8000 (its number is checked
    // on its own).
    const auto flashAndSerialAt8000 = [](const std::vector<uint8_t>& bytes) {
        return [flash = WholeFlash(bytes, 0xFF)](const sim::Site& site) {
            auto read = site.read(kFlash, 0x10000);
            std::fill_n(read.begin() + 0x8000, 4, 0xFF);
            return read == flash;
        };
    };
    const auto none = [](SimulatedBurn&) {};
    const auto headKept = [&](const sim::Site& site) { return site.read(kInfo, 16) == head; };
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        const std::vector<uint8_t>& image;
        std::function<void(SimulatedBurn&)> prepare;
        std::function<bool(const sim::Site&)> partIsRight;
        uint32_t serialAt = 0;  // where a passed part holds its serial number, if it is numbered
        uint32_t passesClean = 2;
        bool savesCounters = true;
        std::function<bool(const sim::Site&)> keepsWords = {};  // the words read before an erase, on the part
    };
    const std::vector<Case> cases = {
        {"burn, serial number past the image", SiteProgramThread, burnImage, numbering(0, 0x8000),
         flashAndSerialAt8000(burnImage), kFlash + 0x8000},
        {"burn, serial number in the information area", SiteProgramThread, image, numbering(1, 0x40), ffTail, 0x1FF00640},
        {"verify", SiteVerifyThread, image, [&](SimulatedBurn& b) { for (int site : kLoaded) b.preload(site, differing); },
         [](const sim::Site&) { return false; }, 0, 0, false},
        {"information block", ProgramInfoBlockThread, image,
         [&](SimulatedBurn& b) {
             for (int site : kLoaded) {
                 b.adapter.site(site).write(kInfo, head);
                 b.adapter.site(site).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
             }
         },
         [&](const sim::Site& site) { return site.read(kInfo, 1024) == infoBlock; }, 0, 2, false, headKept},
        {"older burn, serial number past the image", SiteProgramThreadOld, image, numbering(0, 0x8000),
         flashAndSerialAt8000(image), kFlash + 0x8000},
        {"site by site, serial number in the second page", SiteProgramSerialThread, image, numbering(1, 0x20), ffTail,
         0x1FF00420},
        {"site by site, serial word at the parameter area", SiteProgramInfoThread, image, numbering(0, 0x40), ffTail,
         0x1FF00640},
        {"site by site, information words", SiteProgramInfoThread, image, informationOn,
         [&](const sim::Site& site) { return ffTail(site) && optionWordsKept(site); }, 0, 2, true, headKept},
        {"scan first, information words", ScanProgramInfoThread, image, informationOn,
         [&](const sim::Site& site) { return zeroTail(site) && optionWordsKept(site); }, 0, 2, true, headKept},
        {"scan first, powered off per pass, information words", ScanProgramInfoThreadB, image, informationOn,
         [&](const sim::Site& site) { return zeroTail(site) && optionWordsKept(site); }, 0, 2, true, headKept},
        // A part an earlier pass failed is powered off when the information pass serves it, and
        // an adapter may answer zeros for a part it cannot reach.
        {"scan first, powered off per pass, information words, zeros answered off target", ScanProgramInfoThreadB, image,
         [&](SimulatedBurn& b) {
             informationOn(b);
             b.adapter.answerUnreachedWith(0x00);
         },
         [&](const sim::Site& site) { return zeroTail(site) && optionWordsKept(site); }, 0, 2, true, headKept},
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
            bench.populate(kLoaded);
            bench.adapter.setLogging(burn || (failSet == 0 && failGet == 0));
            for (int site : kLoaded) bench.adapter.site(site).write(kFlash, std::vector<uint8_t>(0x1000, 0x5A));
            c.prepare(bench);
            std::map<int, std::vector<uint8_t>> held;  // each part's information area before the run
            for (int site : kLoaded) held[site] = bench.adapter.site(site).read(kInfo, 0x800);
            if (failSet) bench.adapter.failSetAt(failSet);
            if (failGet) bench.adapter.failGetAt(failGet);
            bench.run(c.worker, c.image);

            const Counters counted = bench.counters();
            EXPECT_EQ(counted.total, counted.pass + counted.fail);
            EXPECT_LE(counted.total, kLoaded.size());
            const auto passedAt = [&](int site) { return bench.page.icons[kSiteIcon1 + site] == kPassIcon; };
            std::set<uint32_t> numbers;
            uint32_t passed = 0;
            for (int site : kLoaded) {
                if (!passedAt(site)) continue;
                ++passed;
                EXPECT_TRUE(c.partIsRight(bench.adapter.site(site))) << "site " << site + 1;
                if (!c.serialAt) continue;
                const uint32_t number = bench.adapter.site(site).word(c.serialAt);
                EXPECT_TRUE(number >= kFirstSerial && number < g_nLastSerial && numbers.insert(number).second)
                    << "site " << site + 1 << " holds " << number;
            }
            EXPECT_EQ(passed, counted.pass);
            // A word named as not written back was read from its part (a copy in page 2 from the
            // same offset of page 1) and is one an erase loses: never a read of a part the run
            // did not reach, nor a word the erase leaves as it was.
            for (const std::string& line : bench.page.logLinesWith("not written back")) {
                int site = 0;
                unsigned address = 0, value = 0;
                const bool read = std::sscanf(line.c_str(), "Kept word not written back on site %d, 0x%X: 0x%X", &site, &address, &value) == 3;
                const std::vector<uint8_t>& part = held[site - 1];
                const uint32_t at = (address - kInfo) % 0x400;
                EXPECT_TRUE(read && part.size() > at + 3) << line;
                if (part.size() > at + 3) {
                    EXPECT_EQ(value, part[at] | part[at + 1] << 8 | part[at + 2] << 16 | uint32_t(part[at + 3]) << 24) << line;
                }
                EXPECT_NE(value, 0xFFFFFFFFu) << line;
            }
            EXPECT_TRUE(bench.services.tones() != kPassTone || counted.pass == kLoaded.size());
            EXPECT_EQ(bench.storedCounters(), c.savesCounters ? counted : Counters{});
            if (burn) {
                const auto seen = AfterAFailure(bench.adapter.exchanges());
                for (int site : kLoaded) {
                    EXPECT_FALSE(seen[site].workedOnAfter) << "site " << site + 1;
                    EXPECT_TRUE(!passedAt(site) || !seen[site].failed) << "site " << site + 1;
                }
            }
            const bool faultless = !failSet && !failGet;
            const auto clean = std::pair{faultless ? WorthFailing(bench.adapter.exchanges(), !burn) : Indices{}, counted.pass};
            if (!c.keepsWords) return clean;
            for (int site : kLoaded) EXPECT_TRUE(c.keepsWords(bench.adapter.site(site))) << "site " << site + 1;
            if (faultless) return clean;
            g_bTaskWorking = true;
            bench.run(c.worker, c.image);
            for (int site : kLoaded) {
                EXPECT_TRUE(passedAt(site) && c.keepsWords(bench.adapter.site(site))) << "site " << site + 1 << ", run again";
            }
            return clean;
        };
        const auto [indices, passed] = run(0, 0);
        ASSERT_EQ(passed, c.passesClean);
        FailEachInTurn(indices, run);
    }
}

// The Information Block dialog's Erase (page 1) and the parameter-area page's (page 2) with
// every exchange failed in turn, then pressed once more with nothing failing. Whatever fails,
// page 1 keeps its security words; the erase tells done only with the page holding them; and
// the second press leaves them in the page.
TEST(FaultSweep, EraseKeepsTheSecurityWordsWhateverFails) {
    constexpr int kSocket = 2;
    std::vector<uint8_t> page1(1024), page2(1024);
    for (size_t i = 0; i < page1.size(); ++i) {
        page1[i] = static_cast<uint8_t>(0x10 + 7 * i);
        page2[i] = static_cast<uint8_t>(0x80 + 3 * i);
    }
    // The page's security words, everything else erased: after an erase that kept page 1's
    // words, what a page holds.
    const auto security = [](const std::vector<uint8_t>& page) {
        std::vector<uint8_t> kept(1024, 0xFF);
        for (auto [at, size] : {std::pair(0, 128), {0x100, 4}, {0x108, 4}}) std::copy_n(page.begin() + at, size, kept.begin() + at);
        return kept;
    };
    const std::vector<uint8_t> erasedKeeping = security(page1);
    for (const uint32_t pageIndex : {0u, 1u}) {
        SCOPED_TRACE(pageIndex ? "page 2" : "page 1");
        const uint32_t base = pageIndex ? kInfo + 0x400 : kInfo;
        const auto run = [&](int failSet, int failGet) {
            SimulatedBurn bench;
            sim::Site part = bench.adapter.site(kSocket);
            part.write(kInfo, page1);
            part.write(kInfo + 0x400, page2);
            EXPECT_EQ(PowerAndConnect(kSocket), kConnectOk);  // Open Debug
            if (failSet) bench.adapter.failSetAt(bench.adapter.setCount() + failSet);
            if (failGet) bench.adapter.failGetAt(bench.adapter.getCount() + failGet);
            bench.adapter.clearLog();
            const bool done = EraseInfoPageKeepingSecurity(bench.page, kSocket, pageIndex);
            EXPECT_EQ(security(part.read(kInfo, 1024)), erasedKeeping);
            EXPECT_EQ(bench.page.messages.empty(), done);
            EXPECT_TRUE(!done || part.read(base, 1024) == erasedKeeping);
            const auto log = bench.adapter.exchanges();
            EXPECT_TRUE(EraseInfoPageKeepingSecurity(bench.page, kSocket, pageIndex)) << "pressed again";
            EXPECT_EQ(part.read(base, 1024), erasedKeeping) << "pressed again";
            return WorthFailing(log, false);
        };
        FailEachInTurn(run(0, 0), run);
    }
}

}  // namespace
