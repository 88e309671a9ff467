#include "dialogs/config_dlg.h"

#include <QTest>
#include <filesystem>

#include "app/crc16.h"
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
#include "support/simulated_burn.h"
#include "support/temp_config_folder.h"
#include "tool_bench.h"

using namespace res::config;

namespace {

constexpr IspParamWords kWords = {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003};
constexpr int kGroupTitle = 0;  // stands for the title box of "Enable Information Block Data"

// The CRC text of an erased information block holding these words at these offsets.
QString crcOf(const std::vector<std::pair<size_t, uint32_t>>& words) {
    std::vector<uint8_t> image(2048, 0xFF);
    for (auto [offset, word] : words)
        for (size_t i = 0; i < 4; ++i) image[offset + i] = static_cast<uint8_t>(word >> (8 * i));
    return QString::asprintf("%04X", CalcCRC16(image, 0xFFFF, 0));
}

void click(CConfigDlg& dialog, int id) {
    if (id == kGroupTitle) dialog.findChild<CChkGBox*>()->titleButton()->click();
    else Click(dialog.controls(), id);
}

// Runs the IC page's configuration button; act works the dialog and closes it.
bool configure(CISPDlg& page, const std::function<void(CConfigDlg&)>& act) {
    return WhenModal<CConfigDlg>([&] { Click(page.controls(), res::kIdcConfig); }, act);
}

void resetInfoSettings() {
    g_bInfoBlockEnable = g_bBootDataEnable = g_bVidPidEnable = g_bPllEnable = g_bParamEnable = 0;
    g_IspParam = kWords;
    g_wProtectMask = 0;
    g_strParam = "board.data";
    g_nRdpLevel = 0;
    g_nPcropType = 2;
    g_dwProtectAddr = 0x3000;
}

class ProgConfig : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        g_strExeDir = program.path();
        InitIniPath();
        g_dwFlashSize = 0x10000;
        g_nIspStartAddr = 0;
        g_bBeepSound = 1;
        resetInfoSettings();
        g_bSerialEnable = 1;
        g_dwSerialAddr = 0x100;
        g_nLastSerial = 7;
    }
    void TearDown() override { resetInfoSettings(); }
    Texts takeMessages() { return TakeMessages(services); }

    TempConfigFolder config;
    TempDir program;
    RecordingServices services;
};

}  // namespace

TEST_F(ProgConfig, CrcPreviewShowsTheImageOfTheChosenSettings) {
    g_bPllEnable = 1;
    const struct {
        std::vector<int> clicked;
        std::vector<std::pair<size_t, uint32_t>> words;
    } cases[] = {
        {{}, {}},
        {{kGroupTitle, kLevel0, kReadWriteProtection}, {{16, 0xFE5501AA}, {20, 0xFFFF0000}, {24, 0x0000FFFF}}},
        {{kGroupTitle, kLevel1, kNoneProtection}, {{16, 0xFFFF0000}, {20, 0xFFFF0000}, {24, 0xFFFF0000}}},
        {{kGroupTitle, kLevel0, kWriteProtection}, {{16, 0xFF5500AA}, {20, 0xFFFF0000}, {24, 0xFFFF0000}}},
        // Boot data with the USB ids switched off: those two words stay erased.
        {{kGroupTitle, kBootDataEnable},
         {{16, 0xFFFF0000}, {20, 0xFFFF0000}, {24, 0xFFFF0000}, {72, 0xCCCC3333}, {76, 0xBBBB4444}, {80, 0x0000FFFF},
          {84, 0xAAAA5555}, {88, 0x99996666}, {92, 0x88887777}, {96, 0x4DECB213}, {100, 0xFFFC0003}}},
        {{kBootDataEnable}, {}},  // the block switch governs the boot data too
    };
    for (const auto& c : cases) {
        CConfigDlg dialog;
        EXPECT_EQ(dialog.controls().text(kCrc), "33D7");
        for (int id : c.clicked) click(dialog, id);
        click(dialog, kCalculateCrc);
        EXPECT_EQ(dialog.controls().text(kCrc), crcOf(c.words)) << c.clicked.size();
    }
    EXPECT_TRUE(takeMessages().empty());
}

