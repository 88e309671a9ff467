#include "sfpage/flash_isp.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "core/crc16.h"
#include "app/main_window.h"
#include "core/registry_settings.h"
#include "controls/chk_gbox.h"
#include "dialogs/config_dlg.h"
#include "dialogs/read_info_dlg.h"
#include "flash_page_fixture.h"
#include "link/hid_device.h"
#include "platform/strfmt.h"
#include "res/adapter_tool_templates.h"
#include "res/config_template.h"
#include "res/dump_sf_template.h"
#include "res/icons.h"
#include "sfpage/dump_sf_dlg.h"
#include "support/box_changes.h"
#include "support/modal_dialog.h"

using namespace res::sf;
using Bytes = std::vector<uint8_t>;

// What the adapter holds after Auto.: the file, 0xFF to the block, the block, and nothing
// past the written length; Read Info. then shows what the last Auto. wrote.
TEST_F(FlashPage, AutoWritesTheStandAloneImage) {
    // The serial-number fields at 0x10104 to 0x10107 and the last serial number at 0x13000.
    const struct { bool serial; Bytes serialFields, lastSerial; int programs; } cases[] = {
        {false, Bytes(4, 0xFF), Bytes(4, 0xFF), 262},
        {true, {0x34, 0x12, 0x00, 0xC0}, {0xEF, 0xCD, 0xAB, 0x00}, 305},  // in EEPROM, increasing
    };
    const Bytes file = PatternImage(100);
    Bytes padded = file;
    padded.resize(0x10000, 0xFF);
    const uint16_t crc = CalcCRC16(padded, 0xFFFF, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        bench.adapter.writeSerialFlash(0, Bytes(0x20000, 0x5A));  // what an earlier image left
        bench.adapter.clearLog();
        g_bSerialEnable = c.serial;
        g_nSerialLocation = 1;
        g_bSerialAutoInc = 1;
        // The stored EEPROM address goes into the block as stored, though the start-up moves
        // one from 0x3FC up to 0 for the HID burn.
        RegSaveSnStartAddr(0x001234);
        g_dwSerialAddr = 0;
        g_nLastSerial = 0x00ABCDEF;
        load(file);
        EXPECT_EQ(page->controls().text(kIdcImageCrc).toStdString(), strfmt("%04X", crc));
        run(kIdcAuto);

        Bytes expected(0x23100, 0xFF);
        const auto put = [&](uint32_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), expected.begin() + at); };
        put(0, file);
        put(0x10000, {0x63, 0x00, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
        put(0x10103, {0x00});
        put(0x10104, c.serialFields);
        put(0x13000, c.lastSerial);
        EXPECT_EQ(bench.adapter.serialFlash(0, expected.size()), expected);
        EXPECT_EQ(setsOf(0x34), c.programs);
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(page->controls().icon(kIdcLamp), res::kIconPass);
        EXPECT_TRUE(page->control(kIdcProtectMap)->isVisibleTo(page.get()));
        EXPECT_TRUE(page->control(kIdcAuto)->isEnabled());
        EXPECT_FALSE(page->control(kIdcCancel)->isEnabled());
    }
    EXPECT_EQ(g_wSfImageCrc, static_cast<uint16_t>(100 * 99 / 2));
    std::vector<std::string> shown;
    ASSERT_TRUE(WhenModal<CReadInfoDlg>([&] { click(kIdcReadInfo); }, [&](CReadInfoDlg& dialog) {
        ASSERT_TRUE(spinUntil([&] { return !dialog.workerRunning() && !g_bTaskWorking; }));
        for (int id : {res::kIdcImageSizeInfo, res::kIdcImageCrcInfo, res::kIdcChipNameInfo, res::kIdcSerialAddrInfo,
                       res::kIdcLastSerialInfo})
            shown.push_back(dialog.controls().text(id).toStdString());
        dialog.reject();
    }));
    EXPECT_EQ(shown, (std::vector<std::string>{"100", strfmt("%04X", crc), g_strChipName[0], "1234", "11259375"}));
}

