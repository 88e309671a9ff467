#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/globals.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/info_block_image.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"
#include "support/temp_dir.h"

namespace {

// Every information-block option off; the settings are put back afterwards.
struct InfoSettings : InformationSettingsKept {
    InfoSettings() {
        g_strExeDir.clear();
        g_bInfoBlockEnable = g_bBootDataEnable = g_bVidPidEnable = g_bPllEnable = g_bParamEnable = 0;
        g_IspParam.fill(0);
        g_wProtectMask = 0;
        g_nRdpLevel = 1;
        g_nPcropType = 2;
        g_dwProtectAddr = 0;
    }
};

TEST(InfoBlockImage, ReverseBits16MirrorsTheWord) {
    for (auto [value, reversed] : {std::pair<uint16_t, uint16_t>{0x0000, 0x0000}, {0x0001, 0x8000}, {0x8000, 0x0001},
                                   {0x00FF, 0xFF00}, {0x1234, 0x2C48}, {0xA5C3, 0xC3A5}, {0xFFFE, 0x7FFF}})
        EXPECT_EQ(ReverseBits16(value), reversed) << std::hex << value;
}

TEST(InfoBlockImage, IsErasedWithEveryOptionOff) {
    InfoSettings settings;
    const auto image = ComposeInfoBlockImage();
    ASSERT_TRUE(image);
    EXPECT_TRUE(std::all_of(image->begin(), image->end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(BuildInfoBlockImage(), 0x33D7);
    const auto words = BuildOptionWords();
    EXPECT_TRUE(std::all_of(words.begin(), words.end(), [](uint32_t w) { return w == 0xFFFFFFFF; }));
}

// The whole image, word by word: protection words at 0x10, boot-data words (by their own
// switches) at 0x40, 0xFF everywhere else. The worker's option words 12 to 21 match the
// boot-data words but need only the information-block switch.
TEST(InfoBlockImage, HoldsTheWordsTheSettingsChoose) {
    constexpr uint32_t kOff = 0xFFFFFFFF;
    struct Case {
        const char* name;
        uint32_t rdp, type, bootData, vidPid, pll;
        uint16_t mask, snEnable;
        std::vector<uint32_t> protectionWords, bootDataWords;
    };
    const std::vector<Case> cases = {
        {"read level 1, type 0", 1, 0, 0, 0, 0, 0x0003, 0, {0xFE5501AA, 0xFFFF0000, 0x0003FFFC}, {}},
        {"read level 0, type 1", 0, 1, 0, 0, 0, 0x0003, 0, {0xFFFF0000, 0xFFFF0000, 0xFFFC0003}, {}},
        {"clock words", 1, 2, 1, 0, 1, 0x00FF, 1, {0xFF5500AA, 0xFFFF0000, 0xFFFF0000},
         {kOff, kOff, 0xCCCC3333, 0xBBBB4444, 0x0000FFFF, 0xAAAA5555, 0x99996666, 0x88887777, 0x4FEDB012, 0xFFEF0010}},
        {"USB ids", 1, 2, 1, 1, 0, 0, 0, {0xFF5500AA, 0xFFFF0000, 0xFFFF0000},
         {0xEEEE1111, 0xDDDD2222, kOff, kOff, 0x00000000, 0xAAAA5555, 0x99996666, 0x88887777, 0x4FEDB012, 0xFFEF0010}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InfoSettings settings;
        g_bInfoBlockEnable = 1;
        g_nRdpLevel = c.rdp;
        g_nPcropType = c.type;
        g_wProtectMask = c.mask;
        g_bBootDataEnable = c.bootData;
        g_bVidPidEnable = c.vidPid;
        g_bPllEnable = c.pll;
        g_IspParam = {0x1111, 0x2222, 0x3333, 0x4444, c.snEnable, 0x5555, 0x6666, 0x7777, 0xB012, 0x0010};
        InfoBlockImage expected;
        expected.fill(0xFF);
        const auto put = [&](size_t offset, const std::vector<uint32_t>& words) {
            for (uint32_t word : words) {
                for (int i = 0; i < 4; ++i) expected[offset++] = static_cast<uint8_t>(word >> (8 * i));
            }
        };
        put(0x10, c.protectionWords);
        put(0x40, c.bootDataWords);
        EXPECT_EQ(*ComposeInfoBlockImage(), expected);

        if (c.bootDataWords.empty()) continue;
        g_bBootDataEnable = 0;
        const auto words = BuildOptionWords();
        EXPECT_EQ(std::vector<uint32_t>(words.begin() + 12, words.begin() + 22), c.bootDataWords);
    }
}

// The worker's write-protection word comes from the protect address, in 4 KB blocks.
TEST(InfoBlockImage, OptionWordsTakeWriteProtectionFromTheProtectAddress) {
    struct Case { uint32_t address, type, word2; };
    for (const auto& c : {Case{0x3000, 0, 0x0007FFF8}, Case{0x3000, 1, 0xFFF80007}, Case{0x3000, 2, 0xFFFF0000},
                          Case{0x20000, 0, 0xFFFF0000}, Case{0x0FFF, 1, 0xFFFF0000},
                          Case{0x3000, 3, 0xFF5500AA} /* an unknown type repeats the read protection */}) {
        InfoSettings settings;
        g_bInfoBlockEnable = 1;
        g_dwProtectAddr = c.address;
        g_nPcropType = c.type;
        EXPECT_EQ(BuildOptionWords()[2], c.word2) << std::hex << c.address << " type " << c.type;
    }
}

// The parameter area comes from the ".data" file in the program's Data folder; a file that
// cannot be read is reported and gives no image.
TEST(InfoBlockImage, TakesTheParameterAreaFromTheParameterFile) {
    InfoSettings settings;
    RecordingServices services;
    TempDir folder;
    g_strExeDir = folder.path();
    g_strParam = "board.data";
    g_bParamEnable = 1;
    EXPECT_EQ(BuildInfoBlockImage(), 0);
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text, "File could not be opened !\r\n" + folder.path() + "Data/board.data");

    std::filesystem::create_directory(folder.file("Data"));
    folder.write("Data/board.data", "0004 A1B2C3D4\r\n");
    const auto image = ComposeInfoBlockImage().value();
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 1536, image.begin() + 1544),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1}));
}

