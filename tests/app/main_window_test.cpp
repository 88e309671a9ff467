#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/application.h"
#include "app/ic_page.h"
#include "core/counters.h"
#include "core/globals.h"
#include "dialogs/tool_dialogs.h"
#include "app/main_window.h"
#include "link/serial_port.h"
#include "sfpage/flash_isp.h"
#include "platform/registry_store.h"
#include "settings_probe.h"
#include "support/recording_services.h"

namespace {

using Page = CUart_ISPDlg::Page;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        g_nChipMode = 0;
        g_dwFlashSize = 0x10000;
        g_bTaskWorking = false;
        g_nDelayCount = 0;
        qApp->installEventFilter(&filter_);  // as the program runs
        InstallIcPage();
        InstallFlashPage();
        window_ = std::make_unique<CUart_ISPDlg>();
        window_->show();
    }
    void TearDown() override {
        qApp->removeEventFilter(&filter_);
        g_bTaskWorking = false;
        RunConfigDialog = nullptr;
        BurnFromKey = nullptr;
        CreatePageWindow = nullptr;
        window_.reset();
    }

    void command(int id) {
        QAction* action = ui::findCommand(window_->menuBar(), id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
    }
    QString notice() const { return window_->client()->controls().text(1098); }
    bool noticeShown() const { return !window_->client()->control(1098)->isHidden(); }
    bool shown(Page page) const { return window_->page(page) && !window_->page(page)->isHidden(); }

    SettingsProbe probe_;
    DelayKeyFilter filter_;
    std::unique_ptr<CUart_ISPDlg> window_;
};

