#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_device.h"
#include "platform/strfmt.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"

namespace {

constexpr uint32_t kFlash = 0x10000000;
constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kFlashCtrl = 0x40080004;
constexpr uint32_t kPage2 = 0x1FF00400;

// The settings of the information runs: information words on, or serial numbers from 7000 in
// the second page, with a parameter file or without.
void InformationOn(SimulatedBurn&) { g_bInfoBlockEnable = 1; }
void SerialsInPage2(SimulatedBurn& b) { b.numberSerials(1, 0x20, 7000); }
void SerialsAndParameters(SimulatedBurn& b) {
    SerialsInPage2(b);
    b.useParameterFile("p.data", "0000 00000001\n");
}

// The sets that reached the adapter, without those of one command.
std::vector<std::vector<uint8_t>> SetsWithout(const sim::Adapter& adapter, uint8_t command) {
    auto reports = adapter.sentReports();
    std::erase_if(reports, [&](const auto& report) { return report[3] == command; });
    return reports;
}

// The older burn drives an adapter of any firmware as the burn drives one of firmware V006,
// without the prepare after each connect.
TEST(BurnVariants, OlderBurnIsTheBurnOfOlderFirmwareWithoutThePrepare) {
    const auto exchanges = [](void (*worker)(WorkerPage&), const char* firmware) {
        SimulatedBurn bench;
        bench.populate({0, 2});
        bench.adapter.setFirmwareVersion(firmware);
        bench.numberSerials(0, 0x10, 0x1234);
        g_HidFeatureOut.fill(0);
        bench.run(worker, PatternImage(3000));
        EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
        return SetsWithout(bench.adapter, 0x03);
    };
    const auto burn = exchanges(SiteProgramThread, "V006");
    EXPECT_EQ(exchanges(SiteProgramThreadOld, "V010"), burn);
    EXPECT_EQ(exchanges(SiteProgramThreadOld, "V006"), burn);
}

// The site-by-site information burn puts each part's serial number into the parameter data it
// writes (advancing once per part, auto-increase or not), with the option words from the
// settings; a parameter file it cannot read stops the run before any site is touched.
TEST(BurnVariants, SiteInformationBurnWritesParameterDataWithEachPartsNumber) {
    InformationSettingsKept restore;
    SimulatedBurn bench;
    bench.populate({0, 1});
    g_bInfoBlockEnable = g_nRdpLevel = 1;
    g_nPcropType = 0;
    bench.useParameterFile("board.data", "0000 44332211\n01FC 0D0C0B0A\n");
    bench.numberSerials(0, 0x10, 100, 0);
    const auto image = PatternImage(3000);
    bench.run(SiteProgramInfoThread, image);

    EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
    for (int site : {0, 1}) {
        SCOPED_TRACE(site);
        const auto bytes = [&](uint32_t address) { return bench.adapter.site(site).read(address, 4); };
        EXPECT_EQ(bytes(0x1FF00610), (std::vector<uint8_t>{static_cast<uint8_t>(100 + site), 0, 0, 0}));
        EXPECT_EQ(bytes(0x1FF00010), (std::vector<uint8_t>{0xAA, 0x01, 0x55, 0xFE}));
        EXPECT_EQ(bytes(0x1FF00600), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
        EXPECT_EQ(bytes(0x1FF007FC), (std::vector<uint8_t>{0x0A, 0x0B, 0x0C, 0x0D}));
        EXPECT_EQ(bench.adapter.site(site).read(kFlash, image.size()), image);
    }
    EXPECT_EQ(g_nLastSerial, 102u);
    EXPECT_EQ(RegLoadLastSn(), 102u);
    EXPECT_EQ(bench.page.texts[1012], "S/N Last : 102");

    SimulatedBurn missing;
    g_strParam = "missing.data";
    missing.run(SiteProgramInfoThread, image);
    EXPECT_EQ(missing.page.messages,
              std::vector<std::string>{"File could not be opened\r\n" + g_strExeDir + "Data/missing.data !"});
    EXPECT_EQ(missing.adapter.sentCommands(), (std::vector<uint8_t>{0x3A, 0x3A, 0x3A, 0x3A}));
    EXPECT_EQ(missing.counters(), (Counters{}));
}

// Every run that programs passes: a 2049-byte image over a part that held other bytes is
// programmed as two pages, the second its last image byte and the run's fill, and read back
// whole. Each erases main flash its own way and no information page.
TEST(BurnVariants, ScanAndOnePassRunsProgramTheLastPageWithTheirFill) {
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        uint8_t fill;
        size_t mainPageErases;  // 0x28 into main flash, per site
        bool chipErase;         // 0x27
    };
    const std::vector<Case> cases = {
        {"scan first, information", ScanProgramInfoThread, 0x00, 0, true},
        {"scan first, information, powered off per pass", ScanProgramInfoThreadB, 0x00, 0, true},
        {"scan first", ScanProgramThread, 0x00, 0, true},
        {"scan first, 1 KB page erases", ScanProgramThreadB, 0x00, 64, false},
        {"scan first, erase inside the scan", ScanProgramNoEraseThread, 0x00, 0, true},
        {"one pass", ScanOnePassThread, 0xFF, 32, false},
        {"one pass, chip erase twice", ScanOnePassThreadB, 0xFF, 0, true},
    };
    const auto image = PatternImage(2049);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InformationSettingsKept restore;
        SimulatedBurn bench;
        bench.populate({1, 3});
        g_bInfoBlockEnable = 1;  // the information runs erase with the chip erase then
        for (int site : {1, 3}) bench.adapter.site(site).write(kFlash, std::vector<uint8_t>(0x10000, 0x5A));
        bench.run(c.worker, image);

        EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
        auto expected = image;
        expected.resize(4096, c.fill);
        expected.resize(0x10000, 0xFF);
        for (int site : {1, 3}) EXPECT_EQ(bench.adapter.site(site).read(kFlash, 0x10000), expected);
        EXPECT_EQ(CountSets(bench.adapter, 0x28, kFlash, kFlash + 0x10000), 2 * c.mainPageErases);
        EXPECT_EQ(CountSets(bench.adapter, 0x27) > 0, c.chipErase);
        if (c.mainPageErases) {
            const uint32_t step = 0x10000 / static_cast<uint32_t>(c.mainPageErases);
            EXPECT_EQ(CountSets(bench.adapter, 0x28, kFlash + 0x10000 - step, kFlash + 0x10000), 2u);
        }
    }
}

