#include "dialogs/config_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/crc16.h"
#include "app/globals.h"
#include "app/ic_page.h"
#include "app/ini_settings.h"
#include "app/protect_area.h"
#include "app/registry_settings.h"
#include "controls/chk_gbox.h"
#include "dialogs/isp_parm_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "res/config_template.h"
#include "res/ic_page_template.h"
#include "res/isp_parm_template.h"
#include "support/modal_dialog.h"
#include "support/recording_services.h"
#include "support/simulated_burn.h"
#include "support/temp_config_folder.h"
#include "support/temp_dir.h"

using namespace res::config;
using Texts = std::vector<std::string>;
using Words = std::vector<std::pair<size_t, uint32_t>>;  // image offset, 32-bit word

namespace {

constexpr IspParamWords kWords = {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003};

// The CRC text of an erased information block that holds these words.
QString crcOf(const Words& words) {
    std::array<uint8_t, 2048> image;
    image.fill(0xFF);
    for (auto [offset, word] : words)
        for (size_t i = 0; i < 4; ++i) image[offset + i] = static_cast<uint8_t>(word >> (8 * i));
    return QString::asprintf("%04X", CalcCRC16(image, 0xFFFF, 0));
}

void click(CConfigDlg& dialog, int id) { dialog.controls().control<QAbstractButton>(id)->click(); }
void clickGroupTitle(CConfigDlg& dialog) { dialog.findChild<CChkGBox*>()->titleButton()->click(); }

void resetInfoSettings() {
    g_bInfoBlockEnable = g_bBootDataEnable = g_bVidPidEnable = g_bPllEnable = g_bParamEnable = 0;
    g_IspParam.fill(0);
    g_wProtectMask = 0;
    g_strParam.clear();
}

class ProgConfig : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        g_strExeDir = program.path();
        InitIniPath();
        g_nChipMode = 0;
        g_dwFlashSize = 0x10000;
        g_nIspStartAddr = 0;
        g_bBeepSound = 1;
        g_nRdpLevel = 0;
        g_nPcropType = 2;
        g_dwProtectAddr = 0x3000;
        resetInfoSettings();
        g_IspParam = kWords;
        g_strParam = "board.data";
        g_bSerialEnable = 1;
        g_dwSerialAddr = 0x100;
        g_nLastSerial = 7;
    }
    void TearDown() override { resetInfoSettings(); }

    Texts takeMessages() {
        Texts texts;
        for (const auto& m : services.messages()) texts.push_back(m.text);
        services.clear();
        return texts;
    }

    TempConfigFolder config;
    TempDir program;
    RecordingServices services;
};

}  // namespace

TEST_F(ProgConfig, CrcPreviewShowsTheImageOfTheChosenSettings) {
    const Words bootWords = {{64, 0xFFFFFFFF}, {68, 0xFFFFFFFF}, {72, 0xCCCC3333}, {76, 0xBBBB4444}, {80, 0x0000FFFF},
                             {84, 0xAAAA5555}, {88, 0x99996666}, {92, 0x88887777}, {96, 0x4DECB213}, {100, 0xFFFC0003}};
    Words bootCase = {{16, 0xFF5500AA}, {20, 0xFFFF0000}, {24, 0xFFFF0000}};
    bootCase.insert(bootCase.end(), bootWords.begin(), bootWords.end());
    const struct {
        const char* name;
        std::vector<int> clicked;  // 0: the group's title box
        Words words;
    } cases[] = {
        {"everything off", {}, {}},
        {"level 0, read + write", {0, kLevel0, kReadWriteProtection}, {{16, 0xFE5501AA}, {20, 0xFFFF0000}, {24, 0x0000FFFF}}},
        {"level 1, none", {0, kLevel1, kNoneProtection}, {{16, 0xFFFF0000}, {20, 0xFFFF0000}, {24, 0xFFFF0000}}},
        {"level 0, write", {0, kLevel0, kWriteProtection}, {{16, 0xFF5500AA}, {20, 0xFFFF0000}, {24, 0xFFFF0000}}},
        {"boot data, USB ids off", {0, kLevel0, kBootDataEnable}, bootCase},
        {"boot data without the block switch", {kBootDataEnable}, {}},
    };
    g_bPllEnable = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CConfigDlg dialog;
        EXPECT_EQ(dialog.controls().text(kCrc), "33D7");
        for (int id : c.clicked) id == 0 ? clickGroupTitle(dialog) : click(dialog, id);
        click(dialog, kCalculateCrc);
        EXPECT_EQ(dialog.controls().text(kCrc), crcOf(c.words));
    }
    EXPECT_TRUE(takeMessages().empty());
}