// Each button checks in its own order, and a refused start sends nothing and stays idle; Dump
// opens its dialog only when the adapter answers.
TEST_F(FlashPage, StartersRefuseWithoutImageOrAdapter) {
    const struct { int button; bool image, adapter; const char* message; } cases[] = {
        {kIdcAuto, false, false, "BIN file not found!"},     {kIdcAuto, true, false, "HID device Not Found !"},
        {kIdcAuto, false, true, "BIN file not found!"},      {kIdcVerify, false, false, "HID device Not Found !"},
        {kIdcVerify, false, true, "BIN file not found!"},    {kIdcProgram, false, false, "HID device Not Found !"},
        {kIdcProgram, false, true, "BIN file not found!"},   {kIdcErase, false, false, "HID device Not Found !"},
        {kIdcDump, false, false, "HID device Not Found !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.button << " image " << c.image << " adapter " << c.adapter);
        page = std::make_unique<CFlashISP>();
        if (c.image) load(PatternImage(10));
        CloseHidDevice();
        if (c.adapter)
            sim::installSimulatedAdapter(bench.adapter);
        else
            sim::installSimulatedAdapters({});
        bench.adapter.clearLog();
        services.clear();
        click(c.button);
        EXPECT_EQ(messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(services.messages()[0].icon, platform::MsgIcon::Error);
        EXPECT_FALSE(g_bTaskWorking);
        EXPECT_TRUE(bench.adapter.exchanges().empty());
    }
    sim::installSimulatedAdapter(bench.adapter);
    EXPECT_TRUE(WhenModal<CDumpSFDlg>([&] { click(kIdcDump); }, [](CDumpSFDlg& dump) {
        dump.controls().control<QAbstractButton>(res::dump_sf::kIdcClose)->click();
    }));
}

// Two rapid Auto. clicks run one sequence; Cancel sets the stop event, and the run still goes
// to its end.
TEST_F(FlashPage, TwoRapidAutoClicksRunOneSequenceThatCancelLetsFinish) {
    bench.adapter.setSerialFlashEraseTime(std::chrono::milliseconds(200));
    load(PatternImage(100));
    click(kIdcAuto);
    click(kIdcAuto);
    ASSERT_TRUE(spinUntil([&] { return page->control(kIdcCancel)->isEnabled(); }));
    click(kIdcCancel);
    EXPECT_TRUE(g_hStopEvent.isSet());
    ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    EXPECT_EQ(page->controls().icon(kIdcLamp), res::kIconPass);
    EXPECT_EQ(setsOf(0x31), 1);
    EXPECT_EQ(setsOf(0x34), 262);
}

// Typed quantities: every character must be a digit, at most 1000000; a refused text is
// replaced by the last good value, which is what the store keeps.
TEST_F(FlashPage, LimitedQuantityField) {
    const char* const digits = "Code Error! Quantity must be digital number";
    const char* const range = "Out of range! Quantity should be <= 1000000";
    const struct { const char* typed; const char* message; uint32_t kept; } cases[] = {
        {"12a", digits, 500}, {"1a2", digits, 500}, {"", digits, 500}, {"1000001", range, 500},
        {"99999999999999999999", range, 500}, {"1000000", nullptr, 1000000}, {"0", nullptr, 0},
    };
    auto* field = page->controls().control<QLineEdit>(kIdcLimitQuantity);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        field->setText("500");
        services.clear();
        field->setText(c.typed);
        EXPECT_EQ(messages(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(field->text().toStdString(), std::to_string(c.kept));
        EXPECT_EQ(g_nLimitQuantity, c.kept);
        EXPECT_EQ(RegLoadLimitQuantity(), c.kept == 0 ? 1000u : c.kept);  // the store's range starts at 10
    }
    // A stored value above the field is clamped before it is shown, without an error.
    g_nLimitQuantity = 0x200000;
    services.clear();
    page = std::make_unique<CFlashISP>();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(page->controls().text(kIdcLimitQuantity), "1000000");
}

// The block keeps 16 bits of the quantity: with the limit on, Auto. refuses more than 0xFFFE.
TEST_F(FlashPage, AutoRefusesAQuantityTheBlockCannotHold) {
    load(PatternImage(100));
    click(kIdcLimitEnable);
    EXPECT_EQ(RegLoadBurnLimitEn(), 1u);
    for (auto [typed, refused] : {std::pair{"65535", true}, {"65534", false}}) {
        SCOPED_TRACE(typed);
        page->controls().setText(kIdcLimitQuantity, typed);
        services.clear();
        bench.adapter.clearLog();
        run(kIdcAuto);
        EXPECT_EQ(messages(), refused ? std::vector<std::string>{"Out of range! Quantity should be <= 65534"}
                                      : std::vector<std::string>{});
        EXPECT_EQ(bench.adapter.exchanges().empty(), refused);
    }
    EXPECT_EQ(bench.adapter.serialFlash(0x10100, 2), (Bytes{0xFE, 0xFF}));
}

TEST_F(FlashPage, ConfigStoresTheAnswerAndShowsIt) {
    // The serial-number label shows the number unsigned, as the IC page does.
    g_bSerialEnable = 1;
    g_nLastSerial = 0xFFFFFFFF;
    page = std::make_unique<CFlashISP>();
    EXPECT_EQ(page->controls().text(kIdcSerialLast), "S/N Last : 4294967295");
    g_nRdpLevel = 0;
    ASSERT_TRUE(WhenModal<CConfigDlg>([&] { click(kIdcConfig); }, [](CConfigDlg& dialog) {
        dialog.findChild<CChkGBox*>()->titleButton()->click();  // the information block's switch
        dialog.controls().control<QAbstractButton>(res::config::kLevel0)->click();
        dialog.controls().control<QAbstractButton>(1)->click();
    }));
    EXPECT_EQ(RegLoadRdpLevel(), 1u);
    EXPECT_TRUE(page->controls().isChecked(kIdcLevel0));
    EXPECT_FALSE(page->controls().isChecked(kIdcLevel1));
}

// The quantity switch follows its state however it changes, in memory and in the store; the
// boxes that only show settings are put back.
TEST_F(FlashPage, BoxesFollowTheirStateHoweverTheyChange) {
    g_nRdpLevel = 1;
    g_bInfoBlockEnable = g_bParamEnable = 0;
    page->RefreshSettingsView();
    const int shownOnly[] = {kIdcLevel0, kIdcLevel1, kIdcInfoBlockEnable, kIdcParamEnable};
    for (int id : shownOnly) page->controls().show(id, true);
    const auto box = [&](int id) { return page->controls().control<QAbstractButton>(id); };
    for (const BoxChange how : kBoxChanges) {
        SCOPED_TRACE(BoxChangeName(how));
        for (const bool on : {true, false}) {
            ChangeBox(box(kIdcLimitEnable), how);
            EXPECT_EQ(std::tuple(g_bLimitEnable != 0, RegLoadBurnLimitEn() != 0, page->control(kIdcLimitQuantity)->isEnabled()),
                      std::tuple(on, on, on));
        }
        std::vector<bool> checked;
        for (int id : shownOnly) ChangeBox(box(id), how), checked.push_back(page->controls().isChecked(id));
        EXPECT_EQ(checked, (std::vector<bool>{true, false, false, false}));
    }
}

// The page is switched by the main window's menu; Esc and Enter never hide it.
TEST_F(FlashPage, KeysDoNotHideThePage) {
    page.reset();
    const auto previous = CreatePageWindow;
    InstallFlashPage();
    {
        CUart_ISPDlg window;
        window.show();
        ui::findCommand(window.menuBar(), 32780)->trigger();
        QWidget* shown = window.page(CUart_ISPDlg::Page::IspSf);
        ASSERT_NE(dynamic_cast<CFlashISP*>(shown), nullptr);
        for (auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(shown->findChildren<QAbstractButton*>().front(), key);
            QTest::keyClick(shown, key);
        }
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(window.isVisible());
    }
    CreatePageWindow = previous;
}