// The information read-backs: the scan-first run logs the first differing byte of the first
// block (past the kept words) or the first differing block and goes on; its twin compares each
// part with its own kept words, and at a difference stops the run with every part not yet
// compared failed; the site-by-site run reads the parameter data back.
TEST(BurnVariants, InformationReadBackFailsTheDifferingPart) {
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        std::vector<int> sites;
        std::optional<uint32_t> stuckOnFirst;  // a byte of the first part's information area
        bool parameters;
        std::vector<std::string> logged, messages;
        Counters counted;
        std::vector<int> failed;
    };
    const std::vector<Case> cases = {
        {"byte 20", ScanProgramInfoThread, {0, 1}, kInfo + 20, false,
         {"Verified information block Failure on 0x14 at site 1!!!"}, {}, {2, 1, 1}, {0}},
        {"second block", ScanProgramInfoThread, {0, 1}, kInfo + 0x25, false,
         {"Verified information block Failure on 0x20 at site 1!!!"}, {}, {2, 1, 1}, {0}},
        {"own kept words", ScanProgramInfoThreadB, {0, 1, 2}, {}, false, {}, {}, {3, 3, 0}, {}},
        {"first part differs", ScanProgramInfoThreadB, {0, 1, 2}, kInfo + 20, false, {},
         {"Verified information block Failure at 0x0!!!"}, {3, 0, 3}, {0, 1, 2}},
        {"parameter data", SiteProgramInfoThread, {0, 1}, 0x1FF00623, true,
         {"Verified information parameter Failure on 0x20 at site 1!!!"}, {}, {2, 1, 1}, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InformationSettingsKept restore;
        SimulatedBurn bench;
        bench.populate(c.sites);
        g_bInfoBlockEnable = 1;
        for (int site : c.sites) bench.adapter.site(site).write(kInfo, std::vector<uint8_t>(16, static_cast<uint8_t>(0x10 + site)));
        if (c.stuckOnFirst) bench.adapter.site(c.sites[0]).stickBits(*c.stuckOnFirst, 0x01, 0x00);
        if (c.parameters) bench.useParameterFile("p.data", "0020 FFFFFFFF\n");
        bench.run(c.worker, PatternImage(100));

        EXPECT_EQ(bench.page.logLinesWith("Failure"), c.logged);
        EXPECT_EQ(bench.page.messages, c.messages);
        EXPECT_EQ(bench.counters(), c.counted);
        for (int site : c.failed) EXPECT_EQ(bench.page.icons[1103 + site], 151);
        for (int site : c.sites) EXPECT_EQ(bench.adapter.site(site).read(kInfo, 16), std::vector<uint8_t>(16, static_cast<uint8_t>(0x10 + site)));
        EXPECT_EQ(bench.services.tones().size(), c.failed.empty() ? 1u : 2u);
    }
}

