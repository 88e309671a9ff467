#include "sfpage/flash_isp.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/crc16.h"
#include "app/main_window.h"
#include "core/registry_settings.h"
#include "controls/chk_gbox.h"
#include "dialogs/config_dlg.h"
#include "dialogs/read_info_dlg.h"
#include "engine_com/gang_settings.h"
#include "flash_page_fixture.h"
#include "link/hid_device.h"
#include "platform/registry_store.h"
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
    // Keys: the value the page puts back after a refused one is not the operator's and is not
    // stored, so a quantity another running copy stored meanwhile stands; a typed one is stored.
    click(kIdcLimitEnable);
    field->setText("500");
    for (const auto& [keys, message, shown, stored] :
         {std::tuple<const char*, const char*, const char*, uint32_t>{"x", digits, "500", 700}, {"1", nullptr, "5001", 5001}}) {
        SCOPED_TRACE(keys);
        RegSaveLimitQuantity(700);
        services.clear();
        QTest::keyClicks(field, keys);
        EXPECT_EQ(messages(), message ? std::vector<std::string>{message} : std::vector<std::string>{});
        EXPECT_EQ(field->text().toStdString(), shown);
        EXPECT_EQ(RegLoadLimitQuantity(), stored);
    }
    // A store that takes no save (a folder in its lock's place): each save the operator made says
    // so, naming the store.
    const std::string store = platform::registryStorePath();
    std::filesystem::remove(store + ".lock");
    ASSERT_TRUE(std::filesystem::create_directory(store + ".lock"));
    services.clear();
    QTest::keyClicks(field, "2");
    click(kIdcLimitEnable);
    const std::string refusal = "Settings can not be saved: " + store + " can not be written!";
    EXPECT_EQ(messages(), (std::vector<std::string>{refusal, refusal}));
    std::filesystem::remove(store + ".lock");
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
    RegSaveLastSn(0xFFFFFFFF);  // the label shows the number the next part gets
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

TEST(FlashIspRoutines, SerialTransformScramblerAndHexDigits) {
    for (auto [serial, encoded] : {std::pair<uint32_t, uint32_t>{0, 0x1AE187}, {1000, 0x1AE26F}, {0x123456, 0x08D5D1},
                                   {0xFF000000, 0x1AE187}})
        EXPECT_EQ(CFlashISP::EncodeSerialNumber(serial), encoded) << serial;
    g_KeyBytes.fill(0);
    for (uint32_t position : {0u, 7u, 16u, 255u}) EXPECT_EQ(CFlashISP::ScrambleByte(0x5A, position), 0x5A ^ 0x4C);
    // Sixteen positions pick each key byte once.
    for (size_t k = 0; k < 16; ++k) g_KeyBytes[k] = static_cast<uint8_t>(k * 0x11);
    std::set<uint8_t> picked;
    for (uint32_t position = 0; position < 16; ++position) picked.insert(CFlashISP::ScrambleByte(0x4C, position));
    EXPECT_EQ(picked.size(), 16u);
    g_KeyBytes.fill(0);
    for (auto [byte, text] : {std::pair<uint8_t, const char*>{0x00, "00"}, {0x9A, "9A"}, {0xF5, "F5"}})
        EXPECT_EQ(CFlashISP::ByteToHexChars(byte), text);
    // Both cases read back; the characters just outside the digits' ranges give no byte.
    const struct { char high, low; std::optional<uint8_t> byte; } pairs[] = {
        {'0', '0', 0x00}, {'9', 'A', 0x9A}, {'f', '5', 0xF5}, {'F', 'f', 0xFF}, {'a', 'F', 0xAF},
        {'G', '0', std::nullopt}, {'0', 'g', std::nullopt}, {'/', '0', std::nullopt}, {'0', ':', std::nullopt},
        {'@', '1', std::nullopt}, {'1', '`', std::nullopt}, {' ', '1', std::nullopt}};
    for (const auto& c : pairs) EXPECT_EQ(CFlashISP::HexPairToByte(c.high, c.low), c.byte) << c.high << c.low;
}