// The parameter area is merged whatever the block switch says, from the Data folder only.
TEST_F(ProgConfig, ParameterFileComesFromTheDataFolder) {
    g_bParamEnable = 1;
    CConfigDlg dialog;
    EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"});
    EXPECT_EQ(dialog.controls().text(kCrc), "0000");

    std::filesystem::create_directories(program.file("Data"));
    std::filesystem::create_directories(program.file("elsewhere"));
    program.write("elsewhere/other.data", "0000 01020304\r\n");
    services.chosenFile = program.file("elsewhere/other.data");
    click(dialog, kChooseParamFile);
    EXPECT_EQ(dialog.controls().text(kParamFile), "other.data");
    click(dialog, kCalculateCrc);
    EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"});
    EXPECT_EQ(dialog.controls().text(kCrc), "0000");

    program.write("Data/other.data", "0004 A1B2C3D4\r\n");
    click(dialog, kCalculateCrc);
    EXPECT_EQ(dialog.controls().text(kCrc), crcOf({{1540, 0xA1B2C3D4}}));
    click(dialog, kParamEnable);
    EXPECT_FALSE(dialog.control(kChooseParamFile)->isEnabled());
    click(dialog, kCalculateCrc);
    EXPECT_EQ(dialog.controls().text(kCrc), "33D7");
    EXPECT_TRUE(takeMessages().empty());
}

TEST_F(ProgConfig, BlockSwitchEnablesTheControlsItFrames) {
    const std::vector<int> framed = {kLevel0, kLevel1, kReadWriteProtection, kWriteProtection, kNoneProtection,
                                     kProtectMap, kBootDataEnable, kSetting};
    const std::vector<int> outside = {kChipModel, kSerialEnable, kSerialAddr, kParamEnable, kCalculateCrc, 1, 2};
    CConfigDlg dialog;
    for (bool on : {false, true}) {
        for (int id : framed) EXPECT_EQ(dialog.control(id)->isEnabled(), on) << id;
        for (int id : outside) EXPECT_TRUE(dialog.control(id)->isEnabled()) << id;
        clickGroupTitle(dialog);
    }
    for (int id : {kStartAddr, kBeepSound, kStartAddrFrame}) EXPECT_TRUE(dialog.control(id)->isHidden()) << id;
}