TEST_F(MainWindow, StartsWithTheModelInItsTitleAndTheIcPage) {
    EXPECT_EQ(window_->windowTitle(), "SWD ISP VoskS _ RQ45N064  V1.09");
    EXPECT_TRUE(shown(Page::IspIc));
    EXPECT_EQ(ui::findCommand(window_->menuBar(), 32778), nullptr);  // no EEPROM page
    EXPECT_TRUE(window_->client()->control(1000)->isHidden());
    EXPECT_FALSE(noticeShown());
    const QLabel* noticeText = window_->client()->controls().control<QLabel>(1098);
    EXPECT_EQ(noticeText->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(noticeText->alignment() & Qt::AlignRight);
    EXPECT_FALSE(window_->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindow, RefusesPageSwitchesConfigAndCloseDuringATaskButNeverTheIcPage) {
    bool asked = false;
    RunConfigDialog = [&](QWidget*) {
        asked = true;
        return std::optional<ConfigAnswer>();
    };
    g_bTaskWorking = true;
    for (int id : {32780, 32777, 32772}) {
        command(id);
        EXPECT_TRUE(shown(Page::IspIc)) << id;
    }
    EXPECT_EQ(window_->page(Page::IspSf), nullptr);
    EXPECT_EQ(window_->page(Page::InfoBlock), nullptr);
    EXPECT_FALSE(asked);
    EXPECT_FALSE(window_->close());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(noticeShown());
    EXPECT_EQ(notice(), "Please wait for ISP finish !");

    g_bTaskWorking = false;
    command(32780);
    EXPECT_TRUE(shown(Page::IspSf));
    g_bTaskWorking = true;
    command(32771);
    EXPECT_TRUE(shown(Page::IspIc));
    EXPECT_FALSE(shown(Page::IspSf));
    g_bTaskWorking = false;
    EXPECT_TRUE(window_->close());
}

TEST_F(MainWindow, KeepsEachPageOnceMadeAndEnlargesForTheInformationBlock) {
    const QSize compact = window_->size();
    command(32777);
    EXPECT_EQ(window_->size(), compact + QSize(70, 180));
    QWidget* infoBlock = window_->page(Page::InfoBlock);
    command(32771);
    EXPECT_EQ(window_->size(), compact);
    command(32777);
    EXPECT_EQ(window_->page(Page::InfoBlock), infoBlock);
}

TEST_F(MainWindow, ConfigSavesTheSixValuesInOrderAndCancelStoresNothing) {
    RunConfigDialog = [](QWidget*) { return std::optional<ConfigAnswer>(); };
    command(32772);
    EXPECT_EQ(window_->windowTitle(), "SWD ISP VoskS _ RQ45N064  V1.09");
    EXPECT_TRUE(probe_.writes().empty());

    RunConfigDialog = [](QWidget*) { return std::optional<ConfigAnswer>(ConfigAnswer{13, 1, 0, 0x4000, 77, 1, true}); };
    command(32772);
    EXPECT_EQ(window_->windowTitle(), "SWD ISP VoskS _ RQ84M302  V1.09");
    EXPECT_EQ(g_dwFlashSize, 0xC000u);
    EXPECT_EQ(g_dwSerialAddr, 0x4000u);
    EXPECT_EQ(probe_.writes(), (SettingsProbe::Writes{
                                   {"ISPICType", 13}, {"Serial No En", 1}, {"SN in Area", 1},
                                   {"SN Start Addr", 0x4000}, {"Last SN", 77}, {"Serial No Auto Increase", 0}}));

    // The number as the dialog showed it, not typed, is not written back: another running copy
    // has taken numbers since, and the store is ahead of it.
    RunConfigDialog = [](QWidget*) { return std::optional<ConfigAnswer>(ConfigAnswer{13, 1, 0, 0x4000, 77, 1}); };
    probe_.store("Last SN", 500);
    probe_.clear();
    command(32772);
    EXPECT_EQ(probe_.writes(), (SettingsProbe::Writes{{"ISPICType", 13}, {"Serial No En", 1}, {"SN in Area", 1},
                                                      {"SN Start Addr", 0x4000}, {"Serial No Auto Increase", 0}}));
    EXPECT_EQ(RegLoadLastSn(), 500u);
}

// The commands that no menu item carries: 32773 is the About box as 32782 is, 32781 hides the
// pages and 32774 closes the window as its close box does, saving the parts a verify-only run
// counted; both are refused while a task runs. The shown page hears the COM port.
TEST_F(MainWindow, UnlistedCommandsAndThePortsOwner) {
    for (int id : {32782, 32773}) {
        QString version;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            if (auto* line = box->findChild<QLabel*>("ctl1033")) version = line->text();
            box->close();
        });
        command(id);
        EXPECT_EQ(version, "SWD Vosk Version 1.09") << id;
    }
    CAboutQorm second;
    EXPECT_EQ(second.windowTitle(), "About Nubo ISP");
    EXPECT_EQ(second.controls().text(1033), "Nubo Vosk Version 1.09");

    const auto owner = [&](Page page) { return dynamic_cast<SerialPortOwner*>(window_->page(page)); };
    EXPECT_EQ(g_SerialPort.Owner(), owner(Page::IspIc));
    command(32780);
    ASSERT_NE(owner(Page::IspSf), nullptr);
    EXPECT_EQ(g_SerialPort.Owner(), owner(Page::IspSf));
    command(32777);
    EXPECT_EQ(g_SerialPort.Owner(), nullptr);  // the information-block page has no use for it
    command(32780);

    const struct {
        int command;
        bool busy;
        bool pagesShown, windowShown;
    } cases[] = {
        {32781, true, true, true}, {32774, true, true, true}, {32781, false, false, true}, {32774, false, false, false},
    };
    ResetCounters();
    CountPart(true);
    CountPart(false);
    for (const auto& c : cases) {
        g_bTaskWorking = c.busy;
        command(c.command);
        QApplication::processEvents();
        EXPECT_EQ(shown(Page::IspSf), c.pagesShown) << c.command << c.busy;
        EXPECT_FALSE(shown(Page::IspIc) || shown(Page::InfoBlock)) << c.command << c.busy;
        EXPECT_EQ(window_->isVisible(), c.windowShown) << c.command << c.busy;
        EXPECT_TRUE(!c.busy || noticeShown()) << c.command;
    }
    EXPECT_EQ(RegLoadTotalCount(), 2u);
    EXPECT_EQ(RegLoadPassCount(), 1u);
    EXPECT_EQ(RegLoadFailCount(), 1u);
}

