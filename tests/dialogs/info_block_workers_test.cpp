#include "dialogs/info_block_workers.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "dialogs/dump_dlg.h"
#include "dialogs/read_crc_dlg.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "platform/strfmt.h"
#include "res/info_block_templates.h"
#include "support/golden_file.h"
#include "support/exchange_log.h"
#include "support/recording_page.h"
#include "support/simulated_adapter_fixture.h"

namespace {

constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kPage2 = 0x1FF00400;
constexpr int kSocket = 2;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    return bytes;
}

// A target on site 3 powered and connected by Open Debug, with security words in page 1 and
// old contents in page 2.
class InfoWorkers : public SimulatedAdapterTest {
public:
    void SetUp() override {
        SimulatedAdapterTest::SetUp();
        target().write(kInfo, Pattern(1024, 0x10));
        target().write(kPage2, Pattern(1024, 0x80));
        engine_hid::SetPauseClockForTests([](uint32_t) {});
        ASSERT_EQ(PowerAndConnect(kSocket), kConnectOk);
    }
    void TearDown() override {
        engine_hid::SetPauseClockForTests({});
        SimulatedAdapterTest::TearDown();
    }
    sim::Site target() { return adapter.site(kSocket); }
    // The security words of page1 as the erase names them when none of them landed in page 2.
    static std::string KeptWordsText(const std::vector<uint8_t>& page1) {
        std::string text;
        const auto word = [&](uint32_t at) {
            text += strfmt("\r\n0x%08X: 0x%02X%02X%02X%02X", kPage2 + at, page1[at + 3], page1[at + 2], page1[at + 1], page1[at]);
        };
        for (uint32_t at = 0; at < 128; at += 4) word(at);
        word(0x100);
        word(0x108);
        return text.substr(2);
    }
    // What page 2 holds after an erase that kept page 1's security words.
    static std::vector<uint8_t> ErasedKeeping(const std::vector<uint8_t>& page1) {
        std::vector<uint8_t> expected(1024, 0xFF);
        for (auto [at, size] : {std::pair(0, 128), {0x100, 4}, {0x108, 4}}) std::copy_n(page1.begin() + at, size, expected.begin() + at);
        return expected;
    }
    void restart() {
        TearDown();
        SetUp();
        page = RecordingPage();
    }

    RecordingPage page;
};

// Each sequence against its reviewed log, and what the target holds (or what was read) after it.
TEST_F(InfoWorkers, SequencesMatchTheirGoldenLogs) {
    const auto page1 = Pattern(1024, 0x10);
    const auto page2 = Pattern(1024, 0x80);
    ParameterArea area;
    for (size_t i = 0; i < area.size(); ++i) area[i] = static_cast<uint8_t>(i * 3);
    const std::vector<uint8_t> areaBytes(area.begin(), area.end());
    struct Case {
        const char* name;
        std::function<void(InfoWorkers&)> run;
    };
    const Case cases[] = {
        {"parameter-write",
         [&](InfoWorkers& t) {
             t.target().write(kParameterAreaAddr, std::vector<uint8_t>(512, 0xFF));
             WriteParameterArea(t.page, kSocket, area);
             EXPECT_EQ(t.target().read(kParameterAreaAddr, 512), areaBytes);
         }},
        {"parameter-read",
         [&](InfoWorkers& t) {
             const ParameterArea read = ReadParameterArea(t.page, kSocket);
             EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()), std::vector<uint8_t>(page2.begin() + 0x200, page2.end()));
             EXPECT_EQ(std::pair(t.page.ranges.front(), t.page.positions.back()), std::pair(std::make_pair(0, 17), 17));
             EXPECT_FALSE(t.page.shown[res::kIdcInfoBar]);
         }},
        {"parameter-erase",
         [&](InfoWorkers& t) {
             EXPECT_TRUE(EraseInfoPageKeepingSecurity(t.page, kSocket, 1));
             EXPECT_EQ(t.target().read(kPage2, 1024), t.ErasedKeeping(page1));
             EXPECT_EQ(t.target().read(kInfo, 1024), page1);
         }},
        {"info-page1-erase",
         [&](InfoWorkers& t) {
             EXPECT_TRUE(EraseInfoPageKeepingSecurity(t.page, kSocket, 0));
             EXPECT_EQ(t.target().read(kInfo, 1024), t.ErasedKeeping(page1));
             EXPECT_EQ(t.target().read(kPage2, 1024), page2);
         }},
        {"info-page2-read",
         [&](InfoWorkers& t) {
             const InfoPageWords words = ReadInfoPage(t.page, kSocket, 1);
             EXPECT_EQ(std::pair(words[0], words[255]), std::pair(0x958E8780u, t.target().word(kPage2 + 0x3FC)));
         }},
        {"info-page2-write",
         [&](InfoWorkers& t) {
             InfoPageWords words;
             std::iota(words.begin(), words.end(), 0x11110000u);
             t.target().write(kPage2, std::vector<uint8_t>(1024, 0xFF));
             WriteInfoPage(t.page, kSocket, 1, words);
             EXPECT_EQ(std::pair(t.target().word(kPage2), t.target().word(kPage2 + 0x3FC)), std::pair(0x11110000u, 0x111100FFu));
         }},
        {"copy-security",
         [&](InfoWorkers& t) {
             EXPECT_TRUE(CopySecurityToPage2(t.page, kSocket));
             EXPECT_EQ(std::pair(t.target().debugRegister(0x8), t.target().debugRegister(0x4)), std::pair(0u, 0x50000000u));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        ExchangeLog log(adapter);
        c.run(*this);
        EXPECT_TRUE(page.messages.empty());
        ExpectGolden("dialogs", std::string(c.name) + ".log", log.text());
    }
}

