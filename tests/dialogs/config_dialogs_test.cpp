#include <QAccessible>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "core/crc16.h"
#include "app/ic_page.h"
#include "core/ini_settings.h"
#include "app/main_window.h"
#include "core/protect_area.h"
#include "core/registry_settings.h"
#include "controls/chk_gbox.h"
#include "dialogs/config1_dlg.h"
#include "dialogs/config_dlg.h"
#include "dialogs/dump_dlg.h"
#include "dialogs/info_param_dlg.h"
#include "dialogs/isp_parm_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "platform/registry_store.h"
#include "res/config1_template.h"
#include "res/config_template.h"
#include "res/dump_sf_template.h"
#include "res/ic_page_template.h"
#include "res/info_param_template.h"
#include "res/isp_parm_template.h"
#include "res/protect_range_template.h"
#include "sfpage/dump_sf_dlg.h"
#include "support/box_changes.h"
#include "support/simulated_burn.h"
#include "support/temp_config_folder.h"
#include "support/unreadable_files.h"
#include "tool_bench.h"

using namespace res;
using namespace res::config;
using namespace res::isp_parm;

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
        RegSaveLastSn(7);  // the dialogs show the number the next part gets
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
    // A FIFO, an endless device or a huge file is refused at once.
    for (const std::string& name : MakeUnreadableFiles(program.file("Data") + "/", ".data")) {
        services.chosenFile = program.file("Data/" + name);
        click(dialog, kChooseParamFile);
        click(dialog, kCalculateCrc);
        EXPECT_EQ(dialog.controls().text(kCrc), "0000") << name;
        EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"}) << name;
    }
    click(dialog, kParamEnable);
    EXPECT_FALSE(dialog.control(kChooseParamFile)->isEnabled());
    click(dialog, kCalculateCrc);
    EXPECT_EQ(dialog.controls().text(kCrc), "33D7");
    EXPECT_TRUE(takeMessages().empty());
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
            Choose(parm.controls(), kSnEnable, snEnable);
            parm.controls().setText(kPid, "BEEF");
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

// The delayed start-address check: the frame shows for ten steps of the countdown (or until
// the stop flag), then an address that is no multiple of 256 is refused and the stored one put
// back.
TEST_F(ProgConfig, DelayedStartAddressCheckRefusesWhatIsNoMultipleOf256) {
    g_nIspStartAddr = 0x300;
    const struct {
        const char* typed;
        bool stop;
        int steps;
        Texts messages;
        const char* shown;
    } cases[] = {
        {"100", false, 10, {}, "100"},
        {"1FF", false, 10, {"ISP Start Address must be multiple of 0x100 !"}, "3"},
        {"zz", false, 10, {"ISP Start Address must be multiple of 0x100 !"}, "3"},
        {"", false, 10, {}, ""},
        {"42", true, 1, {"ISP Start Address must be multiple of 0x100 !"}, "3"},
    };
    for (const auto& c : cases) {
        CConfigDlg dialog;
        QWidget* frame = dialog.controls().control(kStartAddrFrame);
        dialog.controls().setText(kStartAddr, c.typed);
        dialog.StartAddrCheck();
        dialog.m_bStopStartAddrCheck = c.stop;
        for (int step = 1; step < c.steps; ++step) dialog.OnStartAddrTick();
        EXPECT_FALSE(frame->isHidden()) << c.typed;
        EXPECT_TRUE(dialog.m_StartAddrTimer.isActive()) << c.typed;
        EXPECT_EQ(takeMessages(), Texts{}) << c.typed;
        dialog.OnStartAddrTick();
        EXPECT_TRUE(frame->isHidden()) << c.typed;
        EXPECT_FALSE(dialog.m_StartAddrTimer.isActive()) << c.typed;
        EXPECT_EQ(takeMessages(), c.messages) << c.typed;
        EXPECT_EQ(dialog.controls().text(kStartAddr), c.shown) << c.typed;
    }
}