// The parameter area is merged whatever the block switch says, always from the Data folder.
TEST_F(ProgConfig, ParameterFileComesFromTheDataFolder) {
    g_bParamEnable = 1;
    CConfigDlg dialog;
    EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"});
    EXPECT_EQ(dialog.controls().text(kCrc), "0000");

    std::filesystem::create_directories(program.file("Data"));
    program.write("Data/other.data", "0004 A1B2C3D4\r\n");
    services.chosenFile = program.file("other.data");  // chosen outside the Data folder
    click(dialog, kChooseParamFile);
    EXPECT_EQ(dialog.controls().text(kParamFile), "other.data");
    click(dialog, kCalculateCrc);
    EXPECT_EQ(dialog.controls().text(kCrc), crcOf({{1540, 0xA1B2C3D4}}));
    click(dialog, kParamEnable);
    EXPECT_FALSE(dialog.control(kChooseParamFile)->isEnabled());
    click(dialog, kCalculateCrc);
    EXPECT_EQ(dialog.controls().text(kCrc), "33D7");
    EXPECT_TRUE(takeMessages().empty());
}

TEST_F(ProgConfig, BlockSwitchEnablesTheControlsItFrames) {
    CConfigDlg dialog;
    for (bool on : {false, true}) {
        for (int id : {kLevel0, kLevel1, kReadWriteProtection, kNoneProtection, kProtectMap, kBootDataEnable, kSetting})
            EXPECT_EQ(dialog.control(id)->isEnabled(), on) << id;
        for (int id : {kChipModel, kSerialEnable, kParamEnable, kCalculateCrc, 1}) EXPECT_TRUE(dialog.control(id)->isEnabled()) << id;
        click(dialog, kGroupTitle);
    }
}

// A stored value outside a field's bound is put right with one message; typed numbers are
// checked unsigned, without wrapping past 32 bits.
TEST_F(ProgConfig, SerialFieldsSettleAndRefuseWhatTheyCannotHold) {
    g_dwSerialAddr = 0x8000;
    CConfigDlg dialog;
    EXPECT_EQ(takeMessages(), Texts{"Out of range! Address must be <= 0x7FC"});
    EXPECT_EQ(dialog.controls().text(kSerialAddr), "7FC");
    const struct {
        int id;
        const char *typed, *message, *shown;
    } cases[] = {
        {kSerialAddr, "1g", "Address Error! Address must be HEX number", "7FC"},
        {kSerialAddr, "800", "Out of range! Address must be <= 0x7FC", "7FC"},
        {kInitialSerial, "4294967296", "Out of range! Serial No must be <= 0xFFFFFFFF", "7"},
        {kInitialSerial, "18446744073709551623", "Out of range! Serial No must be <= 0xFFFFFFFF", "7"},
        {kInitialSerial, "-1", "Serial No Error! Serial No must be digital number", "7"},
    };
    for (const auto& c : cases) {
        dialog.controls().setText(c.id, c.typed);
        EXPECT_EQ(takeMessages(), Texts{c.message}) << c.typed;
        EXPECT_EQ(dialog.controls().text(c.id), c.shown) << c.typed;
    }
    dialog.controls().setText(kInitialSerial, "4294967295");
    EXPECT_EQ(std::pair(dialog.m_nInitialSerial, g_dwSerialAddr), std::pair(0xFFFFFFFFu, 0x8000u));
}