// A failed exchange is reported and never passes for data: unread bytes are 0xFF, and a page
// whose security words could not all be read is not erased.
TEST_F(InfoWorkers, FailuresAreReportedAndNothingIsLost) {
    const auto page1 = Pattern(1024, 0x10);
    const auto page2 = Pattern(1024, 0x80);
    struct Case {
        const char* name;
        int failGet;  // counted from the sequence's start
        std::function<void(InfoWorkers&)> run;
        std::vector<std::string> messages;
        int failSet = 0;  // likewise
        int times = 1;    // the exchanges failed in a row from there
    };
    const std::string notErased = "Can not read the security words, page not erased!";
    // The erase of information page index (0 or 1) fails, and the page keeps its bytes.
    const auto failedErase = [&](int index) {
        return [&, index](InfoWorkers& t) {
            EXPECT_FALSE(EraseInfoPageKeepingSecurity(t.page, kSocket, index));
            EXPECT_EQ(t.target().read(index ? kPage2 : kInfo, 1024), index ? page2 : page1);
        };
    };
    // An exchange of the write-back lost once is sent again at once: the page holds page 1's
    // security words, the erase passes, and so does the operator's next Erase.
    const auto keptErase = [&](int index) {
        return [&, index](InfoWorkers& t) {
            for (int press = 0; press < 2; ++press) {
                EXPECT_TRUE(EraseInfoPageKeepingSecurity(t.page, kSocket, index)) << "press " << press + 1;
                EXPECT_EQ(t.target().read(index ? kPage2 : kInfo, 1024), t.ErasedKeeping(page1)) << "press " << press + 1;
            }
        };
    };
    // Erase without Open Debug: the site powered off (or powered but never connected), the adapter
    // answers every read with a byte of its own (0xFF, or 0x00) and carries nothing out. No word
    // was read from the part, so none is named.
    const auto unopenedErase = [&](int index, uint32_t power, uint8_t answers = 0xFF) {
        return [&, index, power, answers](InfoWorkers& t) {
            adapter.answerUnreachedWith(answers);
            ASSERT_EQ(HidSelectSocket(kSocket), 1);
            HidSetSocketPower(0);
            if (power) HidSetSocketPower(power);
            failedErase(index)(t);
        };
    };
    const Case cases[] = {
        {"erase page 1 without Open Debug, site off", 0, unopenedErase(0, 0), {"Erase fail!"}},
        {"erase page 2 without Open Debug, site off", 0, unopenedErase(1, 0), {"Erase fail!"}},
        {"erase page 2 without Open Debug, site on, target not connected", 0, unopenedErase(1, 1), {"Erase fail!"}},
        // An adapter may answer zeros for a part it cannot reach: no such word is named either.
        {"erase page 1 without Open Debug, zeros answered off target", 0, unopenedErase(0, 0, 0x00), {"Erase fail!"}},
        {"erase page 2 without Open Debug, site on, zeros answered off target", 0, unopenedErase(1, 1, 0x00), {"Erase fail!"}},
        {"parameter read, block 1", 33,
         [&](InfoWorkers& t) {
             const ParameterArea read = ReadParameterArea(t.page, kSocket);
             EXPECT_EQ(read[31], page2[0x200 + 31]);
             EXPECT_EQ(std::vector<uint8_t>(read.begin() + 32, read.begin() + 64), std::vector<uint8_t>(32, 0xFF));
             EXPECT_EQ(read[64], page2[0x200 + 64]);
         },
         {"Read fail at 0x1FF00620!"}},
        {"erase, word 0x100", 4, failedErase(1), {notErased}},
        {"erase page 1, block 0x60", 12, failedErase(0), {notErased}},
        {"write-enable read-back", 7,
         [&](InfoWorkers& t) { WriteParameterArea(t.page, kSocket, ParameterArea{}); },
         {"Write fail at 0x1FF00600!"}},
        // With the first key write lost the controller stays locked: the page keeps its old bytes.
        {"erase page 1, first key write", 0, failedErase(0), {"Erase fail!"}, 16},
        {"erase page 2, first key write", 0, failedErase(1), {"Erase fail!"}, 16},
        {"page write, first key write", 0,
         [&](InfoWorkers& t) {
             WriteInfoPage(t.page, kSocket, 1, InfoPageWords{});
             EXPECT_EQ(t.target().read(kPage2, 1024), page2);
         },
         {"Write fail at 0x1FF00400!"}, 4},
        {"parameter write, first key write", 0,
         [&](InfoWorkers& t) {
             WriteParameterArea(t.page, kSocket, ParameterArea{});
             EXPECT_EQ(t.target().read(kPage2, 1024), page2);
         },
         {"Write fail at 0x1FF00600!"}, 3},
        {"erase page 1, a security word's write-back lost once", 0, keptErase(0), {}, 24},
        {"erase page 2, the write-back of word 0x108 lost once", 0, keptErase(1), {}, 56},
        {"erase page 1, the write enable's read-back lost once", 19, keptErase(0), {}},
        // Written back nowhere: the word is gone from the part, and the message gives what it held.
        {"erase page 1, a security word's write-back lost every time", 0,
         [&](InfoWorkers& t) {
             EXPECT_FALSE(EraseInfoPageKeepingSecurity(t.page, kSocket, 0));
             EXPECT_EQ(t.target().word(kInfo + 4), 0xFFFFFFFFu);
         },
         {"Erase fail!\r\nKept words not written back:\r\n0x1FF00004: 0x413A332C"}, 24, 3},
        {"erase page 2, the write enable lost every time", 0,
         [&](InfoWorkers& t) { EXPECT_FALSE(EraseInfoPageKeepingSecurity(t.page, kSocket, 1)); },
         {"Erase fail!\r\nKept words not written back:\r\n" + KeptWordsText(page1)}, 61, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        for (int i = 0; i < c.times; ++i) {
            if (c.failGet) adapter.failGetAt(adapter.getCount() + c.failGet + i);
            if (c.failSet) adapter.failSetAt(adapter.setCount() + c.failSet + i);
        }
        c.run(*this);
        EXPECT_EQ(page.messages, c.messages);
    }
}

// A select that fails leaves the site selected before addressed: the workers send nothing more
// and report it, so they never read, write or erase that other site.
TEST_F(InfoWorkers, AFailedSelectNeverActsOnTheSiteSelectedBefore) {
    const auto other = Pattern(2048, 0x33);
    struct Case {
        const char* name;
        std::function<void(InfoWorkers&)> run;
        std::vector<std::string> messages;
    };
    const std::string readFail = "Read fail at 0x1FF00600!";
    const Case cases[] = {
        {"parameter read", [](InfoWorkers& t) { EXPECT_EQ(ReadParameterArea(t.page, kSocket)[0], 0xFF); }, {readFail}},
        {"parameter write", [](InfoWorkers& t) { WriteParameterArea(t.page, kSocket, ParameterArea{}); },
         {"Write fail at 0x1FF00600!"}},
        {"page erase", [](InfoWorkers& t) { EXPECT_FALSE(EraseInfoPageKeepingSecurity(t.page, kSocket, 1)); }, {"Erase fail!"}},
        {"page read", [](InfoWorkers& t) { EXPECT_EQ(ReadInfoPage(t.page, kSocket, 1)[0], 0xFFFFFFFFu); },
         {"Read fail at 0x1FF00400!"}},
        {"page write", [](InfoWorkers& t) { WriteInfoPage(t.page, kSocket, 1, InfoPageWords{}); },
         {"Write fail at 0x1FF00400!"}},
        {"security copy", [](InfoWorkers& t) { EXPECT_FALSE(CopySecurityToPage2(t.page, kSocket)); }, {"Erase fail!"}},
        {"open debug", [](InfoWorkers&) { EXPECT_EQ(PowerAndConnect(kSocket), kConnectTransferFailed); }, {}},
        {"dump", [](InfoWorkers& t) { EXPECT_FALSE(ReadTargetPages(t.page, kSocket, 0, 1)); }, {"Read fail at 0x10000000!"}},
        {"CRC read-back", [](InfoWorkers& t) { EXPECT_FALSE(ReadTargetCrcs(t.page, kSocket, 0x10000).mainCode); },
         {"Read fail at 0x10000000!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        adapter.site(0).write(kInfo, other);
        ASSERT_EQ(PowerAndConnect(0), kConnectOk);
        const int select = adapter.setCount() + 1;
        adapter.failSetAt(select);
        c.run(*this);
        EXPECT_EQ(adapter.setCount(), select) << "nothing sent after the failed select";
        EXPECT_EQ(page.messages, c.messages);
        EXPECT_EQ(adapter.site(0).read(kInfo, 2048), other);
    }
}

}  // namespace