// Parts counted in memory that the close cannot store are named, how many and why, before the
// window goes: the operator saw them counted. A close that stores them, or has none to store,
// says nothing.
TEST_F(MainWindow, CloseNamesTheCountedPartsItCannotStore) {
    const std::string store = platform::registryStorePath();
    const auto unlocked = [&] {  // a folder in the lock's place: no lock, no save
        std::filesystem::remove(store + ".lock");
        std::filesystem::create_directory(store + ".lock");
    };
    const auto unreadableCount = [&] { std::ofstream(store) << "[" << g_szRegKey << "]\n\"Fail Count\"=\"4\"\n"; };
    const struct { const char* name; std::function<void()> spoil; uint32_t pass, fail; std::string message; } cases[] = {
        {"stored", [] {}, 2, 1, ""},
        {"none counted", unlocked, 0, 0, ""},
        {"no lock", unlocked, 2, 1, "3 counted parts (Pass 2, Fail 1) can not be saved: " + store + " can not be written!"},
        {"a count that cannot be read", unreadableCount, 0, 1,
         "1 counted part (Pass 0, Fail 1) can not be saved: Pass Count or Fail Count in " + store + " can not be read!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingServices services;
        std::filesystem::remove(store + ".lock");
        ResetCounters();
        c.spoil();
        for (uint32_t i = 0; i < c.pass + c.fail; ++i) CountPart(i < c.pass);
        window_->show();
        EXPECT_TRUE(window_->close());
        const auto messages = services.messages();
        EXPECT_EQ(messages.size(), c.message.empty() ? 0u : 1u);
        EXPECT_EQ(messages.empty() ? "" : messages[0].text, c.message);
    }
    std::filesystem::remove(store + ".lock");
}

// B burns; '+' and '-' step the delay within its bounds and save every press; other keys do
// nothing.
TEST_F(MainWindow, KeysBurnOrStepTheDelayWithinBoundsAndSaveEveryPress) {
    using Writes = SettingsProbe::Writes;
    int burns = 0;
    BurnFromKey = [&] { ++burns; };
    const struct { uint32_t start; Qt::Key key; Qt::KeyboardModifiers mods; uint32_t expected; bool saved; int burns; } cases[] = {
        {5, Qt::Key_Plus, Qt::KeypadModifier, 6, true, 0},  {5, Qt::Key_Plus, Qt::ShiftModifier, 6, true, 0},
        {5, Qt::Key_Equal, Qt::NoModifier, 6, true, 0},     {2000, Qt::Key_Plus, Qt::KeypadModifier, 2000, true, 0},
        {5, Qt::Key_Minus, Qt::KeypadModifier, 4, true, 0}, {1, Qt::Key_Minus, Qt::NoModifier, 0, true, 0},
        {0, Qt::Key_Minus, Qt::KeypadModifier, 0, true, 0}, {7, Qt::Key_5, Qt::NoModifier, 7, false, 0},
        {7, Qt::Key_Return, Qt::NoModifier, 7, false, 0},   {7, Qt::Key_Escape, Qt::NoModifier, 7, false, 0},
        {7, Qt::Key_B, Qt::NoModifier, 7, false, 1},        {7, Qt::Key_B, Qt::ShiftModifier, 7, false, 1},
    };
    for (const auto& c : cases) {
        probe_.clear();
        burns = 0;
        g_nDelayCount = c.start;
        QTest::keyClick(window_.get(), c.key, c.mods);
        EXPECT_EQ(g_nDelayCount.load(), c.expected) << c.start << " key " << c.key;
        EXPECT_EQ(probe_.writes(), (c.saved ? Writes{{"Scan Delay", c.expected}} : Writes{})) << c.key;
        EXPECT_EQ(burns, c.burns) << c.key;
    }
    EXPECT_EQ(notice(), "Delay Count:0");
    EXPECT_TRUE(window_->isVisible());
    // A press the store does not take (a folder in its lock's place) says so, naming the store.
    const std::string store = platform::registryStorePath();
    std::filesystem::remove(store + ".lock");
    ASSERT_TRUE(std::filesystem::create_directory(store + ".lock"));
    RecordingServices services;
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::KeypadModifier);
    const auto messages = services.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Settings can not be saved: " + store + " can not be written!");
    std::filesystem::remove(store + ".lock");
}

