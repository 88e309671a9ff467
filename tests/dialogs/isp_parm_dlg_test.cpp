#include "dialogs/isp_parm_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "app/ic_page.h"
#include "app/protect_area.h"
#include "dialogs/info_param_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "res/ic_page_template.h"
#include "res/info_param_template.h"
#include "res/isp_parm_template.h"
#include "support/modal_dialog.h"
#include "support/recording_services.h"

using namespace res::isp_parm;
using Texts = std::vector<std::string>;

namespace {

constexpr IspParamWords kWords = {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003};

// What the operator does in one list: picks an item.
void choose(ui::ControlSet& controls, int id, int index) {
    auto* box = controls.control<QComboBox>(id);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

Texts takeMessages(RecordingServices& services) {
    Texts texts;
    for (const auto& m : services.messages()) texts.push_back(m.text);
    services.clear();
    return texts;
}

int selection(ui::ControlSet& controls, int id) { return controls.control<QComboBox>(id)->currentIndex(); }

}  // namespace

TEST(IspParams, WordsDecodeIntoFieldsAndEncodeBack) {
    const IspParamWords erased = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    const struct {
        const char* name;
        IspParamWords words;
        uint32_t snEnable, bootPin, port, pin, pull, high, usbIsp, position;
        uint16_t snEnWord, bootWord, uartWord;  // encoded back
    } cases[] = {
        {"erased block", erased, 1, 0, 15, 15, 1, 1, 0, 7, 0xFFFF, 0x0FF3, 0x0017},
        {"boot pin PC1", kWords, 1, 1, 2, 1, 1, 1, 1, 3, 0xFFFF, 0xB213, 0x0003},
        {"serial off, pin low", {1, 2, 3, 4, 0x1234, 5, 6, 7, 0xA0F0, 0x0012}, 0, 0, 0, 15, 0, 0, 0, 2, 0x0000, 0x00F0, 0x0012},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IspParamFields f = DecodeIspParams(c.words, 1, 0);
        EXPECT_EQ((std::vector<uint32_t>{f.snEnable, f.bootPinEnable, f.port, f.pin, f.pullEnable, f.activeHigh,
                                         f.usbIspEnable, f.uartPosition, f.vidPidEnable, f.pllEnable}),
                  (std::vector<uint32_t>{c.snEnable, c.bootPin, c.port, c.pin, c.pull, c.high, c.usbIsp, c.position, 1, 0}));
        IspParamWords back = c.words;
        back[4] = c.snEnWord;
        back[8] = c.bootWord;
        back[9] = c.uartWord;
        EXPECT_EQ(EncodeIspParams(f), back);
    }
}

// Every field changed through its control comes back in its word after OK, and the words
// decode to the fields the dialog held.
TEST(IspParams, DialogRoundTripsEveryField) {
    RecordingServices services;
    const struct {
        const char* name;
        std::function<void(ui::ControlSet&)> change;
        IspParamWords words;
        uint32_t vidPid = 1, pll = 1;
    } cases[] = {
        {"VID", [](auto& c) { c.setText(kVid, "abcd"); }, {0xABCD, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"PID", [](auto& c) { c.setText(kPid, "1"); }, {0x1111, 0x0001, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"PLL_L", [](auto& c) { c.setText(kPllL, "BEEF"); }, {0x1111, 0x2222, 0xBEEF, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"PLL_H empty", [](auto& c) { c.setText(kPllH, ""); }, {0x1111, 0x2222, 0x3333, 0x0000, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"SN1", [](auto& c) { c.setText(kSn[0], "9"); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x0009, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"SN2", [](auto& c) { c.setText(kSn[1], "a"); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x000A, 0x7777, 0xB213, 0x0003}},
        {"SN3", [](auto& c) { c.setText(kSn[2], "FFFF"); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0xFFFF, 0xB213, 0x0003}},
        {"SN_EN off", [](auto& c) { choose(c, kSnEnable, 0); }, {0x1111, 0x2222, 0x3333, 0x4444, 0x0000, 0x5555, 0x6666, 0x7777, 0xB213, 0x0003}},
        {"boot pin off", [](auto& c) { choose(c, kBootPinEnable, 0); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0x0213, 0x0003}},
        {"port PD", [](auto& c) { choose(c, kPort, 3); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB313, 0x0003}},
        {"pin 15", [](auto& c) { choose(c, kPin, 15); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB2F3, 0x0003}},
        {"pull off", [](auto& c) { choose(c, kPullEnable, 0); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB211, 0x0003}},
        {"active low", [](auto& c) { choose(c, kActive, 0); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB212, 0x0003}},
        {"USB ISP off", [](auto& c) { choose(c, kUsbIsp, 0); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0013}},
        {"position 1", [](auto& c) { choose(c, kUartPosition, 1); }, {0x1111, 0x2222, 0x3333, 0x4444, 0xFFFF, 0x5555, 0x6666, 0x7777, 0xB213, 0x0001}},
        {"VID/PID off", [](auto& c) { QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton); }, kWords, 0, 1},
        {"PLL off", [](auto& c) { QTest::mouseClick(c.control(kPllSwitch), Qt::LeftButton); }, kWords, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
        c.change(dialog.controls());
        dialog.controls().control<QAbstractButton>(1)->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        const IspParamFields& f = dialog.m_Fields;
        EXPECT_EQ(EncodeIspParams(f), c.words);
        EXPECT_EQ((std::pair{f.vidPidEnable, f.pllEnable}), (std::pair{c.vidPid, c.pll}));
        EXPECT_EQ(DecodeIspParams(c.words, c.vidPid, c.pll), f);
    }
    EXPECT_TRUE(services.messages().empty());
}

TEST(IspParams, WordFieldsRefuseBadTextAndPutBackTheLastWord) {
    RecordingServices services;
    CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
    const struct {
        int id;
        const char* typed;
        const char* message;
        const char* shown;
    } cases[] = {
        {kVid, "G", "VID Error! VID must be HEX number", "1111"},
        {kVid, "123456789", "Out of range! VID must be <= 0xFFFF", "1111"},
        {kPid, "10000", "Out of range! PID must be <= 0xFFFF", "2222"},
        {kPid, "2-", "PID Error! PID must be HEX number", "2222"},
        {kPllL, "x", "PLL Error! PLL must be HEX number", "3333"},
        {kPllH, "44444", "Out of range! PLL must be <= 0xFFFF", "4444"},
        {kSn[0], "zz", "Serial Number Error! Serial Number must be HEX number", "5555"},
        {kSn[2], "1FFFF", "Out of range! Serial Number must be <= 0xFFFF", "7777"},
    };
    for (const auto& c : cases) {
        dialog.controls().setText(c.id, c.typed);
        EXPECT_EQ(takeMessages(services), Texts{c.message}) << c.typed;
        EXPECT_EQ(dialog.controls().text(c.id), c.shown) << c.typed;
    }
    EXPECT_EQ(EncodeIspParams(dialog.m_Fields), kWords);
}

// Switched-off words show "FFFF" and keep their values; lists follow their switches.
TEST(IspParams, SwitchesAndListsFollowTheirFlags) {
    RecordingServices services;
    CISPParmDlg dialog(DecodeIspParams(kWords, 1, 1));
    auto& c = dialog.controls();
    QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);
    EXPECT_EQ(c.icon(kVidPidSwitch), 180);
    for (int id : {kVid, kPid}) {
        EXPECT_EQ(c.text(id), "FFFF");
        EXPECT_FALSE(c.control(id)->isEnabled());
    }
    QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);
    EXPECT_EQ(c.icon(kVidPidSwitch), 178);
    EXPECT_EQ((QStringList{c.text(kVid), c.text(kPid)}), (QStringList{"1111", "2222"}));

    choose(c, kSnEnable, 0);
    for (int id : kSn) EXPECT_EQ(c.text(id), "FFFF");
    EXPECT_FALSE(c.control(kSn[1])->isEnabled());

    choose(c, kBootPinEnable, 0);
    for (int id : {kPort, kPin, kPullEnable, kActive}) {
        EXPECT_EQ(selection(c, id), -1) << id;
        EXPECT_FALSE(c.control(id)->isEnabled()) << id;
    }
    choose(c, kBootPinEnable, 1);
    EXPECT_EQ((std::vector<int>{selection(c, kPort), selection(c, kPin), selection(c, kPullEnable), selection(c, kActive)}),
              (std::vector<int>{2, 1, 1, 1}));
    EXPECT_TRUE(c.control(kPort)->isEnabled());

    EXPECT_FALSE(c.control(kUartPosition)->isEnabled());  // USB ISP is enabled
    choose(c, kUsbIsp, 0);
    EXPECT_TRUE(c.control(kUartPosition)->isEnabled());

    // Cancel: the opener keeps its words whatever the dialog holds.
    c.control<QAbstractButton>(2)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(services.messages().empty());

    // An erased block offers no port or position that its words hold.
    CISPParmDlg erased(DecodeIspParams({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, 0, 0));
    EXPECT_EQ(selection(erased.controls(), kPort), -1);
    EXPECT_EQ(selection(erased.controls(), kUartPosition), -1);
    EXPECT_EQ(selection(erased.controls(), kPin), 15);
    EXPECT_EQ(erased.controls().text(kVid), "FFFF");
}

// "View Detail" shows the settings in use and changes none of them.
TEST(IspParams, ParameterViewShowsTheSettingsInUse) {
    RecordingServices services;
    g_bInfoBlockEnable = 1;
    g_bBootDataEnable = 0;
    g_nRdpLevel = 0;
    g_nPcropType = 1;
    g_wProtectMask = 0x00F0;
    g_bVidPidEnable = g_bPllEnable = 0;
    g_IspParam = {0x1111, 0x2222, 0x3333, 0x4444, 0x1234, 0x5555, 0x6666, 0x7777, 0xB213, 0x0011};
    CISPDlg page;
    bool checked = false;
    const bool opened = WhenModal<CInfoParamDlg>(
        [&] { page.controls().control<QAbstractButton>(res::kIdcViewDetail)->click(); },
        [&](CInfoParamDlg& view) {
            auto& c = view.controls();
            QTest::mouseClick(c.control(kVidPidSwitch), Qt::LeftButton);  // the view has no actions
            for (int id : {kVid, kPid, kPllL, kPllH, kSn[0], kSn[1], kSn[2]}) {
                EXPECT_EQ(c.text(id), "FFFF") << id;
                EXPECT_FALSE(c.control(id)->isEnabled()) << id;
            }
            EXPECT_EQ((std::vector<int>{c.icon(kVidPidSwitch), c.icon(kPllSwitch)}), (std::vector<int>{180, 180}));
            EXPECT_EQ(c.text(kSnEnable), "Disable");
            EXPECT_EQ(c.text(kPort), "PC");
            EXPECT_EQ(c.text(kUsbIsp), "Disable");
            EXPECT_EQ(c.text(kUartPosition), "UART0_ALT_PB6PB7");
            EXPECT_TRUE(c.control(kUartPosition)->isEnabled());
            EXPECT_EQ((std::vector<bool>{c.isChecked(res::info_param::kInfoBlockEnable),
                                         c.isChecked(res::info_param::kBootDataEnable),
                                         c.isChecked(res::info_param::kLevel0), c.isChecked(res::info_param::kLevel1)}),
                      (std::vector<bool>{true, false, false, true}));
            const auto* map = dynamic_cast<CProtectArea*>(view.control(res::info_param::kProtectMap));
            ASSERT_NE(map, nullptr);
            EXPECT_EQ((std::pair{map->m_wMask, map->m_nType}), (std::pair{uint16_t{0x00F0}, 1u}));
            checked = true;
            c.control<QAbstractButton>(1)->click();
        });
    EXPECT_TRUE(opened && checked);
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
        for (int block : c.clicked) dialog.controls().control<QAbstractButton>(1146 + block)->click();
        dialog.controls().control<QAbstractButton>(1)->click();
        EXPECT_EQ(dialog.m_wMask, c.out) << std::hex << c.in;
        EXPECT_EQ(dialog.m_dwProtectAddr, 0x1234u);
        EXPECT_TRUE(dialog.control(1162)->isHidden());
    }
}
