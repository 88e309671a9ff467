#include "dialogs/config1_dlg.h"

#include <QMenuBar>

#include "app/main_window.h"
#include "app/registry_settings.h"
#include "controls/chk_gbox.h"
#include "res/config1_template.h"
#include "support/box_changes.h"
#include "support/temp_config_folder.h"
#include "tool_bench.h"

using namespace res;

namespace {

class Config1 : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        g_bSerialEnable = 1;
        g_bSerialAutoInc = 0;
        g_nLastSerial = 7;
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

TEST_F(Config1, SerialNumberFieldKeepsTheLastAcceptedNumber) {
    CConfig1Dlg dialog;
    EXPECT_EQ(text(dialog, kIdcInitialSerial), "7");
    const struct {
        const char* typed;
        Texts messages;
        uint32_t next;
        const char* field;
    } cases[] = {{"4294967295", {}, 0xFFFFFFFFu, "4294967295"},
                 {"4294967296", {"Out of range! Serial No must be <= 0xFFFFFFFF"}, 0xFFFFFFFFu, "4294967295"},
                 {"12a", {"Serial No Error! Serial No must be digital number"}, 0xFFFFFFFFu, "4294967295"},
                 {"", {}, 0, ""}, {"42", {}, 42, "42"}};
    for (const auto& c : cases) {
        dialog.controls().setText(kIdcInitialSerial, c.typed);
        EXPECT_EQ(takeMessages(), c.messages) << c.typed;
        EXPECT_EQ(dialog.m_nNextSerial, c.next) << c.typed;
        EXPECT_EQ(text(dialog, kIdcInitialSerial), c.field) << c.typed;
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

TEST_F(Config1, ConfigCommandStoresOnlyOnOk) {
    TempConfigFolder config;
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