// Cancel stores nothing; OK stores and saves the protection settings and takes over those of
// the information block; nothing opens during a task.
TEST_F(ProgConfig, ConfigButtonStoresOnlyOnOk) {
    CISPDlg page;
    g_nIspStartAddr = 0x1200;  // OK shows the stored start address on the page made last
    const auto label = [&] { return page.controls().text(res::kIdcStartAddr); };
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
        EXPECT_EQ(label(), button == 1 ? "ISP Start Address From :0x1200" : "ISP Start Address From :0x0");
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
            parm.controls().setText(kVid, "1234");
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

namespace {

constexpr IspParamWords kErased = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

std::vector<int> selections(const ui::ControlSet& controls, std::initializer_list<int> ids) {
    std::vector<int> indexes;
    for (int id : ids) indexes.push_back(controls.control<QComboBox>(id)->currentIndex());
    return indexes;
}

}  // namespace

TEST(IspParams, ErasedWordsDecodeAndEncodeToTheDefinedDefaults) {
    const IspParamFields f = DecodeIspParams(kErased, 1, 0);
    EXPECT_EQ((std::vector<uint32_t>{f.snEnable, f.bootPinEnable, f.port, f.pin, f.pullEnable, f.activeHigh,
                                     f.usbIspEnable, f.uartPosition}),
              (std::vector<uint32_t>{1, 0, 15, 15, 1, 1, 0, 7}));
    const IspParamWords back = EncodeIspParams(f);
    EXPECT_EQ((std::vector<uint16_t>{back[4], back[8], back[9]}), (std::vector<uint16_t>{0xFFFF, 0x0FF3, 0x0017}));
    EXPECT_EQ(EncodeIspParams(DecodeIspParams({0, 0, 0, 0, 0x1234, 0, 0, 0, 0xA0F0, 0x0012}, 0, 0))[4], 0x0000);
}

// Every field changed through its control comes back in its word after OK, and the words
// decode to the fields the dialog held.
TEST(IspParams, DialogRoundTripsEveryField) {
    RecordingServices services;
    const struct {
        std::function<void(ui::ControlSet&)> change;
        size_t word;
        uint16_t value;
    } cases[] = {
        {[](auto& c) { c.setText(kVid, "abcd"); }, 0, 0xABCD},   {[](auto& c) { c.setText(kPid, "1"); }, 1, 0x0001},
        {[](auto& c) { c.setText(kPllL, "BEEF"); }, 2, 0xBEEF},  {[](auto& c) { c.setText(kPllH, ""); }, 3, 0x0000},
        {[](auto& c) { c.setText(kSn[0], "9"); }, 5, 0x0009},    {[](auto& c) { c.setText(kSn[1], "a"); }, 6, 0x000A},
        {[](auto& c) { c.setText(kSn[2], "FFFF"); }, 7, 0xFFFF}, {[](auto& c) { Choose(c, kSnEnable, 0); }, 4, 0x0000},
        {[](auto& c) { Choose(c, kBootPinEnable, 0); }, 8, 0x0213}, {[](auto& c) { Choose(c, kPort, 3); }, 8, 0xB313},
        {[](auto& c) { Choose(c, kPin, 15); }, 8, 0xB2F3},       {[](auto& c) { Choose(c, kPullEnable, 0); }, 8, 0xB211},
        {[](auto& c) { Choose(c, kActive, 0); }, 8, 0xB212},     {[](auto& c) { Choose(c, kUsbIsp, 0); }, 9, 0x0013},
        {[](auto& c) { Choose(c, kUartPosition, 1); }, 9, 0x0001},
    };
    for (const auto& c : cases) {
        CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
        c.change(dialog.controls());
        Click(dialog.controls(), 1);
        IspParamWords expected = kWords;
        expected[c.word] = c.value;
        EXPECT_EQ(EncodeIspParams(dialog.m_Fields), expected) << c.word << ' ' << c.value;
        EXPECT_EQ(DecodeIspParams(expected, 1, 1), dialog.m_Fields);
    }
    EXPECT_TRUE(services.messages().empty());
}

TEST(IspParams, WordFieldsRefuseBadTextAndPutBackTheLastWord) {
    RecordingServices services;
    CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
    const struct {
        int id;
        const char *typed, *message, *shown;
    } cases[] = {
        {kVid, "G", "VID Error! VID must be HEX number", "1111"},
        {kPid, "123456789", "Out of range! PID must be <= 0xFFFF", "2222"},
        {kPllL, "x", "PLL Error! PLL must be HEX number", "3333"},
        {kSn[0], "zz", "Serial Number Error! Serial Number must be HEX number", "5555"},
        {kSn[2], "1FFFF", "Out of range! Serial Number must be <= 0xFFFF", "7777"},
    };
    for (const auto& c : cases) {
        dialog.controls().setText(c.id, c.typed);
        EXPECT_EQ(TakeMessages(services), Texts{c.message});
        EXPECT_EQ(dialog.controls().text(c.id), c.shown);
    }
    EXPECT_EQ(EncodeIspParams(dialog.m_Fields), kWords);
}

// The hidden position field, written through the accessibility layer: a position up to 7 is
// taken, anything else refused with the last position put back as four digits.
TEST(IspParams, HiddenPositionFieldTakesAPositionUpToSeven) {
    RecordingServices services;
    CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
    QWidget* field = dialog.controls().control(kHiddenPosition);
    EXPECT_TRUE(field->isHidden());
    const struct {
        const char* typed;
        Texts messages;
        uint8_t position;
        const char* shown;
    } cases[] = {
        {"8", {"Out of range! UART POSy must be <= 0x0007"}, 3, "0003"},
        {"x", {"PLL Error! PLL must be HEX number"}, 3, "0003"},
        {"7", {}, 7, "7"},
        {"", {}, 0, ""},
        {"00000010", {"Out of range! UART POSy must be <= 0x0007"}, 0, "0000"},
        {"6", {}, 6, "6"},
    };
    for (const auto& c : cases) {
        QAccessible::queryAccessibleInterface(field)->setText(QAccessible::Value, c.typed);
        EXPECT_EQ(TakeMessages(services), c.messages) << c.typed;
        EXPECT_EQ(dialog.m_Fields.uartPosition, c.position) << c.typed;
        EXPECT_EQ(dialog.controls().text(kHiddenPosition), c.shown) << c.typed;
    }
    Click(dialog.controls(), 1);
    EXPECT_EQ(EncodeIspParams(dialog.m_Fields)[9], 0x0006);
}

// Switched-off words show "FFFF" and keep their values; lists follow their switches.
TEST(IspParams, SwitchesAndListsFollowTheirFlags) {
    RecordingServices services;
    CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
    auto& c = dialog.controls();
    QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);
    EXPECT_EQ(Shown(c, {kVid, kPid}), Texts(2, "FFFF"));
    EXPECT_EQ(std::pair(c.icon(kVidPidSwitch), dialog.m_Fields.vidPidEnable), std::pair(180, 0u));
    EXPECT_FALSE(c.control(kVid)->isEnabled());
    QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);
    EXPECT_EQ(Shown(c, {kVid, kPid}), (Texts{"1111", "2222"}));

    Choose(c, kBootPinEnable, 0);
    EXPECT_EQ(selections(c, {kPort, kPin, kPullEnable, kActive}), std::vector<int>(4, -1));
    EXPECT_FALSE(c.control(kPort)->isEnabled() || c.control(kActive)->isEnabled());
    Choose(c, kBootPinEnable, 1);
    EXPECT_EQ(selections(c, {kPort, kPin, kPullEnable, kActive}), (std::vector<int>{2, 1, 1, 1}));
    EXPECT_FALSE(c.control(kUartPosition)->isEnabled());  // USB ISP is enabled
    Choose(c, kUsbIsp, 0);
    EXPECT_TRUE(c.control(kUartPosition)->isEnabled());

    // An erased block offers no port or position that its words hold.
    CISPParmDlg erased(DecodeIspParams(kErased, 0, 0));
    EXPECT_EQ(selections(erased.controls(), {kPort, kUartPosition}), (std::vector<int>{-1, -1}));
    EXPECT_TRUE(services.messages().empty());
}

