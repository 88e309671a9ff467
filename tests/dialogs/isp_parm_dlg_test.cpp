#include "dialogs/isp_parm_dlg.h"

#include <QTest>
#include <functional>

#include "app/ic_page.h"
#include "app/protect_area.h"
#include "dialogs/info_param_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "res/ic_page_template.h"
#include "res/info_param_template.h"
#include "res/isp_parm_template.h"
#include "tool_bench.h"

using namespace res::isp_parm;

namespace {

constexpr IspParamWords kWords = {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003};

constexpr IspParamWords kErased = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

int selection(ui::ControlSet& controls, int id) { return controls.control<QComboBox>(id)->currentIndex(); }

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
    for (int id : {kPort, kPin, kPullEnable, kActive}) {
        EXPECT_EQ(selection(c, id), -1) << id;
        EXPECT_FALSE(c.control(id)->isEnabled()) << id;
    }
    Choose(c, kBootPinEnable, 1);
    EXPECT_EQ((std::vector<int>{selection(c, kPort), selection(c, kPin), selection(c, kPullEnable), selection(c, kActive)}),
              (std::vector<int>{2, 1, 1, 1}));
    EXPECT_FALSE(c.control(kUartPosition)->isEnabled());  // USB ISP is enabled
    Choose(c, kUsbIsp, 0);
    EXPECT_TRUE(c.control(kUartPosition)->isEnabled());

    // An erased block offers no port or position that its words hold.
    CISPParmDlg erased(DecodeIspParams(kErased, 0, 0));
    EXPECT_EQ((std::vector<int>{selection(erased.controls(), kPort), selection(erased.controls(), kUartPosition)}),
              (std::vector<int>{-1, -1}));
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
            using namespace res::info_param;
            EXPECT_EQ(Checked(c, {kInfoBlockEnable, kBootDataEnable, kLevel0, kLevel1}), (std::vector<bool>{true, false, false, true}));
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