// The word writes (0x06, by address) after the first erase of page, up to the write enable
// that commits them; nothing when no write enable follows.
std::vector<uint32_t> WritesCommittedAfterErase(const sim::Adapter& adapter, uint32_t page) {
    std::vector<uint32_t> writes;
    bool erased = false;
    for (const auto& e : adapter.exchanges()) {
        if (e.kind != sim::Exchange::Kind::Set) continue;
        const uint32_t address = ArgumentOf(e.report);
        if (e.report[3] == 0x28 && address == page) erased = true;
        if (!erased || e.report[3] != 0x06) continue;
        if (address == kFlashCtrl) return writes;
        writes.push_back(address);
    }
    return {};
}

// An information page rewrite whose erase fails still writes back the words the page held and
// commits them, with no new word on a page that may not be erased; one whose word write fails
// still sends every other word before the commit. Either way the part fails, and a serial
// number whose write never went out is given back.
TEST(BurnVariants, AFailedInformationRewriteRestoresAndCommitsThePage) {
    const std::vector<uint32_t> head = {kInfo, kInfo + 4, kInfo + 8, kInfo + 12};
    const std::vector<uint32_t> head2 = {kPage2, kPage2 + 4, kPage2 + 8, kPage2 + 12};
    auto headAndSingles = head;
    headAndSingles.insert(headAndSingles.end(), {kInfo + 0x100, kInfo + 0x108});
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> prepare;
        uint32_t page, failedWord;
        std::vector<uint32_t> keptWrites;  // all that follows a failed erase
    };
    const std::vector<Case> cases = {
        {"serial number, second page", SiteProgramSerialThread, SerialsInPage2, kPage2, kPage2 + 0x20, head2},
        {"site by site, information words", SiteProgramInfoThread, InformationOn, kInfo, kInfo + 0x14, headAndSingles},
        {"site by site, parameter data", SiteProgramInfoThread, SerialsAndParameters, kPage2, 0x1FF00600, head2},
        {"scan first, information words", ScanProgramInfoThread, InformationOn, kInfo, kInfo + 0x10, head},
        {"information block", ProgramInfoBlockThread, InformationOn, kInfo, kInfo + 0x18, head},
    };
    for (const auto& c : cases) {
        for (const bool eraseFails : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (eraseFails ? ", erase fails" : ", a word fails"));
            InformationSettingsKept restore;
            const auto start = [&](SimulatedBurn& b) {
                b.populate({0});
                c.prepare(b);
            };
            int failSet = 0;
            std::vector<uint32_t> cleanWrites;
            {
                SimulatedBurn clean;
                start(clean);
                clean.run(c.worker, PatternImage(100));
                failSet = eraseFails ? FirstExchangeOf(clean.adapter, sim::Exchange::Kind::Set, 0x28, c.page)
                                     : FirstExchangeOf(clean.adapter, sim::Exchange::Kind::Set, 0x06, c.failedWord);
                cleanWrites = WritesCommittedAfterErase(clean.adapter, c.page);
            }
            SimulatedBurn bench;
            start(bench);
            bench.adapter.failSetAt(failSet);
            bench.run(c.worker, PatternImage(100));

            EXPECT_EQ(WritesCommittedAfterErase(bench.adapter, c.page), eraseFails ? c.keptWrites : cleanWrites);
            EXPECT_EQ(bench.counters(), (Counters{1, 0, 1}));
            if (g_bSerialEnable) {
                EXPECT_EQ(g_nLastSerial, eraseFails ? 7000u : 7001u);
            }
        }
    }
}