// On the serial-flash page Enter goes nowhere, not even to the field it is pressed in; other
// keys reach the page's controls and go no further: B there burns nothing.
TEST_F(MainWindow, TheSerialFlashPageSwallowsEnterAndKeepsItsOtherKeys) {
    int burns = 0, returns = 0;
    BurnFromKey = [&] { ++burns; };
    g_bLimitEnable = 1;
    g_nLimitQuantity = 5;
    command(32780);
    QWidget* page = window_->page(Page::IspSf);
    auto* quantity = page->findChild<QLineEdit*>("ctl1135");
    ASSERT_NE(quantity, nullptr);
    QObject::connect(quantity, &QLineEdit::returnPressed, [&] { ++returns; });
    const struct { QWidget* target; Qt::Key key; Qt::KeyboardModifiers mods; const char* quantity; } cases[] = {
        {quantity, Qt::Key_Return, Qt::NoModifier, "5"}, {quantity, Qt::Key_Enter, Qt::KeypadModifier, "5"},
        {quantity, Qt::Key_7, Qt::NoModifier, "57"},     {page->findChild<QWidget*>("ctl1001"), Qt::Key_B, Qt::NoModifier, "57"},
        {page, Qt::Key_B, Qt::NoModifier, "57"},
    };
    for (const auto& c : cases) {
        QTest::keyClick(c.target, c.key, c.mods);
        EXPECT_EQ(quantity->text(), c.quantity) << c.key;
    }
    EXPECT_EQ(returns, 0);
    EXPECT_EQ(burns, 0);
    EXPECT_TRUE(shown(Page::IspSf));
    g_bLimitEnable = 0;
}

// B burns the IC page only while no other page is shown: on the information-block page, on its
// buttons or in the window around it or the serial-flash page, B starts nothing.
TEST_F(MainWindow, BBurnsNothingWhileAnotherPageIsShown) {
    int burns = 0;
    BurnFromKey = [&] { ++burns; };
    InstallToolDialogs();
    command(32777);
    QWidget* page = window_->page(Page::InfoBlock);
    auto* button = page->findChild<QPushButton*>();
    ASSERT_TRUE(shown(Page::InfoBlock) && button != nullptr);
    for (QWidget* target : std::initializer_list<QWidget*>{page, button, window_->client(), window_.get()})
        QTest::keyClick(target, Qt::Key_B);
    command(32780);
    QTest::keyClick(window_.get(), Qt::Key_B);
    EXPECT_EQ(burns, 0);
    command(32771);  // the IC page again
    QTest::keyClick(window_.get(), Qt::Key_B);
    EXPECT_EQ(burns, 1);
    RunToolDialog = nullptr;
    RunDumpDialog = nullptr;
}

// A key pressed on a child travels up to the window: it still counts once. Presses that follow
// one another count each, wherever they land in the window (Qt may build each press's event at
// the same address); a press in another window, such as a file dialog, does not count.
TEST_F(MainWindow, DelayKeysCountEachPressOnceOnlyInTheMainWindowAndTheNoticeGoesAfterTwoSeconds) {
    EXPECT_FALSE(noticeShown());
    auto* edit = new QLineEdit(window_->client());  // takes the key: it goes no further
    QWidget* label = window_->client()->control(1098);
    QDialog dialog;
    auto* dialogEdit = new QLineEdit(&dialog);
    dialog.show();
    for (QWidget* target : std::initializer_list<QWidget*>{label, window_.get(), edit, window_->client(), edit, label})
        QTest::keyClick(target, Qt::Key_Plus);
    EXPECT_EQ(g_nDelayCount.load(), 6u);
    for (QWidget* target : std::initializer_list<QWidget*>{dialogEdit, &dialog, dialogEdit})
        QTest::keyClick(target, Qt::Key_Minus);
    EXPECT_EQ(g_nDelayCount.load(), 6u);
    EXPECT_EQ(probe_.writes().size(), 6u);
    EXPECT_EQ(dialogEdit->text(), "--");
    dialog.close();
    g_nDelayCount = 2;
    window_->ShowDelayCountThread();
    EXPECT_EQ(notice(), "Delay Count:2");
    EXPECT_TRUE(noticeShown());
    EXPECT_TRUE(g_bNoticeShown);
    QTest::qWait(2200);
    EXPECT_FALSE(noticeShown());
    EXPECT_FALSE(g_bNoticeShown);
}

}  // namespace