// "View Detail" shows the settings in use and changes none of them.
TEST(IspParams, ParameterViewShowsTheSettingsInUse) {
    RecordingServices services;
    g_bInfoBlockEnable = 1;
    g_bBootDataEnable = g_nRdpLevel = g_bVidPidEnable = g_bPllEnable = 0;
    g_nPcropType = 1;
    g_wProtectMask = 0x00F0;
    g_IspParam = {0x1111, 0x2222, 0x3333, 0x4444, 0x1234, 0x5555, 0x6666, 0x7777, 0xB213, 0x0011};
    CISPDlg page;
    const bool opened = WhenModal<CInfoParamDlg>(
        [&] { Click(page.controls(), res::kIdcViewDetail); },
        [&](CInfoParamDlg& view) {
            auto& c = view.controls();
            QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);  // the view has no actions
            EXPECT_EQ(Shown(c, {kVid, kPid, kPllL, kPllH, kSn[0], kSn[1], kSn[2]}), Texts(7, "FFFF"));
            EXPECT_FALSE(c.control(kVid)->isEnabled() || c.control(kSn[2])->isEnabled());
            EXPECT_EQ(Shown(c, {kSnEnable, kPort, kUsbIsp, kUartPosition}), (Texts{"Disable", "PC", "Disable", "UART0_ALT_PB6PB7"}));
            EXPECT_EQ((std::vector<int>{c.icon(kVidPidSwitch), c.icon(kPllSwitch)}), (std::vector<int>{180, 180}));
            namespace ip = res::info_param;
            EXPECT_EQ(Checked(c, {ip::kInfoBlockEnable, ip::kBootDataEnable, ip::kLevel0, ip::kLevel1}),
                      (std::vector<bool>{true, false, false, true}));
            const auto* map = dynamic_cast<CProtectArea*>(view.control(res::info_param::kProtectMap));
            EXPECT_TRUE(map && map->m_wMask == 0x00F0 && map->m_nType == 1);
            Click(c, 1);
        });
    EXPECT_TRUE(opened);
    EXPECT_EQ(g_IspParam[4], 0x1234);
    g_bInfoBlockEnable = 0;
    g_IspParam.fill(0);
    g_wProtectMask = 0;
}

