#include "dialogs/config1_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/registry_settings.h"
#include "res/config1_template.h"
#include "support/recording_services.h"
#include "support/temp_config_folder.h"

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
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : services.messages()) texts.push_back(m.text);
        return texts;
    }
    static QString text(CConfig1Dlg& dialog, int id) { return dialog.controls().text(id); }
    static void click(CConfig1Dlg& dialog, int id) {
        dialog.controls().control<QAbstractButton>(id)->click();
    }

    RecordingServices services;
};

}  // namespace

TEST_F(Config1, OpeningSettlesTheStoredAddressOnTheModelsDefault) {
    const struct {
        uint8_t chipMode;
        uint32_t location, stored;
        const char* field;
        uint32_t global;  // g_dwSerialAddr after opening
        std::vector<std::string> messages;
    } cases[] = {
        {0, 0, 0x0, "8000", 0x8000, {}},
        {0, 0, 0x10, "8000", 0x8000, {}},
        {0, 0, 0x11, "11", 0x11, {}},
        {1, 0, 0xFFFC, "4000", 0xFFFC, {"Out of range! Address must be <= 7FFC"}},
        {0, 1, 0x400, "0", 0, {}},
        {0, 1, 0x300, "0", 0x300, {"Out of range! Address must be <= 1FC"}},
        {0, 1, 0x1FC, "1FC", 0x1FC, {}},
    };
    for (const auto& c : cases) {
        services.clear();
        use(c.chipMode, c.location, c.stored);
        CConfig1Dlg dialog;
        EXPECT_EQ(text(dialog, kIdcSerialAddr), c.field) << c.stored;
        EXPECT_EQ(g_dwSerialAddr, c.global) << c.stored;
        EXPECT_EQ(messages(), c.messages) << c.stored;
    }
}

TEST_F(Config1, AddressChecksFollowLocationAndModel) {
    CConfig1Dlg dialog;
    click(dialog, kIdcInEeprom);
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "1FC");
    dialog.controls().setText(kIdcSerialAddr, "200");
    EXPECT_EQ(messages(), std::vector<std::string>{"Out of range! Address must be <= 1FC"});
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "1FC");

    services.clear();
    dialog.controls().setText(kIdcSerialAddr, "1g");
    EXPECT_EQ(messages(), std::vector<std::string>{"Address Error! Address must be HEX number"});
    EXPECT_EQ(dialog.m_dwSerialAddr, 0x1FCu);

    // Main code on model 0 takes FFFC; picking model 1 checks it again and settles at once.
    click(dialog, kIdcInMainCode);
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "FFFC");
    services.clear();
    auto* models = dialog.controls().control<QComboBox>(kIdcChipModel);
    models->setCurrentIndex(1);
    emit models->activated(1);
    EXPECT_EQ(messages(), std::vector<std::string>{"Out of range! Address must be <= 7FFC"});
    EXPECT_EQ(text(dialog, kIdcSerialAddr), "7FFC");
    EXPECT_EQ(dialog.controls().text(kIdcFlashSizeLabel), "32768 Byte");

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
        const char* message;  // nullptr when accepted
        uint32_t next;
        const char* field;
    } cases[] = {
        {"4294967295", nullptr, 0xFFFFFFFFu, "4294967295"},
        {"4294967296", "Out of range! Serial No must be <= 0xFFFFFFFF", 0xFFFFFFFFu, "4294967295"},
        {"12a", "Serial No Error! Serial No must be digital number", 0xFFFFFFFFu, "4294967295"},
        {"", nullptr, 0, ""},
        {"42", nullptr, 42, "42"},
    };
    for (const auto& c : cases) {
        services.clear();
        dialog.controls().setText(kIdcInitialSerial, c.typed);
        EXPECT_EQ(messages(), c.message ? std::vector<std::string>{c.message}
                                        : std::vector<std::string>{}) << c.typed;
        EXPECT_EQ(dialog.m_nNextSerial, c.next) << c.typed;
        EXPECT_EQ(text(dialog, kIdcInitialSerial), c.field) << c.typed;
    }
}

TEST_F(Config1, SerialNumberBoxSwitchesTheGroupAndOkHandsItBack) {
    CConfig1Dlg dialog;
    dialog.show();
    QAbstractButton* title = nullptr;
    for (auto* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->text() == "Serial Number") title = button;
    }
    ASSERT_NE(title, nullptr);
    title->click();
    for (int id : {kIdcInMainCode, kIdcInEeprom, kIdcSerialAddr, kIdcInitialSerial, kIdcAutoIncrease})
        EXPECT_FALSE(dialog.control(id)->isEnabled()) << id;
    EXPECT_TRUE(dialog.control(1)->isEnabled());
    click(dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_bSerialEnable, 0u);
    EXPECT_EQ(dialog.m_nNextSerial, 7u);
    EXPECT_EQ(dialog.m_dwSerialAddr, 0x100u);
}

TEST_F(Config1, ConfigCommandStoresOnlyOnOk) {
    TempConfigFolder config;
    InstallConfigDialog();
    CUart_ISPDlg window;
    window.show();
    // Presses a button of the dialog once it is up; types into the serial field first.
    auto press = [](int button, const char* serial) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [=] {
            auto* dialog = dynamic_cast<CConfig1Dlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            timer->stop();
            timer->deleteLater();
            dialog->controls().setText(kIdcInitialSerial, serial);
            dialog->controls().control<QAbstractButton>(button)->click();
        });
        timer->start(5);
    };
    auto stored = [] {
        return std::vector<uint32_t>{RegLoadSerialNoEn(), RegLoadSnStartAddr(), RegLoadLastSn(),
                                     RegLoadSnInArea(), RegLoadSerialNoAutoInc()};
    };
    const auto before = stored();

    press(2, "99");
    ui::findCommand(window.menuBar(), 32772)->trigger();
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(g_nLastSerial, 7u);

    press(1, "99");
    ui::findCommand(window.menuBar(), 32772)->trigger();
    EXPECT_EQ(RegLoadLastSn(), 99u);
    EXPECT_EQ(g_nLastSerial, 99u);
    RunConfigDialog = nullptr;
}