constexpr uint32_t kInfo = 0x1FF00000;
const std::vector<uint8_t> kSite3Head = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// Two targets with different security words, and stale option words to be erased.
struct InfoRun : SimulatedBurn {
    InfoRun() {
        g_bInfoBlockEnable = 0;
        g_nRdpLevel = 1;
        g_nPcropType = 0;
        g_dwProtectAddr = 0x3000;
        populate({1, 2});
        adapter.site(1).write(kInfo, std::vector<uint8_t>(16, 0x11));
        adapter.site(2).write(kInfo, kSite3Head);
        for (int site : {1, 2}) adapter.site(site).write(kInfo + 0x10, std::vector<uint8_t>(8, 0x00));
    }
    ~InfoRun() { g_bInfoBlockEnable = 0; }
};

// A block whose security words cannot be read is left unerased (they would be lost); a block
// that reads back wrong, or cannot be read back, is logged by its 32-byte blocks. Either way
// that part fails.
TEST(ProgramInfoBlock, FailsAPartItCannotRewriteSafely) {
    InfoRun probe;
    probe.run(ProgramInfoBlockThread, {});
    const int keptRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x0B);
    const int verifyRead = FirstExchangeOf(probe.adapter, sim::Exchange::Kind::Get, 0x07, kInfo);
    struct Case {
        const char* name;
        std::function<void(sim::Adapter&)> fault;
        int failedSite;
        bool erased;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"kept words unreadable", [&](sim::Adapter& a) { a.failGetAt(keptRead); }, 1, false, {}},
        {"read-back fails", [&](sim::Adapter& a) { a.failGetAt(verifyRead); }, 1, true,
         {"Verified information block Failure at 0x0!!!"}},
        {"stuck bits",
         [](sim::Adapter& a) {
             a.site(2).stickBits(kInfo + 0x45, 0x01, 0x00);
             a.site(2).stickBits(kInfo + 0x3FF, 0x80, 0x00);
         },
         2, true, {"Verified information block Failure at 0x40!!!", "Verified information block Failure at 0x3e0!!!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InfoRun bench;
        c.fault(bench.adapter);
        bench.run(ProgramInfoBlockThread, {});
        EXPECT_EQ(bench.counters(), (Counters{2, 1, 1}));
        EXPECT_EQ(bench.page.icons[1103 + c.failedSite], 151);
        EXPECT_EQ(bench.page.logLinesWith("Verified information block Failure at 0x"), c.log);
        // The stale option words stay only where the block was not erased.
        EXPECT_EQ(bench.adapter.site(c.failedSite).read(kInfo + 0x10, 8), std::vector<uint8_t>(8, c.erased ? 0xFF : 0x00));
    }
}

}  // namespace