TEST(ProtectRange, BoxesFollowTheMaskAndClicksChangeOnlyTheirBit) {
    const struct {
        uint16_t in;
        std::vector<int> clicked;  // blocks
        uint16_t out;
    } cases[] = {{0x0000, {}, 0x0000}, {0x8001, {15}, 0x0001}, {0x0000, {0, 4}, 0x0011}, {0xFFFF, {3, 3, 8}, 0xFEFF}};
    for (const auto& c : cases) {
        CProtectRangeDlg dialog(c.in, 0x1234);
        for (int block = 0; block < 16; ++block)
            EXPECT_EQ(dialog.controls().isChecked(1146 + block), ((c.in >> block) & 1) != 0) << block;
        for (int block : c.clicked) Click(dialog.controls(), 1146 + block);
        Click(dialog.controls(), 1);
        EXPECT_EQ(std::pair(dialog.m_wMask, dialog.m_dwProtectAddr), std::pair(c.out, 0x1234u)) << std::hex << c.in;
    }
}

// The hidden seventeenth box, changed through the accessibility layer, stands for the last block.
TEST(ProtectRange, TheHiddenBoxTogglesTheLastBlock) {
    const struct {
        uint16_t in;
        int toggles;
        uint16_t out;
    } cases[] = {{0x0000, 1, 0x8000}, {0x7FFF, 1, 0xFFFF}, {0x8001, 1, 0x8001}, {0x8001, 2, 0x0001}, {0x0010, 3, 0x8010}};
    for (const auto& c : cases) {
        CProtectRangeDlg dialog(c.in, 0);
        auto* hidden = dialog.controls().control<QAbstractButton>(protect_range::kHiddenLastBlock);
        EXPECT_TRUE(hidden->isHidden());
        for (int i = 0; i < c.toggles; ++i) ChangeBox(hidden, BoxChange::AccessibleToggle);
        EXPECT_EQ(dialog.controls().isChecked(1161), ((c.in >> 15) & 1) != 0) << "the visible box stays";
        EXPECT_EQ(dialog.m_wMask, c.out) << std::hex << c.in << ' ' << c.toggles;
    }
}

// What a dialog keeps follows the state of its boxes, whether the mouse, the space key or an
// accessibility action changed them.
TEST_F(ProgConfig, EveryDialogBoxFollowsItsStateHoweverItChanges) {
    g_bInfoBlockEnable = 1;
    using Kept = std::vector<uint32_t>;
    const struct {
        const char* dialog;
        std::function<ui::TemplateDialog*()> open;
        std::vector<int> boxes;  // changed in this order
        std::function<Kept(QDialog&)> kept;
        Kept expected;
    } cases[] = {
        {"configuration", [] { return new CConfigDlg; }, {kLevel0, kWriteProtection, kBootDataEnable, kSerialEnable, kParamEnable},
         [](QDialog& d) {
             const auto& c = static_cast<CConfigDlg&>(d);
             return Kept{c.m_Info.rdpLevel, c.m_Info.pcropType, c.m_Info.bootDataEnable,
                         c.control(kSerialAddr)->isEnabled(), c.m_Info.paramEnable};
         },
         {1, 1, 1, 0, 1}},
        {"protect range", [] { return new CProtectRangeDlg(0x8001, 0); }, {1146, 1150},
         [](QDialog& d) { return Kept{static_cast<CProtectRangeDlg&>(d).m_wMask}; }, {0x8010}},
        {"target dump", [] { return new CDumpDlg; }, {dump_sf::kIdcBinFile},  // both dumps' "Bin file" is 1036
         [](QDialog& d) { return Kept{static_cast<CDumpDlg&>(d).m_bTxtFile}; }, {0}},
        {"serial-flash dump", [] { return new CDumpSFDlg; }, {dump_sf::kIdcBinFile},
         [](QDialog& d) { return Kept{static_cast<CDumpSFDlg&>(d).request().text}; }, {0}},
    };
    for (const BoxChange how : kBoxChanges) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.dialog) + ", " + BoxChangeName(how));
            const std::unique_ptr<ui::TemplateDialog> dialog(c.open());
            dialog->show();
            for (int id : c.boxes) ChangeBox(dialog->controls().control<QAbstractButton>(id), how);
            EXPECT_EQ(c.kept(*dialog), c.expected);
        }
    }
    EXPECT_EQ(takeMessages(), Texts{});
}