// The index (from 1, among sets) of the nth word write to address, in a run's log.
int NthWriteOf(const sim::Adapter& adapter, uint32_t address, int n) {
    int sets = 0;
    for (const auto& e : adapter.exchanges()) {
        if (e.kind != sim::Exchange::Kind::Set) continue;
        ++sets;
        if (e.report[3] == 0x06 && ArgumentOf(e.report) == address && --n == 0) return sets;
    }
    return 0;
}

// Every erase that writes back words it read from the part: a write-back lost once is sent
// again at once, so the part keeps its words and passes, and so does the operator's next run;
// one lost every time fails the part, and the log names the word with what it held.
TEST(BurnVariants, KeptWordsGoBackOrTheLogNamesThem) {
    std::vector<uint8_t> head(16);
    const std::vector<uint8_t> word100 = {0x21, 0x22, 0x23, 0x24}, word108 = {0x25, 0x26, 0x27, 0x28};
    for (uint8_t i = 0; i < 16; ++i) head[i] = 0x11 + i;
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> prepare;
        uint32_t address;  // the kept word whose write fails
        int write;         // which write to that address in the run
        uint32_t value;    // what the part held there
        bool singles;      // the run keeps the words at 0x1FF00100 and 0x1FF00108 too
    };
    const auto none = [](SimulatedBurn&) {};
    const std::vector<Case> cases = {
        {"information block", ProgramInfoBlockThread, InformationOn, kInfo + 4, 1, 0x18171615, false},
        {"scan first, chip erase", ScanProgramInfoThread, InformationOn, kInfo + 4, 1, 0x18171615, false},
        {"scan first, information page", ScanProgramInfoThread, InformationOn, kInfo + 4, 2, 0x18171615, false},
        // A part failed by its erase is powered off; the information pass that still serves it
        // reaches nothing and must name no word of it again.
        {"scan first powered off per pass, chip erase", ScanProgramInfoThreadB, none, kInfo + 12, 1, 0x201F1E1D, false},
        {"scan first powered off per pass, information page", ScanProgramInfoThreadB, none, kInfo + 12, 2, 0x201F1E1D, false},
        // An adapter may answer zeros for a part it cannot reach (a connect's no-target id may be 0).
        {"scan first powered off per pass, chip erase, zeros answered off target", ScanProgramInfoThreadB,
         [](SimulatedBurn& b) { b.adapter.answerUnreachedWith(0x00); }, kInfo + 12, 1, 0x201F1E1D, false},
        {"scan first, no information", ScanProgramThread, none, kInfo, 1, 0x14131211, true},
        {"site by site, chip erase", SiteProgramSerialThread, SerialsInPage2, kInfo + 0x100, 1, 0x24232221, true},
        // The part held the word erased: it fails on the lost exchange, but nothing of it is lost.
        {"site by site, chip erase, a word the part holds erased", SiteProgramSerialThread, SerialsInPage2, kInfo + 0x40, 1, 0xFFFFFFFF, true},
        {"site by site, serial number's page", SiteProgramSerialThread, SerialsInPage2, kPage2 + 8, 1, 0x1C1B1A19, true},
        {"site by site information, chip erase", SiteProgramInfoThread, InformationOn, kInfo + 0x108, 1, 0x28272625, true},
        {"site by site information, information page", SiteProgramInfoThread, InformationOn, kInfo + 0x108, 2, 0x28272625, true},
        {"site by site information, parameter data's page", SiteProgramInfoThread, SerialsAndParameters, kPage2 + 12, 1, 0x201F1E1D, true},
    };
    for (const auto& c : cases) {
        for (const int times : {1, 3}) {
            SCOPED_TRACE(std::string(c.name) + (times == 1 ? ", lost once" : ", lost every time"));
            InformationSettingsKept restore;
            const auto start = [&](SimulatedBurn& b) {
                b.populate({0});
                b.adapter.site(0).write(kInfo, head);
                b.adapter.site(0).write(kInfo + 0x100, word100);
                b.adapter.site(0).write(kInfo + 0x108, word108);
                c.prepare(b);
            };
            int failSet = 0;
            {
                SimulatedBurn clean;
                start(clean);
                clean.run(c.worker, PatternImage(100));
                failSet = NthWriteOf(clean.adapter, c.address, c.write);
                ASSERT_NE(failSet, 0);
            }
            SimulatedBurn bench;
            start(bench);
            for (int i = 0; i < times; ++i) bench.adapter.failSetAt(failSet + i);
            const auto keeps = [&] {
                const sim::Site part = bench.adapter.site(0);
                return part.read(kInfo, 16) == head &&
                       (!c.singles || (part.read(kInfo + 0x100, 4) == word100 && part.read(kInfo + 0x108, 4) == word108));
            };
            const auto passed = [&] { return bench.page.icons[1103] == 150; };
            bench.run(c.worker, PatternImage(100));
            const auto named = bench.page.logLinesWith("not written back");
            if (times == 1) {
                EXPECT_TRUE(passed());
                EXPECT_TRUE(keeps());
                EXPECT_EQ(named, std::vector<std::string>{});
                g_bTaskWorking = true;
                bench.run(c.worker, PatternImage(100));
                EXPECT_TRUE(passed() && keeps()) << "the operator's next run";
            } else {
                EXPECT_FALSE(passed());
                EXPECT_EQ(bench.counters(), (Counters{1, 0, 1}));
                const auto line = strfmt("Kept word not written back on site 1, 0x%08X: 0x%08X", c.address, c.value);
                EXPECT_EQ(named, c.value == 0xFFFFFFFF ? std::vector<std::string>{} : std::vector<std::string>{line});
            }
        }
    }
}

