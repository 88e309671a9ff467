#include "sfpage/flash_isp.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "app/crc16.h"
#include "app/main_window.h"
#include "app/registry_settings.h"
#include "link/hid_device.h"
#include "platform/strfmt.h"
#include "flash_page_fixture.h"
#include "res/icons.h"
#include "controls/chk_gbox.h"
#include "dialogs/config_dlg.h"
#include "dialogs/read_info_dlg.h"
#include "res/adapter_tool_templates.h"
#include "res/config_template.h"
#include "sfpage/adapter_image.h"
#include "support/modal_dialog.h"

using namespace res::sf;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ff(size_t count) { return Bytes(count, 0xFF); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

// What the adapter holds after Auto.: the file, 0xFF to the block, the block, and nothing
// past the written length.
TEST_F(FlashPage, AutoWritesTheStandAloneImage) {
    struct Case {
        const char* name;
        bool serial;
        Bytes serialFields;  // 0x10104 to 0x10107
        Bytes lastSerial;    // at 0x13000
        int programs;
    };
    const Case cases[] = {
        {"serial numbers off", false, ff(4), ff(4), 262},
        {"serial numbers in EEPROM, increasing", true, {0x34, 0x12, 0x00, 0xC0}, {0xEF, 0xCD, 0xAB, 0x00}, 305},
    };
    const Bytes file = PatternImage(100);
    Bytes padded = file;
    padded.resize(0x10000, 0xFF);
    const uint16_t crc = CalcCRC16(padded, 0xFFFF, 0);
    EXPECT_FALSE(page->control(kIdcProtectMap)->isVisibleTo(page.get()));  // until a run has ended
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bench.adapter.writeSerialFlash(0, Bytes(0x20000, 0x5A));  // what an earlier image left
        bench.adapter.clearLog();
        g_bSerialEnable = c.serial;
        g_nSerialLocation = 1;
        g_bSerialAutoInc = 1;
        g_dwSerialAddr = 0x001234;
        g_nLastSerial = 0x00ABCDEF;
        load(file);
        EXPECT_EQ(page->controls().text(kIdcImageCrc).toStdString(), strfmt("%04X", crc));
        run(kIdcAuto);

        EXPECT_EQ(bench.adapter.serialFlash(0, 0x10000), concat({file, ff(0x10000 - 100)}));
        EXPECT_EQ(bench.adapter.serialFlash(0x10000, 0x100),
                  concat({{0x63, 0x00, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)}, ff(0xFC)}));
        EXPECT_EQ(bench.adapter.serialFlash(0x10100, 8), concat({{0xFF, 0xFF, 0xFF, 0x00}, c.serialFields}));
        EXPECT_EQ(bench.adapter.serialFlash(0x10108, 0x13000 - 0x10108), ff(0x13000 - 0x10108));
        EXPECT_EQ(bench.adapter.serialFlash(0x13000, 0x100), concat({c.lastSerial, ff(0xFC)}));
        EXPECT_EQ(bench.adapter.serialFlash(0x13100, 0x10000), ff(0x10000));
        EXPECT_EQ(setsOf(0x34), c.programs);
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(page->controls().icon(kIdcLamp), res::kIconPass);
        EXPECT_EQ(page->controls().icon(kIdcFlashLabel), res::kIconFlashOn);
        EXPECT_TRUE(page->control(kIdcProtectMap)->isVisibleTo(page.get()));
        EXPECT_TRUE(page->control(kIdcAuto)->isEnabled());
        EXPECT_FALSE(page->control(kIdcCancel)->isEnabled());
    }
    EXPECT_EQ(g_wSfImageCrc, static_cast<uint16_t>(100 * 99 / 2));
}