namespace {

class Config1 : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        g_bSerialEnable = 1;
        g_bSerialAutoInc = 0;
        g_nLastSerial = 7;
        RegSaveLastSn(7);  // the dialog shows the number the next part gets
        use(0, 0, 0x100);
    }
    // Chip mode (with its flash size), serial-number location and address as stored.
    void use(uint8_t chipMode, uint32_t location, uint32_t address) {
        g_nChipMode = chipMode;
        g_dwFlashSize = FlashSizeOfMode(chipMode);
        g_nSerialLocation = location;
        g_dwSerialAddr = address;
    }
    Texts takeMessages() { return TakeMessages(services); }
    static QString text(CConfig1Dlg& dialog, int id) { return dialog.controls().text(id); }

    TempConfigFolder folder;
    RecordingServices services;
};

}  // namespace

TEST_F(Config1, OpeningSettlesTheStoredAddressOnTheModelsDefault) {
    const struct {
        uint8_t chipMode;
        uint32_t location, stored;
        const char* field;
        uint32_t global;  // g_dwSerialAddr after opening
        Texts messages;
    } cases[] = {{0, 0, 0x0, "8000", 0x8000, {}}, {0, 0, 0x10, "8000", 0x8000, {}}, {0, 0, 0x11, "11", 0x11, {}},
                 {1, 0, 0xFFFC, "4000", 0xFFFC, {"Out of range! Address must be <= 7FFC"}},
                 {0, 1, 0x400, "0", 0, {}}, {0, 1, 0x1FC, "1FC", 0x1FC, {}},
                 {0, 1, 0x300, "0", 0x300, {"Out of range! Address must be <= 1FC"}}};
    for (const auto& c : cases) {
        use(c.chipMode, c.location, c.stored);
        CConfig1Dlg dialog;
        EXPECT_EQ(text(dialog, kIdcSerialAddr), c.field) << c.stored;
        EXPECT_EQ(g_dwSerialAddr, c.global) << c.stored;
        EXPECT_EQ(takeMessages(), c.messages) << c.stored;
    }
}

TEST_F(Config1, AddressChecksFollowLocationAndModel) {
    CConfig1Dlg dialog;
    Click(dialog.controls(), kIdcInEeprom);
    dialog.controls().setText(kIdcSerialAddr, "200");
    EXPECT_EQ(takeMessages(), Texts{"Out of range! Address must be <= 1FC"});
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "1FC");
    dialog.controls().setText(kIdcSerialAddr, "1g");
    EXPECT_EQ(takeMessages(), Texts{"Address Error! Address must be HEX number"});
    EXPECT_EQ(dialog.m_dwSerialAddr, 0x1FCu);

    // Main code on model 0 takes FFFC; picking model 1 checks it again and settles at once.
    Click(dialog.controls(), kIdcInMainCode);
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "FFFC");
    Choose(dialog.controls(), kIdcChipModel, 1);
    EXPECT_EQ(takeMessages(), Texts{"Out of range! Address must be <= 7FFC"});
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "7FFC");
    EXPECT_EQ(text(dialog, kIdcFlashSizeLabel), "32768 Byte");
    dialog.controls().setText(kIdcSerialAddr, "abc");
    EXPECT_EQ(dialog.m_dwSerialAddr, 0xABCu);
    dialog.controls().setText(kIdcSerialAddr, "");
    EXPECT_EQ(dialog.m_dwSerialAddr, 0u);
}

