#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <vector>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"
#include "support/running_copies.h"
#include "support/simulated_burn.h"
#include "support/unreadable_files.h"

namespace {

using Tones = std::vector<RecordingServices::Tone>;
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
// in the information area they advance once per part that passed (the second page of the
// serial-number burn only with auto-increase). Either word is read back, and a part that does
// not hold it fails with the word's address, its number used up. An address outside its area
// is not written and does not advance the number.
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
        void (*worker)(WorkerPage&) = SiteProgramThread;
        bool numbering = true;
    };
    const auto serial = SiteProgramSerialThread, info = SiteProgramInfoThread, old = SiteProgramThreadOld;
    const uint32_t imageWord = 0x43424140;  // of the pattern image at 0x40
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
        {"off", 0, 0x40, 1, 128, {}, {imageWord, imageWord, imageWord}, 5000, 1, "", SiteProgramThread, false},
        {"older burn, image, auto-increase", 0, 0x40, 1, 128, {}, {5000, 5001, 5002}, 5003, 1, "", old},
        {"older burn, information area, fixed", 1, 0x10, 0, 128, {}, {5000, 5001, 5002}, 5003, 1, "", old},
        {"serial burn, image, fixed", 0, 0x40, 0, 128, {}, {5000, 5000, 5000}, 5000, 1, "", serial},
        {"serial burn, second page, auto-increase", 1, 0x10, 1, 128, {}, {5000, 5001, 5002}, 5003, 1, "", serial},
        {"serial burn, second page, fixed", 1, 0x10, 0, 128, {}, {5000, 5000, 5000}, 5000, 1, "", serial},
        {"serial burn, off", 0, 0x40, 1, 128, {}, {imageWord, imageWord, imageWord}, 5000, 1, "", serial, false},
        {"information burn, parameter area, fixed", 1, 0x10, 0, 128, {}, {5000, 5001, 5002}, 5003, 1, "", info},
        {"information burn, off", 0, 0x40, 1, 128, {}, {imageWord, imageWord, imageWord}, 5000, 1, "", info, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0, 1, 2});
        if (c.site2Stuck) bench.adapter.site(1).stickBits(c.site2Stuck->address, c.site2Stuck->mask, c.site2Stuck->value);
        bench.numberSerials(c.location, c.address, 5000, c.autoInc);
        g_bSerialEnable = c.numbering;
        bench.run(c.worker, PatternImage(c.imageSize));

        const uint32_t infoArea = c.worker == serial ? 0x1FF00400 : 0x1FF00600;
        for (size_t site = 0; site < c.words.size(); ++site) {
            EXPECT_EQ(bench.adapter.site(site).word((c.location ? infoArea : kFlash) + c.address), c.words[site]);
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

// Each burn that gives serial numbers, with where it writes them.
struct SerialBurn {
    const char* name;
    void (*worker)(WorkerPage&);
    uint32_t location, address, base;
    bool aside = false;  // the store this copy saw moved aside
};
const SerialBurn kSerialBurns[] = {
        {"image", SiteProgramThread, 0, 0x40, kFlash},
        {"past the image", SiteProgramThread, 0, 0x1FFC, kFlash},
        {"information area", SiteProgramThread, 1, 0x10, 0x1FF00600},
        {"serial burn, second page", SiteProgramSerialThread, 1, 0x10, 0x1FF00400},
        {"information burn, parameter area", SiteProgramInfoThread, 1, 0x10, 0x1FF00600},
};

// A serial number that the store cannot keep is never given: while the store cannot be locked
// the parts get no number and fail, and the next run, with the store back, gives the number
// the store holds to a part that nothing else holds.
TEST(SiteProgram, GivesNoSerialNumberThatTheStoreCannotKeep) {
    for (const SerialBurn& c : kSerialBurns) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        bench.populate({0});
        bench.numberSerials(c.location, c.address, 5000);
        const std::string lock = platform::registryStorePath() + ".lock";  // a folder there: no lock
        std::filesystem::remove(lock);
        ASSERT_TRUE(std::filesystem::create_directory(lock));
        bench.run(c.worker, PatternImage(128));
        EXPECT_NE(bench.adapter.site(0).word(c.base + c.address), 5000u);
        EXPECT_EQ(bench.counters(), (Counters{1, 0, 1}));
        EXPECT_EQ(bench.page.logLinesWith("SN not programmed"),
                  std::vector<std::string>{"Last SN can not be saved, SN not programmed on site 1"});

        std::filesystem::remove(lock);
        bench.populate({1});
        g_bTaskWorking = true;
        bench.run(c.worker, PatternImage(128));
        EXPECT_EQ(bench.adapter.site(1).word(c.base + c.address), 5000u);
        EXPECT_EQ(RegLoadLastSn(), 5001u);
        EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
    }
}