TEST_F(ProgConfig, SettingAndProtectRangeHandTheirResultsBack) {
    g_bInfoBlockEnable = g_bVidPidEnable = 1;
    CConfigDlg dialog;
    const auto setting = [&](int snEnable, int button) {
        return WhenModal<CISPParmDlg>([&] { click(dialog, kSetting); }, [&](CISPParmDlg& parm) {
            Choose(parm.controls(), res::isp_parm::kSnEnable, snEnable);
            parm.controls().setText(res::isp_parm::kPid, "BEEF");
            Click(parm.controls(), button);
        });
    };
    ASSERT_TRUE(setting(0, 2));  // Cancel
    EXPECT_EQ(dialog.m_Info.ispParam, kWords);
    ASSERT_TRUE(setting(0, 1));
    EXPECT_EQ((std::pair{dialog.m_Info.ispParam[1], dialog.m_Info.ispParam[4]}), (std::pair<uint16_t, uint16_t>{0xBEEF, 0}));
    // Only the box follows SN_EN; its fields wait for a click on it.
    EXPECT_FALSE(dialog.controls().isChecked(kSerialEnable));
    EXPECT_TRUE(dialog.control(kSerialAddr)->isEnabled());

    auto* map = dynamic_cast<CProtectArea*>(dialog.control(kProtectMap));
    ASSERT_NE(map, nullptr);
    for (int button : {1, 2}) {
        ASSERT_TRUE(WhenModal<CProtectRangeDlg>([&] { QTest::mouseClick(map, Qt::LeftButton); }, [&](CProtectRangeDlg& r) {
            for (int id : {button == 1 ? 1147 : 1148, button}) Click(r.controls(), id);
        }));
        EXPECT_EQ(map->m_wMask, 0x0002);
    }
    EXPECT_EQ(dialog.m_Info.protectMask, 0x0002);
    EXPECT_EQ(dialog.m_dwProtectAddr, 0x3000u);
}

// Cancel stores nothing; OK stores and saves the protection settings and takes over those of
// the information block; nothing opens during a task.
TEST_F(ProgConfig, ConfigButtonStoresOnlyOnOk) {
    CISPDlg page;
    const auto stored = [] {
        return std::vector<uint32_t>{g_nRdpLevel, g_nPcropType, g_dwProtectAddr, g_bInfoBlockEnable,
                                     RegLoadRdpLevel(), RegLoadPcropType(), RegLoadProtectAddr()};
    };
    RegSaveProtectAddr(0x1000);
    const auto before = stored();
    for (int button : {2, 1}) {
        ASSERT_TRUE(configure(page, [&](CConfigDlg& dialog) {
            for (int id : {kGroupTitle, kLevel0, kWriteProtection, button}) click(dialog, id);
        }));
        EXPECT_TRUE(button == 1 || stored() == before) << "Cancel stores nothing";
    }
    EXPECT_EQ(stored(), (std::vector<uint32_t>{1, 1, 0x3000, 1, 1, 1, 0x3000}));
    EXPECT_TRUE(page.controls().isChecked(res::kIdcLevel0));
    EXPECT_TRUE(IniGetBeepSound(g_strIniPath));

    g_bTaskWorking = true;
    EXPECT_FALSE(configure(page, [](CConfigDlg& dialog) { dialog.reject(); }));
    g_bTaskWorking = false;
}

// What OK takes over is what the next information-block burn writes.
TEST(ProgConfigBurn, NextBurnWritesTheOptionWordsOfTheDialog) {
    SimulatedBurn bench;
    g_bTaskWorking = false;
    g_strExeDir = bench.folder.path().toStdString() + "/";
    resetInfoSettings();
    g_bVidPidEnable = 1;
    CISPDlg page;
    ASSERT_TRUE(configure(page, [](CConfigDlg& dialog) {
        for (int id : {kGroupTitle, kLevel0, kReadWriteProtection, kBootDataEnable}) click(dialog, id);
        WhenModal<CISPParmDlg>([&] { click(dialog, kSetting); }, [](CISPParmDlg& parm) {
            parm.controls().setText(res::isp_parm::kVid, "1234");
            Click(parm.controls(), 1);
        });
        click(dialog, 1);
    }));
    Click(page.controls(), res::kIdcAuto);
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