// Each button checks in its own order, and a refused start sends nothing and stays idle.
TEST_F(FlashPage, StartersRefuseWithoutImageOrAdapter) {
    struct Case {
        int button;
        bool image, adapter;
        const char* message;
    };
    const Case cases[] = {
        {kIdcAuto, false, false, "BIN file not found!"},
        {kIdcAuto, true, false, "HID device Not Found !"},
        {kIdcAuto, false, true, "BIN file not found!"},
        {kIdcVerify, false, false, "HID device Not Found !"},
        {kIdcVerify, false, true, "BIN file not found!"},
        {kIdcProgram, false, false, "HID device Not Found !"},
        {kIdcProgram, false, true, "BIN file not found!"},
        {kIdcErase, false, false, "HID device Not Found !"},
    };
    for (const Case& c : cases) {
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
}

TEST_F(FlashPage, TwoRapidAutoClicksRunOneSequence) {
    load(PatternImage(100));
    click(kIdcAuto);
    click(kIdcAuto);
    ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    EXPECT_EQ(setsOf(0x31), 1);
    EXPECT_EQ(setsOf(0x34), 262);
}

// Cancel sets the stop event; the run still goes to its end.
TEST_F(FlashPage, CancelSetsTheStopEventAndTheRunFinishes) {
    bench.adapter.setSerialFlashEraseTime(std::chrono::milliseconds(200));
    load(PatternImage(100));
    click(kIdcAuto);
    ASSERT_TRUE(spinUntil([&] { return page->control(kIdcCancel)->isEnabled(); }));
    click(kIdcCancel);
    EXPECT_TRUE(g_hStopEvent.isSet());
    ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    EXPECT_EQ(page->controls().icon(kIdcLamp), res::kIconPass);
    EXPECT_EQ(setsOf(0x34), 262);
}

// Typed quantities: every character must be a digit, at most 1000000; a refused text is
// replaced by the last good value, which is what the store keeps.
TEST_F(FlashPage, LimitedQuantityField) {
    struct Case {
        const char* typed;
        const char* message;
        uint32_t kept;
    };
    const Case cases[] = {
        {"12a", "Code Error! Quantity must be digital number", 500},
        {"1a2", "Code Error! Quantity must be digital number", 500},
        {"", "Code Error! Quantity must be digital number", 500},
        {"1000001", "Out of range! Quantity should be <= 1000000", 500},
        {"99999999999999999999", "Out of range! Quantity should be <= 1000000", 500},
        {"1000000", nullptr, 1000000},
        {"0", nullptr, 0},
    };
    auto* field = page->controls().control<QLineEdit>(kIdcLimitQuantity);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        field->setText("500");
        services.clear();
        field->setText(c.typed);
        EXPECT_EQ(messages(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(field->text().toStdString(), std::to_string(c.kept));
        EXPECT_EQ(g_nLimitQuantity, c.kept);
        EXPECT_EQ(RegLoadLimitQuantity(), c.kept == 0 ? 1000u : c.kept);  // the store's range starts at 10
    }
}

TEST_F(FlashPage, StoredQuantityAboveTheFieldIsClampedWithoutAnError) {
    g_nLimitQuantity = 0x200000;
    g_bLimitEnable = 1;
    page = std::make_unique<CFlashISP>();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(page->controls().text(kIdcLimitQuantity), "1000000");
    EXPECT_TRUE(page->control(kIdcLimitQuantity)->isEnabled());
    EXPECT_TRUE(page->controls().isChecked(kIdcLimitEnable));
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
        if (refused) {
            EXPECT_EQ(messages(), std::vector<std::string>{"Out of range! Quantity should be <= 65534"});
            EXPECT_TRUE(bench.adapter.exchanges().empty());
        } else {
            EXPECT_TRUE(messages().empty());
            EXPECT_EQ(bench.adapter.serialFlash(0x10100, 2), (Bytes{0xFE, 0xFF}));
        }
    }
}

TEST_F(FlashPage, ConfigStoresTheAnswerAndShowsIt) {
    g_nRdpLevel = 0;
    ASSERT_TRUE(WhenModal<CConfigDlg>([&] { click(kIdcConfig); }, [](CConfigDlg& dialog) {
        dialog.findChild<CChkGBox*>()->titleButton()->click();  // the information block's switch
        dialog.controls().control<QAbstractButton>(res::config::kLevel0)->click();
        dialog.controls().control<QAbstractButton>(1)->click();
    }));
    EXPECT_EQ(RegLoadRdpLevel(), 1u);
    EXPECT_TRUE(page->controls().isChecked(kIdcLevel0));
    EXPECT_FALSE(page->controls().isChecked(kIdcLevel1));
    click(kIdcLevel1);  // the box shows the setting only
    EXPECT_FALSE(page->controls().isChecked(kIdcLevel1));
}

// Read Info. shows what Auto. wrote into the adapter's serial flash.
TEST_F(FlashPage, ReadInfoShowsTheBlockAutoWrote) {
    g_bSerialEnable = 1;
    g_nSerialLocation = 1;
    g_bSerialAutoInc = 1;
    g_dwSerialAddr = 0x001234;
    g_nLastSerial = 0x00ABCDEF;
    load(PatternImage(100));
    run(kIdcAuto);
    std::vector<std::string> shown;
    ASSERT_TRUE(WhenModal<CReadInfoDlg>([&] { click(kIdcReadInfo); }, [&](CReadInfoDlg& dialog) {
        ASSERT_TRUE(spinUntil([&] { return !dialog.workerRunning() && !g_bTaskWorking; }));
        for (int id : {res::kIdcImageSizeInfo, res::kIdcImageCrcInfo, res::kIdcChipNameInfo, res::kIdcSerialAddrInfo,
                       res::kIdcLastSerialInfo})
            shown.push_back(dialog.controls().text(id).toStdString());
        dialog.reject();
    }));
    EXPECT_EQ(shown, (std::vector<std::string>{"100", page->controls().text(kIdcImageCrc).toStdString(),
                                               g_strChipName[0], "1234", "11259375"}));
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