// Another running copy set "Last SN" below the numbers this copy gave: this copy gives no number
// from it, as it could give one of its own again. Each run says so once, in words, with the way
// on; every part it found fails without a number. Once the operator sets a number in Config.,
// the next run gives it.
TEST(SiteProgram, ACopyHeldBackByAnotherCopysLowerNumberSaysWhyOncePerRun) {
    std::vector<SerialBurn> cases(std::begin(kSerialBurns), std::end(kSerialBurns));
    cases.push_back({"image, the store moved aside", SiteProgramThread, 0, 0x40, kFlash, true});
    cases.push_back({"serial burn, the store moved aside", SiteProgramSerialThread, 1, 0x10, 0x1FF00400, true});
    const std::string heldBack = "Another copy of the program set Last SN below the numbers this copy gave: "
                                 "set Initial Serial No. in Config. to go on";
    // A view out of date (the version this copy saw moved aside, where another copy may take from
    // it) says so the same way.
    const std::string outOfDate = "Another copy of the program may have given numbers from Last SN since this copy "
                                  "last read it: set Initial Serial No. in Config. to go on";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool aside = c.aside;
        SimulatedBurn bench;
        bench.numberSerials(c.location, c.address, 5000);
        ASSERT_EQ(RegTakeLastSn(1), 5000u);
        const std::string store = platform::registryStorePath();
        if (aside) {
            std::filesystem::rename(store, store + ".aside");
            std::filesystem::copy_file(store + ".aside", store);
        } else {
            InAnotherCopy([] { RegSaveLastSn(4000); });
        }
        for (int run = 0; run < 2; ++run) {
            bench.populate({0, 2});
            g_bTaskWorking = true;
            bench.page.log.clear();
            bench.run(c.worker, PatternImage(128));
            EXPECT_EQ(bench.page.logLinesWith("Last SN"), std::vector<std::string>{aside ? outOfDate : heldBack});
            EXPECT_EQ(bench.page.logLinesWith("SN not programmed"),
                      (std::vector<std::string>{"SN not programmed on site 1", "SN not programmed on site 3"}));
        }
        EXPECT_NE(bench.adapter.site(0).word(c.base + c.address), 4000u);
        EXPECT_EQ(bench.counters(), (Counters{4, 0, 4}));
        EXPECT_EQ(RegLoadLastSn(), aside ? 5001u : 4000u);

        RegSaveLastSn(4000);  // the operator's word
        bench.populate({1});
        g_bTaskWorking = true;
        bench.run(c.worker, PatternImage(128));
        EXPECT_EQ(bench.adapter.site(1).word(c.base + c.address), 4000u);
        EXPECT_EQ(RegLoadLastSn(), 4001u);
    }
}