// A stored value outside a field's bound is put right with one message; typed values are
// checked unsigned, without wrapping past 32 bits.
TEST_F(ProgConfig, SerialFieldsSettleAndRefuseWhatTheyCannotHold) {
    g_dwSerialAddr = 0x8000;
    CConfigDlg dialog;
    EXPECT_EQ(takeMessages(), Texts{"Out of range! Address must be <= 0x7FC"});
    EXPECT_EQ(dialog.controls().text(kSerialAddr), "7FC");
    EXPECT_EQ(g_dwSerialAddr, 0x8000u);
    const struct {
        int id;
        const char* typed;
        Texts messages;
        const char* shown;
        uint32_t held;
    } cases[] = {
        {kSerialAddr, "1g", {"Address Error! Address must be HEX number"}, "7FC", 0x7FC},
        {kSerialAddr, "800", {"Out of range! Address must be <= 0x7FC"}, "7FC", 0x7FC},
        {kSerialAddr, "1fc", {}, "1fc", 0x1FC},
        {kSerialAddr, "", {}, "", 0},
        {kInitialSerial, "4294967296", {"Out of range! Serial No must be <= 0xFFFFFFFF"}, "7", 7},
        {kInitialSerial, "18446744073709551623", {"Out of range! Serial No must be <= 0xFFFFFFFF"}, "7", 7},
        {kInitialSerial, "-1", {"Serial No Error! Serial No must be digital number"}, "7", 7},
        {kInitialSerial, "4294967295", {}, "4294967295", 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        dialog.controls().setText(c.id, c.typed);
        EXPECT_EQ(takeMessages(), c.messages) << c.typed;
        EXPECT_EQ(dialog.controls().text(c.id), c.shown) << c.typed;
        EXPECT_EQ(c.id == kSerialAddr ? dialog.m_dwSerialAddr : dialog.m_nInitialSerial, c.held) << c.typed;
    }
    click(dialog, kSerialEnable);
    EXPECT_FALSE(dialog.control(kSerialAddr)->isEnabled());
    EXPECT_FALSE(dialog.control(kInitialSerial)->isEnabled());
}

TEST_F(ProgConfig, SettingAndProtectRangeHandTheirResultsBack) {
    g_bInfoBlockEnable = 1;
    g_bVidPidEnable = 1;
    g_bSerialEnable = 0;
    CConfigDlg dialog;
    const auto setting = [&](int snEnable, int button) {
        return WhenModal<CISPParmDlg>([&] { click(dialog, kSetting); }, [&](CISPParmDlg& parm) {
            auto* list = parm.controls().control<QComboBox>(res::isp_parm::kSnEnable);
            list->setCurrentIndex(snEnable);
            emit list->activated(snEnable);
            parm.controls().setText(res::isp_parm::kPid, "BEEF");
            parm.controls().control<QAbstractButton>(button)->click();
        });
    };
    ASSERT_TRUE(setting(1, 2));  // Cancel
    EXPECT_EQ(dialog.m_Info.ispParam, kWords);
    EXPECT_FALSE(dialog.controls().isChecked(kSerialEnable));
    ASSERT_TRUE(setting(0, 1));
    EXPECT_EQ(dialog.m_Info.ispParam[1], 0xBEEF);  // PID
    EXPECT_EQ(dialog.m_Info.ispParam[4], 0x0000);  // SN_EN
    ASSERT_TRUE(setting(1, 1));
    EXPECT_EQ(dialog.m_Info.ispParam[4], 0xFFFF);
    // Only the box follows SN_EN; the fields wait for a click on it.
    EXPECT_TRUE(dialog.controls().isChecked(kSerialEnable));
    EXPECT_FALSE(dialog.control(kSerialAddr)->isEnabled());

    auto* map = dynamic_cast<CProtectArea*>(dialog.control(kProtectMap));
    ASSERT_NE(map, nullptr);
    const auto range = [&](std::vector<int> blocks, int button) {
        return WhenModal<CProtectRangeDlg>([&] { QTest::mouseClick(map, Qt::LeftButton); }, [&](CProtectRangeDlg& r) {
            for (int block : blocks) r.controls().control<QAbstractButton>(1146 + block)->click();
            r.controls().control<QAbstractButton>(button)->click();
        });
    };
    ASSERT_TRUE(range({0, 1}, 1));
    EXPECT_EQ(map->m_wMask, 0x0003);
    ASSERT_TRUE(range({2}, 2));
    EXPECT_EQ(map->m_wMask, 0x0003);
    EXPECT_EQ(dialog.m_Info.protectMask, 0x0003);
    EXPECT_EQ(dialog.m_dwProtectAddr, 0x3000u);
    click(dialog, kReadWriteProtection);
    EXPECT_EQ(map->m_nType, 0u);
}

// The IC page's configuration button: Cancel stores nothing, OK stores and saves the
// protection settings and takes over the settings of the information block; refused during
// a task.
TEST_F(ProgConfig, ConfigButtonStoresOnlyOnOk) {
    CISPDlg page;
    const auto stored = [] {
        return std::vector<uint32_t>{g_nRdpLevel, g_nPcropType, g_dwProtectAddr, g_bInfoBlockEnable,
                                     RegLoadRdpLevel(), RegLoadPcropType(), RegLoadProtectAddr()};
    };
    RegSaveProtectAddr(0x1000);
    const auto before = stored();
    for (int button : {2, 1}) {
        const bool opened = WhenModal<CConfigDlg>(
            [&] { page.controls().control<QAbstractButton>(res::kIdcConfig)->click(); },
            [&](CConfigDlg& dialog) {
                clickGroupTitle(dialog);
                click(dialog, kLevel0);
                click(dialog, kWriteProtection);
                click(dialog, button);
            });
        ASSERT_TRUE(opened);
        if (button == 2) {
            EXPECT_EQ(stored(), before);
        }
    }
    EXPECT_EQ(stored(), (std::vector<uint32_t>{1, 1, 0x3000, 1, 1, 1, 0x3000}));
    EXPECT_TRUE(page.controls().isChecked(res::kIdcLevel0));
    EXPECT_TRUE(IniGetBeepSound(g_strIniPath));
    EXPECT_EQ(g_nIspStartAddr, 0u);

    g_bTaskWorking = true;
    EXPECT_FALSE(WhenModal<CConfigDlg>([&] { page.controls().control<QAbstractButton>(res::kIdcConfig)->click(); },
                                       [](CConfigDlg& dialog) { dialog.reject(); }));
    g_bTaskWorking = false;
}

// What OK takes over is what the next information-block burn writes.
TEST(ProgConfigBurn, NextBurnWritesTheOptionWordsOfTheDialog) {
    SimulatedBurn bench;
    g_bTaskWorking = false;
    g_strExeDir = bench.folder.path().toStdString() + "/";
    g_nRdpLevel = 0;
    g_nPcropType = 2;
    g_dwProtectAddr = 0x3000;
    resetInfoSettings();
    g_IspParam = kWords;
    g_bVidPidEnable = 1;
    CISPDlg page;
    page.show();
    ASSERT_TRUE(WhenModal<CConfigDlg>([&] { page.controls().control<QAbstractButton>(res::kIdcConfig)->click(); },
                                      [&](CConfigDlg& dialog) {
                                          clickGroupTitle(dialog);
                                          click(dialog, kLevel0);
                                          click(dialog, kReadWriteProtection);
                                          click(dialog, kBootDataEnable);
                                          WhenModal<CISPParmDlg>([&] { click(dialog, kSetting); }, [](CISPParmDlg& parm) {
                                              parm.controls().setText(res::isp_parm::kVid, "1234");
                                              parm.controls().control<QAbstractButton>(1)->click();
                                          });
                                          click(dialog, 1);
                                      }));
    page.controls().control<QAbstractButton>(res::kIdcAuto)->click();
    ASSERT_TRUE(SpinUntil([] { return !g_bTaskWorking; }));

    std::vector<uint32_t> expected(22, 0xFFFFFFFF);
    expected[0] = 0xFE5501AA;  // level 0, read and write protection
    expected[2] = 0x0007FFF8;  // the blocks below the protect address
    const std::vector<uint32_t> boot = {0xEDCB1234, 0xDDDD2222, 0xFFFFFFFF, 0xFFFFFFFF, 0x0000FFFF,
                                        0xAAAA5555, 0x99996666, 0x88887777, 0x4DECB213, 0xFFFC0003};
    std::copy(boot.begin(), boot.end(), expected.begin() + 12);
    for (int site = 0; site < 4; ++site) {
        std::vector<uint32_t> written;
        for (uint32_t i = 0; i < 22; ++i) written.push_back(bench.adapter.site(site).word(0x1FF00010 + 4 * i));
        EXPECT_EQ(written, expected) << site;
    }
    EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
    resetInfoSettings();
}
