#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/globals.h"
#include "engine_hid/info_block_image.h"
#include "support/recording_services.h"

namespace {

struct InfoSettings {
    InfoSettings() { Reset(); }
    ~InfoSettings() { Reset(); }
    static void Reset() {
        g_strExeDir.clear();
        g_strParam.clear();
        g_bInfoBlockEnable = g_bBootDataEnable = g_bVidPidEnable = g_bPllEnable = g_bParamEnable = 0;
        g_IspParam.fill(0);
        g_wProtectMask = 0;
        g_nRdpLevel = 1;
        g_nPcropType = 2;
        g_dwProtectAddr = 0;
    }
};

uint32_t WordAt(const InfoBlockImage& image, size_t offset) {
    return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
           static_cast<uint32_t>(image[offset + 3]) << 24;
}

TEST(InfoBlockImage, IsErasedWithEveryOptionOff) {
    InfoSettings settings;
    const auto image = ComposeInfoBlockImage();
    ASSERT_TRUE(image);
    EXPECT_TRUE(std::all_of(image->begin(), image->end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(BuildInfoBlockImage(), 0x33D7);
}

TEST(InfoBlockImage, WritesProtectionWordsOnlyWhenEnabled) {
    struct Case {
        uint32_t rdp, type;
        uint16_t mask;
        uint32_t word0, word2;
    };
    for (const auto& c : {Case{1, 0, 0x0003, 0xFE5501AA, 0x0003FFFC}, Case{0, 1, 0x0003, 0xFFFF0000, 0xFFFC0003},
                          Case{1, 2, 0x00FF, 0xFF5500AA, 0xFFFF0000}}) {
        InfoSettings settings;
        g_bInfoBlockEnable = 1;
        g_nRdpLevel = c.rdp;
        g_nPcropType = c.type;
        g_wProtectMask = c.mask;
        const auto image = *ComposeInfoBlockImage();
        EXPECT_EQ(WordAt(image, 0x10), c.word0);
        EXPECT_EQ(WordAt(image, 0x14), 0xFFFF0000u);
        EXPECT_EQ(WordAt(image, 0x18), c.word2);
        // Without boot data nothing but bytes 16 to 27 is written.
        for (size_t i = 0; i < image.size(); ++i) {
            if (i < 16 || i >= 28) {
                ASSERT_EQ(image[i], 0xFF) << i;
            }
        }
    }
}

// Words 12 to 21 (image offsets 0x40 to 0x64), each from its parameter word, in the image and
// in the option words that the information-block worker writes (which need only the
// information-block switch).
TEST(InfoBlockImage, WritesBootDataWordsByTheirSwitches) {
    constexpr uint32_t kOff = 0xFFFFFFFF;
    struct Case {
        uint32_t vidPid, pll, snEnable;
        std::array<uint32_t, 10> words;
    };
    const Case cases[] = {
        {0, 1, 1, {kOff, kOff, 0xCCCC3333, 0xBBBB4444, 0x0000FFFF, 0xAAAA5555, 0x99996666, 0x88887777, 0x4FEDB012,
                   0xFFEF0010}},
        {1, 0, 0, {0xEEEE1111, 0xDDDD2222, kOff, kOff, 0x00000000, 0xAAAA5555, 0x99996666, 0x88887777, 0x4FEDB012,
                   0xFFEF0010}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vidPid);
        InfoSettings settings;
        g_bInfoBlockEnable = 1;
        g_bBootDataEnable = 1;
        g_bVidPidEnable = c.vidPid;
        g_bPllEnable = c.pll;
        g_IspParam = {0x1111, 0x2222, 0x3333, 0x4444, static_cast<uint16_t>(c.snEnable), 0x5555, 0x6666, 0x7777,
                      0xB012, 0x0010};
        const auto image = *ComposeInfoBlockImage();
        for (size_t i = 0; i < c.words.size(); ++i) EXPECT_EQ(WordAt(image, 0x40 + 4 * i), c.words[i]) << i;
        for (size_t offset = 0x1C; offset < 0x40; offset += 4) EXPECT_EQ(WordAt(image, offset), kOff) << offset;
        EXPECT_TRUE(std::all_of(image.begin() + 0x68, image.end(), [](uint8_t b) { return b == 0xFF; }));

        g_bBootDataEnable = 0;
        EXPECT_EQ(WordAt(*ComposeInfoBlockImage(), 0x40), kOff);
        const auto words = BuildOptionWords();
        for (size_t i = 0; i < c.words.size(); ++i) EXPECT_EQ(words[12 + i], c.words[i]) << i;
    }
}

TEST(InfoBlockImage, OptionWordsTakeWriteProtectionFromTheProtectAddress) {
    struct Case {
        uint32_t address, type, word2;
    };
    for (const auto& c : {Case{0x3000, 0, 0x0007FFF8}, Case{0x3000, 1, 0xFFF80007}, Case{0x3000, 2, 0xFFFF0000},
                          Case{0x20000, 0, 0xFFFF0000}, Case{0x0FFF, 1, 0xFFFF0000}}) {
        InfoSettings settings;
        g_bInfoBlockEnable = 1;
        g_dwProtectAddr = c.address;
        g_nPcropType = c.type;
        const auto words = BuildOptionWords();
        EXPECT_EQ(words[2], c.word2) << std::hex << c.address << " type " << c.type;
        EXPECT_EQ(words[1], 0xFFFFFFFFu);
        EXPECT_EQ(words[22], 0xFFFFFFFFu);
    }
    InfoSettings settings;
    const auto off = BuildOptionWords();
    EXPECT_TRUE(std::all_of(off.begin(), off.end(), [](uint32_t w) { return w == 0xFFFFFFFF; }));
}

// The parameter area comes from the ".data" file in the program's Data folder; a file that
// cannot be read is reported and gives no image.
TEST(InfoBlockImage, TakesTheParameterAreaFromTheParameterFile) {
    InfoSettings settings;
    RecordingServices services;
    QTemporaryDir folder;
    g_strExeDir = folder.path().toStdString() + "/";
    g_strParam = "board.data";
    g_bParamEnable = 1;
    EXPECT_EQ(BuildInfoBlockImage(), 0);
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text, "File could not be opened !\r\n" + g_strExeDir + "Data/board.data");

    QDir(folder.path()).mkdir("Data");
    QFile file(folder.filePath("Data/board.data"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0004 A1B2C3D4\r\n");
    file.close();
    const auto image = ComposeInfoBlockImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(WordAt(*image, 1536 + 4), 0xA1B2C3D4u);
    EXPECT_EQ(WordAt(*image, 1536), 0xFFFFFFFFu);
    EXPECT_NE(BuildInfoBlockImage(), 0x33D7);
}

}  // namespace