// Numbers end at FFFFFFFE: FFFFFFFF reads as an erased word, and one more would give again the
// numbers from 0, which the line's first parts hold. The parts past the end get none and fail,
// run after run, and "Last SN" stays. The log names each number as the part holds it.
TEST(SiteProgram, SerialNumbersEndWithoutWrapping) {
    for (const uint32_t location : {0u, 1u}) {
        SCOPED_TRACE(location);
        SimulatedBurn bench;
        const uint32_t address = (location ? 0x1FF00600 : kFlash) + 0x40;
        bench.populate({3});
        bench.numberSerials(location, 0x40, 0);
        bench.run(SiteProgramThread, PatternImage(128));
        ASSERT_EQ(bench.adapter.site(3).word(address), 0u);
        bench.populate({0, 1, 2});
        bench.startWithLastSerial(0xFFFFFFFE);
        for (int run = 0; run < 2; ++run) {
            g_bTaskWorking = true;
            bench.run(SiteProgramThread, PatternImage(128));
            EXPECT_EQ(RegLoadLastSn(), 0xFFFFFFFFu);
            if (run == 0) {
                EXPECT_EQ(bench.adapter.site(0).word(address), 0xFFFFFFFEu);  // the last number
            }
            for (int site : {1, 2}) EXPECT_NE(bench.adapter.site(site).word(address), 0u) << site;
        }
        EXPECT_EQ(bench.counters(), (Counters{7, 2, 5}));
        EXPECT_EQ(bench.page.logLinesWith("program SN"),
                  (std::vector<std::string>{"program SN = 0 on site 4", "program SN = 4294967294 on site 1"}));
        const auto refused = bench.page.logLinesWith("SN not programmed");
        EXPECT_EQ(refused.size(), 5u);
        EXPECT_EQ(refused.at(0), "Last SN is used up, SN not programmed on site 2");
    }
}