// A refused entry puts the field back as it opened, with the number it opened with and nothing
// typed; an accepted one is the operator's.
TEST_F(Config1, SerialNumberFieldPutsBackTheNumberItOpenedWith) {
    CConfig1Dlg dialog;
    EXPECT_EQ(text(dialog, kIdcInitialSerial), "7");
    EXPECT_FALSE(dialog.m_bNextSerialTyped);
    const struct {
        const char* typed;
        Texts messages;
        uint32_t next;
        const char* field;
        bool typedKept;
    } cases[] = {{"4294967295", {}, 0xFFFFFFFFu, "4294967295", true},
                 {"4294967296", {"Out of range! Serial No must be <= 0xFFFFFFFF"}, 7, "7", false},
                 {"42", {}, 42, "42", true},
                 {"12a", {"Serial No Error! Serial No must be digital number"}, 7, "7", false},
                 {"", {}, 0, "", true}};
    for (const auto& c : cases) {
        dialog.controls().setText(kIdcInitialSerial, c.typed);
        EXPECT_EQ(takeMessages(), c.messages) << c.typed;
        EXPECT_EQ(dialog.m_nNextSerial, c.next) << c.typed;
        EXPECT_EQ(text(dialog, kIdcInitialSerial), c.field) << c.typed;
        EXPECT_EQ(dialog.m_bNextSerialTyped, c.typedKept) << c.typed;
    }
}

// What OK answers follows each box's state, whatever changed it.
TEST_F(Config1, TheAnswerFollowsEveryBoxHoweverItChanges) {
    for (const BoxChange how : kBoxChanges) {
        SCOPED_TRACE(BoxChangeName(how));
        CConfig1Dlg dialog;
        dialog.show();
        const auto box = [&](int id) { return dialog.controls().control<QAbstractButton>(id); };
        ChangeBox(box(kIdcAutoIncrease), how);
        ChangeBox(box(kIdcInEeprom), how);
        EXPECT_FALSE(box(kIdcInMainCode)->isChecked());
        EXPECT_EQ(std::tuple(dialog.m_bAutoInc, dialog.m_nLocation, text(dialog, kIdcSerialAddr)), std::tuple(1u, 1u, QString("1FC")));
        ChangeBox(box(kIdcInMainCode), how);
        EXPECT_FALSE(box(kIdcInEeprom)->isChecked());
        EXPECT_EQ(dialog.m_nLocation, 0u);
        ChangeBox(dialog.findChild<CChkGBox*>()->titleButton(), how);
        EXPECT_FALSE(box(kIdcAutoIncrease)->isEnabled());
        dialog.accept();
        EXPECT_EQ(dialog.m_bSerialEnable, 0u);
        EXPECT_EQ(takeMessages(), Texts{});
    }
}