// Serial numbers in the information area: the second page takes addresses 0x10 to 0x3FC (below
// lie the kept words), the parameter area up to 0x1FC. An address outside is logged and
// nothing is written or used up; a write enable that does not read back fails the part, its
// number used up (the part may hold it).
TEST(BurnVariants, SerialWordsInTheInformationAreaStayInTheirWindowAndNeedTheWriteEnable) {
    struct Case {
        const char* name;
        void (*worker)(WorkerPage&);
        uint32_t address;
        bool parameters, enableStuck;
        std::optional<uint32_t> wordAt;  // where the part holds 7000
    };
    const auto serial = SiteProgramSerialThread;
    const auto info = SiteProgramInfoThread;
    const std::vector<Case> cases = {
        {"second page, lowest", serial, 0x10, false, false, 0x1FF00410},
        {"second page, highest", serial, 0x3FC, false, false, 0x1FF007FC},
        {"second page, on the kept words", serial, 0x0C, false, false, {}},
        {"second page, past it", serial, 0x400, false, false, {}},
        {"second page, write enable stuck", serial, 0x10, false, true, {}},
        {"parameter area, highest", info, 0x1FC, false, false, 0x1FF007FC},
        {"parameter area, past it", info, 0x200, false, false, {}},
        {"parameter area, write enable stuck", info, 0x40, false, true, {}},
        {"parameter data, highest", info, 0x1FC, true, false, 0x1FF007FC},
        {"parameter data, past it", info, 0x1FD, true, false, {}},
        {"parameter data, write enable stuck", info, 0x40, true, true, {}},
        {"burn, parameter area, write enable stuck", SiteProgramThread, 0x40, false, true, {}},
        {"older burn, parameter area, write enable stuck", SiteProgramThreadOld, 0x40, false, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InformationSettingsKept restore;
        SimulatedBurn bench;
        bench.populate({0});
        bench.numberSerials(1, c.address, 7000);
        if (c.parameters) bench.useParameterFile("p.data", "0000 00000001\n");
        if (c.enableStuck) bench.adapter.site(0).stickBits(kFlashCtrl, 0x08, 0x08);
        bench.run(c.worker, PatternImage(100));

        EXPECT_EQ(bench.counters(), c.enableStuck ? (Counters{1, 0, 1}) : (Counters{1, 1, 0}));
        const uint32_t last = c.wordAt || c.enableStuck ? 7001 : 7000;
        EXPECT_EQ(g_nLastSerial, last);
        EXPECT_EQ(RegLoadLastSn(), last);
        EXPECT_TRUE(!c.wordAt || bench.adapter.site(0).word(*c.wordAt) == 7000u);
        const bool outside = !c.wordAt && !c.enableStuck;
        EXPECT_EQ(bench.page.logLinesWith("out of range").size(), outside ? 1u : 0u);
        EXPECT_TRUE(!outside || c.parameters || CountSets(bench.adapter, 0x28, 0x1FF00400, 0x1FF00800) == 0);
    }
}

// A site that a run cannot select, power or connect to (the adapter refused the select or the
// power-on, the connect's transfer failed or its reply was lost) is shown empty and not counted,
// but the part in its socket was never programmed or compared: the run names the site and
// sounds the fail tone, however well the other site goes (the burn and verify runs:
// SiteSteps.HandlesFaultsOfOneSite).
TEST(BurnVariants, ASiteThatCannotBeSelectedFailsTheRun) {
    const struct { const char* name; void (*worker)(WorkerPage&); } cases[] = {
        {"older burn", SiteProgramThreadOld}, {"site by site, serial number", SiteProgramSerialThread},
        {"site by site, information", SiteProgramInfoThread}, {"scan first, information", ScanProgramInfoThread},
        {"scan first, information, powered off per pass", ScanProgramInfoThreadB}, {"scan first", ScanProgramThread},
        {"scan first, 1 KB page erases", ScanProgramThreadB}, {"scan first, erase inside the scan", ScanProgramNoEraseThread},
        {"one pass", ScanOnePassThread}, {"one pass, chip erase twice", ScanOnePassThreadB},
    };
    const struct { ReachFault fault; int site; std::vector<std::string> named; } faults[] = {
        {ReachFault::Select, 0, {"Select fail at site 1!!!"}},
        {ReachFault::Select, 1, {"Select fail at site 2!!!"}},
        {ReachFault::PowerOn, 1, {"Power on fail at site 2!!!"}},
        {ReachFault::ConnectTransfer, 1, {"Connect fail at site 2!!!"}},
        {ReachFault::ConnectReply, 1, {"Connect fail at site 2!!!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<sim::Exchange> clean;
        {
            SimulatedBurn bench;
            bench.populate({0, 1});
            bench.run(c.worker, PatternImage(100));
            clean = bench.adapter.exchanges();
        }
        for (const auto& f : faults) {
            SCOPED_TRACE(static_cast<int>(f.fault));
            SimulatedBurn bench;
            bench.populate({0, 1});
            FailReach(bench.adapter, clean, f.site, f.fault);
            bench.run(c.worker, PatternImage(100));
            EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
            EXPECT_EQ(bench.page.logLinesWith("fail at site"), f.named);
            EXPECT_EQ(bench.page.icons[1103 + f.site], 152);
            EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
        }
    }
}

// A one-pass run that meets no target shows nothing, counts nothing and sounds the fail tone.
TEST(BurnVariants, OnePassWithoutTargetsSoundsTheFailTone) {
    for (auto* worker : {ScanOnePassThread, ScanOnePassThreadB}) {
        SimulatedBurn bench;
        bench.populate({});
        bench.run(worker, PatternImage(100));
        EXPECT_EQ(bench.counters(), (Counters{}));
        EXPECT_TRUE(bench.page.messages.empty());
        EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
    }
}

}  // namespace