// A run that stops before the sites (or finds no target) counts nothing, erases and writes
// nothing, powers every site off and saves the counters unchanged. An image that is not a
// regular file is refused at once (a FIFO without a writer never blocks the run), and one that
// cannot be read to its end is never burnt truncated.
TEST(SiteProgram, EarlyStopCountsNothing) {
    // path: none for an image file of size bytes, else in the bench's folder unless absolute.
    struct Case { const char* name; size_t size; const char* path; bool targets; std::string message; };
    const std::vector<Case> cases = {
        {"missing file", 16, "none.bin", true, "could not be opened!!!"},
        {"a folder", 16, "", true, "could not be opened!!!"},
        {"a FIFO", 16, "fifo.bin", true, "could not be opened!!!"},
        {"a link to a device", 16, "zero.bin", true, "could not be opened!!!"},
        {"a 3 GB file", 16, "huge.bin", true, "Code size exceed the max. size of flash!!!"},
        {"a read error", 16, "/proc/self/mem", true, "could not be read!!!"},
        {"too large", 0x10001, nullptr, true, "Code size exceed the max. size of flash!!!"},
        {"no target", 64, nullptr, false, "No Target IC found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBurn bench;
        if (!c.targets) bench.populate({});
        bench.startWithCounters({4, 4, 0});
        const std::string path = !c.path ? bench.writeImage(PatternImage(c.size))
                                 : *c.path == '/' ? c.path
                                                  : bench.folder.filePath(c.path).toStdString();
        MakeUnreadableFiles(bench.folder.path().toStdString() + "/", ".bin");
        bench.page.image = path;
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

// Each worker's log lines (elapsed times shown as T) and the line counts at which it scrolls
// the operation list; a version query that fails is logged as failed, not as an empty version.
TEST(SiteSteps, WorkersLogTheirStepsAndScrollAfterTheRightLines) {
    struct Case {
        const char* name;
        uint32_t serialLocation;  // 2: no serial
        void (*worker)(WorkerPage&);
        std::vector<std::string> log;
        std::vector<size_t> scrolledAt;
        int failedGet = 0;  // 1: the version's answer, 2: the sub-version's
        std::vector<std::string> firmware = {"Firmware Version : V010", "Firmware Sub Version : SUB12345"};
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
        {"verify, version query fails", 2, SiteVerifyThread, {"Begin verifying........", "Verify elapsed time : T seconds"},
         {3, 4}, 1, {"Read firmware version fail !", "Firmware Sub Version : SUB12345"}},
        {"verify, sub-version query fails", 2, SiteVerifyThread,
         {"Begin verifying........", "Verify elapsed time : T seconds"}, {3, 4}, 2,
         {"Firmware Version : V010", "Read firmware sub version fail !"}},
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
        bench.startWithLastSerial(7);
        if (c.failedGet) bench.adapter.failGetAt(c.failedGet);
        bench.run(c.worker, image);

        std::vector<std::string> log = c.firmware;
        log.insert(log.end(), c.log.begin(), c.log.end());
        for (auto& line : bench.page.log) line = std::regex_replace(line, time, "time : T seconds");
        EXPECT_EQ(bench.page.log, log);
        EXPECT_EQ(bench.page.scrolledAt, c.scrolledAt);
        EXPECT_EQ(bench.counters(), (Counters{1, 1, 0}));
    }
}

// An empty image file gives nothing to read back, so no part passes on it: the run is refused
// before it erases, programs or reads a part, and counts none.
TEST(SiteSteps, NoPartPassesOnAnEmptyImage) {
    for (auto worker : {SiteProgramThread, SiteVerifyThread}) {
        SimulatedBurn bench;
        bench.populate({0, 2});
        bench.run(worker, {});
        EXPECT_EQ(bench.counters(), (Counters{0, 0, 0}));
        for (uint8_t command : {0x26, 0x27, 0x29, 0x2B, 0x06}) EXPECT_EQ(CountSets(bench.adapter, command), 0u);
        EXPECT_EQ(bench.page.messages, std::vector<std::string>{"File : " + bench.page.image + " holds no code!"});
        EXPECT_EQ(bench.services.tones(), kFailTones);
    }
}

// Faults on one of two sites. A failed read is retried after a classic reconnect (0x00, though
// this firmware connects with 0x3D): twice in the burn, once in verify, the image's last,
// partial block as any other. A site that cannot be selected is left alone rather than worked
// on through the last selection and is not counted, but its socket was never worked on: the
// run fails, however the other site ends. So does a site whose power-on the adapter refused or
// whose connect failed, with a line naming it. A site that cannot be prepared was never
// compared and fails.
TEST(SiteSteps, HandlesFaultsOfOneSite) {
    auto image = PatternImage(4010);  // the last block holds 10 bytes of the image
    image[0x805] |= 0x04;  // the stuck bits below hold these clear
    image[0xFA9] |= 0x01;
    enum Fault { ReadFails, ReadFailsTwice, LastReadFails, SelectFails, FirstSelectFails, PrepareFails, Stuck, LastBlockStuck,
                 PowerOnFails, ConnectFails, ConnectReplyLost };
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
        {"burn, read fails once", SiteProgramThread, ReadFails, {2, 2, 0}, 1, {}},
        {"burn, stuck bit", SiteProgramThread, Stuck, {2, 1, 1}, 2, {site2Failure}},
        {"burn, select fails", SiteProgramThread, SelectFails, {1, 1, 0}, 0, {"Select fail at site 2!!!"}},
        {"burn, first site's select fails", SiteProgramThread, FirstSelectFails, {1, 1, 0}, 0, {"Select fail at site 1!!!"}},
        {"burn, power-on refused", SiteProgramThread, PowerOnFails, {1, 1, 0}, 0, {"Power on fail at site 2!!!"}},
        {"burn, connect fails", SiteProgramThread, ConnectFails, {1, 1, 0}, 0, {"Connect fail at site 2!!!"}},
        {"burn, connect's reply lost", SiteProgramThread, ConnectReplyLost, {1, 1, 0}, 0, {"Connect fail at site 2!!!"}},
        {"verify, read fails once", SiteVerifyThread, ReadFails, {2, 2, 0}, 5, {}},
        {"verify, read fails twice", SiteVerifyThread, ReadFailsTwice, {2, 1, 1}, 5,
         {"Verified Failure on 0x10000000 at site 1!!!"}},
        {"verify, stuck bit", SiteVerifyThread, Stuck, {2, 1, 1}, 5, {site2Failure}},
        {"verify, last block's read fails once", SiteVerifyThread, LastReadFails, {2, 2, 0}, 5, {}},
        {"verify, last block differs", SiteVerifyThread, LastBlockStuck, {2, 1, 1}, 5,
         {"Verified Failure on 0x10000fa0 at site 2!!!"}},
        {"verify, select fails", SiteVerifyThread, SelectFails, {1, 1, 0}, 3, {"Select fail at site 2!!!"}},
        {"verify, first site's select fails", SiteVerifyThread, FirstSelectFails, {1, 1, 0}, 3, {"Select fail at site 1!!!"}},
        {"verify, power-on refused", SiteVerifyThread, PowerOnFails, {1, 1, 0}, 3, {"Power on fail at site 2!!!"}},
        {"verify, connect fails", SiteVerifyThread, ConnectFails, {1, 1, 0}, 3, {"Connect fail at site 2!!!"}},
        {"verify, connect's reply lost", SiteVerifyThread, ConnectReplyLost, {1, 1, 0}, 4, {"Connect fail at site 2!!!"}},
        {"verify, prepare fails", SiteVerifyThread, PrepareFails, {2, 1, 1}, 4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto prepare = [&](SimulatedBurn& b) {
            b.populate({0, 1});
            for (int site : {0, 1}) b.preload(site, image);
        };
        int failGet = 0, failSet = 0;
        std::vector<sim::Exchange> cleanLog;
        {
            SimulatedBurn clean;
            prepare(clean);
            clean.run(c.worker, image);
            using Kind = sim::Exchange::Kind;
            const auto& a = clean.adapter;
            if (c.fault == ReadFails || c.fault == ReadFailsTwice) failGet = FirstExchangeOf(a, Kind::Get, 0x0B, kFlash);
            if (c.fault == LastReadFails) failGet = FirstExchangeOf(a, Kind::Get, 0x0B, kFlash + 0xFA0);
            if (c.fault == SelectFails) failSet = FirstExchangeOf(a, Kind::Set, 0x3A, 1);
            if (c.fault == FirstSelectFails) failSet = FirstExchangeOf(a, Kind::Set, 0x3A, 0);
            if (c.fault == PrepareFails) failSet = FirstExchangeOf(a, Kind::Set, 0x03);
            cleanLog = a.exchanges();
        }
        SimulatedBurn bench;
        prepare(bench);
        if (failGet) bench.adapter.failGetAt(failGet);
        if (c.fault == ReadFailsTwice) bench.adapter.failGetAt(failGet + 2);  // a connect's get in between
        if (failSet) bench.adapter.failSetAt(failSet);
        if (c.fault == PowerOnFails) FailReach(bench.adapter, cleanLog, 1, ReachFault::PowerOn);
        if (c.fault == ConnectFails) FailReach(bench.adapter, cleanLog, 1, ReachFault::ConnectTransfer);
        if (c.fault == ConnectReplyLost) FailReach(bench.adapter, cleanLog, 1, ReachFault::ConnectReply);
        if (c.fault == Stuck) bench.adapter.site(1).stickBits(kFlash + 0x805, 0x04, 0x00);
        if (c.fault == LastBlockStuck) bench.adapter.site(1).stickBits(kFlash + 0xFA9, 0x01, 0x00);
        bench.run(c.worker, image);
        EXPECT_EQ(bench.counters(), c.counted);
        const auto commands = bench.adapter.sentCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x00), c.classicConnects);
        auto failures = bench.page.logLinesWith("Verified Failure");
        const auto named = bench.page.logLinesWith("fail at site");
        failures.insert(failures.end(), named.begin(), named.end());
        EXPECT_EQ(failures, c.failures);
        EXPECT_EQ(bench.services.tones(), c.counted.fail || c.counted.total < 2 ? kFailTones : kPassTones);
    }
}

// The bar's range stays below 255 and its end is reached with the last site.
TEST(SiteVerify, ProgressReachesItsEndWithTheLastSite) {
    for (size_t size : {100u, 2048u, 40000u, 65536u}) {
        SCOPED_TRACE(size);
        SimulatedBurn bench;
        const auto image = PatternImage(size);
        for (int site = 0; site < 4; ++site) bench.preload(site, image);
        bench.run(SiteVerifyThread, image);

        const int upper = bench.page.ranges.back().second;
        EXPECT_TRUE(upper > 0 && upper < 255) << upper;
        EXPECT_EQ(bench.page.positions[bench.page.positions.size() - 2], upper);  // before the reset to 0
        EXPECT_TRUE(std::is_sorted(bench.page.positions.begin() + 2, bench.page.positions.end() - 1));
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
    }
}

}  // namespace