// Another running copy has taken numbers since this one last did: both dialogs show "Last SN"
// as the store holds it when they open, and OK without a number typed leaves the store to the
// other copy, which may take more while the dialog is open.
TEST_F(Config1, TheDialogsShowLastSnAsTheStoreHoldsItWhenTheyOpen) {
    TempConfigFolder config;
    InstallConfigDialog();
    InstallIcPage();
    CUart_ISPDlg window;
    window.show();
    g_nLastSerial = 100;
    RegSaveLastSn(150);
    EXPECT_EQ(text(*std::make_unique<CConfig1Dlg>(), kIdcInitialSerial), "150");
    RegSaveLastSn(151);
    g_bParamEnable = 0;
    EXPECT_EQ(CConfigDlg().controls().text(kInitialSerial), "151");
    RegSaveLastSn(152);
    ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                       [&](CConfig1Dlg& dialog) {
                                           EXPECT_EQ(text(dialog, kIdcInitialSerial), "152");
                                           RegSaveLastSn(160);
                                           Click(dialog.controls(), 1);
                                       }));
    EXPECT_EQ(RegLoadLastSn(), 160u);
    EXPECT_EQ(g_pISPDlg->controls().text(kIdcSerialLast), "S/N Last : 160");  // and so does the page

    // "Last SN" removed by hand, by an editor that saves the file anew (which holds none of this
    // copy's numbers: they are carried in) or writes it in place: the page and the dialog show the
    // number the next part gets, and typed there it is stored on OK, over one stored meanwhile.
    const std::string store = platform::registryStorePath();
    for (const auto& [savedAnew, next] : {std::pair{true, 160u}, {false, 0u}}) {
        const std::string edited = savedAnew ? store + ".edit" : store;
        std::ofstream(edited, std::ios::trunc) << "[" << g_szRegKey << "]\n\"Scan Delay\"=dword:00000032\n";
        std::filesystem::rename(edited, store);
        RefreshIcPageSettings();
        EXPECT_EQ(g_pISPDlg->controls().text(kIdcSerialLast), QString("S/N Last : %1").arg(next));
        ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                           [&](CConfig1Dlg& dialog) {
                                               EXPECT_EQ(text(dialog, kIdcInitialSerial), QString::number(next));
                                               RegSaveLastSn(5);
                                               auto* field = dialog.controls().control<QLineEdit>(kIdcInitialSerial);
                                               field->selectAll();
                                               QTest::keyClicks(field, QString::number(next));
                                               Click(dialog.controls(), 1);
                                           }));
        EXPECT_EQ(RegTakeLastSn(1), next);
    }

    // The operator's keys in a field while another copy gives 152 to 159: a field the program put
    // back after refusing an entry is as it opened, and OK stores nothing from it; a number typed
    // and accepted is stored, also one equal to the number shown.
    const char* const notDigits = "Serial No Error! Serial No must be digital number";
    const struct {
        int field;
        bool selectAll;  // the keys replace the text, else they follow it
        const char* keys;
        Texts messages;
        const char* shown;  // before OK
        uint32_t lastSn, address;  // stored after OK
    } typing[] = {
        {kIdcInitialSerial, false, "x", {notDigits}, "152", 160, 0x100},
        {kIdcInitialSerial, true, "153x", {notDigits}, "152", 160, 0x100},
        {kIdcInitialSerial, true, "9999999999", {"Out of range! Serial No must be <= 0xFFFFFFFF"}, "152", 160, 0x100},
        {kIdcInitialSerial, true, "152", {}, "152", 152, 0x100},
        {kIdcInitialSerial, false, "3", {}, "1523", 1523, 0x100},
        {kIdcSerialAddr, false, "g", {"Address Error! Address must be HEX number"}, "100", 160, 0x100},
        {kIdcSerialAddr, true, "1FFFC", {"Out of range! Address must be <= FFFC"}, "100", 160, 0x100},
        {kIdcSerialAddr, true, "2AC", {}, "2AC", 160, 0x2AC},
    };
    for (const auto& t : typing) {
        SCOPED_TRACE(t.keys);
        use(0, 0, 0x100);
        RegSaveLastSn(152);
        ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                           [&](CConfig1Dlg& dialog) {
                                               RegSaveLastSn(160);
                                               auto* field = dialog.controls().control<QLineEdit>(t.field);
                                               if (t.selectAll) field->selectAll();
                                               QTest::keyClicks(field, t.keys);
                                               EXPECT_EQ(takeMessages(), t.messages);
                                               EXPECT_EQ(field->text(), t.shown);
                                               Click(dialog.controls(), 1);
                                           }));
        EXPECT_EQ(RegLoadLastSn(), t.lastSn);
        EXPECT_EQ(RegLoadSnStartAddr(), t.address);
    }
    RunConfigDialog = nullptr;
    CreatePageWindow = nullptr;
}

TEST_F(Config1, ConfigCommandStoresOnlyOnOk) {
    InstallConfigDialog();
    CUart_ISPDlg window;
    window.show();
    const auto stored = [] {
        return std::vector<uint32_t>{RegLoadSerialNoEn(), RegLoadSnStartAddr(), RegLoadLastSn(), RegLoadSnInArea(),
                                     RegLoadSerialNoAutoInc()};
    };
    const auto before = stored();
    for (int button : {2, 1}) {  // Cancel, then OK, each after typing 99 and switching serial numbers off
        ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                           [&](CConfig1Dlg& dialog) {
                                               dialog.controls().setText(kIdcInitialSerial, "99");
                                               dialog.findChild<CChkGBox*>()->titleButton()->click();
                                               Click(dialog.controls(), button);
                                           }));
        EXPECT_TRUE(button == 1 || (stored() == before && g_nLastSerial == 7u)) << "Cancel stores nothing";
    }
    EXPECT_EQ(stored(), (std::vector<uint32_t>{0, 0x100, 99, 0, 0}));  // what the dialog held
    EXPECT_EQ(g_nLastSerial, 99u);
    EXPECT_EQ(g_bSerialEnable, 0u);
    RunConfigDialog = nullptr;
}