// Only bytes inside the 16 key bytes become the key, each at its own offset, whichever record
// brings them; the option page's serial bytes become the fixed serial as they are.
TEST_F(FlashPage, TheKeyReaderTakesOnlyTheKeysBytes) {
    g_bEncry = 1;
    g_bOptionSerial = 1;
    g_dwKeyAddr = 0x4000;
    g_dwOptionAddr = 0x3FF8;
    g_KeyBytes.fill(0xEE);
    g_bKeyLoaded = 0;
    std::istringstream hex(
        ":103FF800000102030405060708090A0B0C0D0E0F41\n"  // option block and key bytes 0 to 7
        ":10400800101112131415161718191A1B1C1D1E1F30\n"  // key bytes 8 to 15, then past the key
        ":0240200000009E\n"                              // above the key: no change
        ":020000040001F9\n:024000000000BE\n"             // 0x14000 is not the key address
        ":020000020000FC\n:00000001FF\n");
    HexKeyRecord record;
    std::vector<std::pair<int, uint32_t>> records;
    for (int i = 0; i < 6; ++i) records.emplace_back(page->ParseHexRecordWithKey(hex, record), record.address);
    EXPECT_EQ(records, (std::vector<std::pair<int, uint32_t>>{{0, 0x3FF8}, {0, 0x4008}, {0, 0x4020}, {0, 0}, {0, 0x14000}, {2, 0}}));
    EXPECT_EQ(page->ParseHexRecordWithKey(hex, record), 1);
    // The next file starts at base 0: the last one's base does not move its key bytes.
    std::istringstream next(":044000002021222336\n");
    EXPECT_EQ(page->ParseHexRecordWithKey(next, record), 0);
    EXPECT_EQ(record.address, 0x4000u);
    // A record that fails its checksum is no key.
    std::istringstream broken(":020000040000FA\n:10400000AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA11\n");
    EXPECT_EQ(page->ParseHexRecordWithKey(broken, record), 0);
    EXPECT_EQ(page->ParseHexRecordWithKey(broken, record), 3);
    EXPECT_EQ(g_KeyBytes, (std::array<uint8_t, 16>{0x20, 0x21, 0x22, 0x23, 12, 13, 14, 15, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
    EXPECT_EQ(g_GangSerialFixed, (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(g_bKeyLoaded, 1u);
    const auto* list = page->controls().control<QListWidget>(kIdcLogList);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(1)->text().toStdString(), "Gang Serial Fixed : 010203");
    EXPECT_EQ(list->item(2)->text().toStdString(), "Load New Key :  08090A0B 0C0D0E0F 10111213 14151617");
    EXPECT_EQ(list->item(3)->text().toStdString(), "Load New Key :  20212223 0C0D0E0F 10111213 14151617");
    g_KeyBytes.fill(0);
    g_GangSerialFixed = {};
}

// Reload reads the last chosen file again: a binary's new size and sum are shown and kept, a
// HEX file's beside the kept ones. The byte loggers add to the list, also to an empty one.
TEST_F(FlashPage, ReloadAndTheByteLoggers) {
    const auto text = [&](int id) { return page->controls().text(id).toStdString(); };
    load(PatternImage(100));
    page->ClearImageInfo();
    EXPECT_EQ(text(kIdcImageSize) + text(kIdcImageCrc), "");
    bench.writeImage(Bytes(3, 0x01));
    page->ReloadImage();
    EXPECT_EQ(text(kIdcImageSize) + " " + text(kIdcImageCrc), "3 0003");
    EXPECT_EQ(g_wSfImageCrc, 3);
    std::ofstream(bench.folder.filePath("image.hex").toStdString()) << ":0400000001020304F2\n:00000001FF\n";
    g_strLastFile = "image.hex";
    page->ReloadImage();
    EXPECT_EQ(text(kIdcImageSize) + " " + text(kIdcImageCrc), "3/4 0003/000A");

    auto* list = page->controls().control<QListWidget>(kIdcLogList);
    list->clear();
    page->LogAppendByte(0x5A);
    page->LogAppendByte(0x01);
    page->LogBytesLine(Bytes{0x0A, 0xFF});
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text().toStdString(), " 5A 01");
    EXPECT_EQ(list->item(1)->text().toStdString(), " 0A FF");
}