// A copy whose view of the store is out of date (the version it saw was moved aside, where
// another copy may take numbers from it; another file stands at its name): the settings given in
// Config. by keys are stored into the file found as it stands, whose own number stays, and the
// copy still gives no number until "Last SN" is set.
TEST_F(Config1, AnOutOfDateCopyStoresTheSettingsGivenInConfig) {
    InstallConfigDialog();
    CUart_ISPDlg window;
    window.show();
    RegSaveIspIcType();
    RegSaveSerialNoEn(1);
    RegSaveSnInArea(0);
    RegSaveSnStartAddr(0x100);
    const std::string store = platform::registryStorePath();
    std::filesystem::rename(store, store + ".aside");
    std::ofstream(store) << "[" << g_szRegKey << "]\n\"Scan Delay\"=dword:00000032\n\"Last SN\"=dword:00000003\n";
    ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                       [&](CConfig1Dlg& dialog) {
                                           const auto& controls = dialog.controls();
                                           QTest::keyClick(controls.control<QComboBox>(kIdcChipModel), Qt::Key_Down);
                                           auto* inEeprom = controls.control<QAbstractButton>(kIdcInEeprom);
                                           QTest::keyClick(inEeprom, Qt::Key_Space);
                                           auto* address = controls.control<QLineEdit>(kIdcSerialAddr);
                                           address->selectAll();
                                           QTest::keyClicks(address, "1F0");
                                           QTest::keyClick(dialog.findChild<CChkGBox*>()->titleButton(), Qt::Key_Space);
                                           Click(controls, 1);
                                       }));
    EXPECT_EQ(takeMessages(), Texts{});
    g_nChipMode = 0;
    RegLoadIspIcType();
    EXPECT_EQ(g_nChipMode, 1u);
    EXPECT_EQ(RegLoadSerialNoEn(), 0u);
    EXPECT_EQ(RegLoadSnInArea(), 1u);
    EXPECT_EQ(RegLoadSnStartAddr(), 0x1F0u);
    EXPECT_EQ(RegLoadScanDelay(), 50u);
    std::ifstream in(store);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("\"Last SN\"=dword:00000003\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"ISPICType\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_EQ(RegTakeLastSn(1), std::nullopt);
    RegSaveLastSn(20);  // the operator's word
    EXPECT_EQ(RegTakeLastSn(1), 20u);

    // A store that takes no save (a folder in its lock's place): OK says so, naming the store, and
    // the number typed is not taken for stored.
    std::filesystem::remove(store + ".lock");
    ASSERT_TRUE(std::filesystem::create_directory(store + ".lock"));
    ASSERT_TRUE(WhenModal<CConfig1Dlg>([&] { ui::findCommand(window.menuBar(), 32772)->trigger(); },
                                       [&](CConfig1Dlg& dialog) {
                                           const auto& controls = dialog.controls();
                                           QTest::keyClick(controls.control<QComboBox>(kIdcChipModel), Qt::Key_Down);
                                           auto* initial = controls.control<QLineEdit>(kIdcInitialSerial);
                                           initial->selectAll();
                                           QTest::keyClicks(initial, "30");
                                           Click(controls, 1);
                                       }));
    EXPECT_EQ(takeMessages(), Texts{"Settings can not be saved: " + store + " can not be written!"});
    g_nChipMode = 0;
    RegLoadIspIcType();
    EXPECT_EQ(g_nChipMode, 1u);
    EXPECT_EQ(RegLoadLastSn(), 21u);
    use(0, 0, 0x100);
    RunConfigDialog = nullptr;
}

// The same for the IC page's configuration: "Beep Sound" goes into the INI file found as it stands.
TEST_F(ProgConfig, AnOutOfDateCopyStoresTheBeepSoundGivenInConfig) {
    IniSetBeepSound(true, g_strIniPath);
    std::filesystem::rename(g_strIniPath, g_strIniPath + ".aside");
    std::ofstream(g_strIniPath) << "[Code Option]\r\nSerial No=5\r\n";
    CISPDlg page;
    ASSERT_TRUE(configure(page, [&](CConfigDlg& dialog) {
        QTest::keyClick(dialog.controls().control<QAbstractButton>(kBeepSound), Qt::Key_Space);
        Click(dialog.controls(), 1);
    }));
    EXPECT_EQ(takeMessages(), Texts{});
    EXPECT_FALSE(IniGetBeepSound(g_strIniPath));
    EXPECT_EQ(IniGetSerialNo(g_strIniPath), 5u);
    EXPECT_EQ(IniTakeSerialNo(g_strIniPath, 1), std::nullopt);

    // Files that take no save (a folder in each lock's place): OK says so, naming each file once.
    const std::string store = platform::registryStorePath();
    for (const std::string& file : {store, g_strIniPath}) {
        std::filesystem::remove(file + ".lock");
        ASSERT_TRUE(std::filesystem::create_directory(file + ".lock"));
    }
    ASSERT_TRUE(configure(page, [&](CConfigDlg& dialog) {
        QTest::keyClick(dialog.controls().control<QAbstractButton>(kBeepSound), Qt::Key_Space);
        Click(dialog.controls(), 1);
    }));
    EXPECT_EQ(takeMessages(), (Texts{"Settings can not be saved: " + store + " can not be written!",
                                     "Settings can not be saved: " + g_strIniPath + " can not be written!"}));
    EXPECT_FALSE(IniGetBeepSound(g_strIniPath));
}
