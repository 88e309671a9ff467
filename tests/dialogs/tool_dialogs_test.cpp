#include "dialogs/tool_dialogs.h"

#include <QAction>
#include <QMenuBar>
#include <string_view>

#include "app/ic_page.h"
#include "app/main_window.h"
#include "dialogs/info_blk2_dlg.h"
#include "dialogs/vosk_ver_dlg.h"
#include "res/vosk_ver_template.h"
#include "tool_bench.h"

using namespace res::vosk_ver;

namespace {

constexpr int kFirmwareVerCommand = 32783;

// The main window with its tool commands; no adapter unless a test installs one.
class ToolMenu : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        previous = RunToolDialog;
        InstallToolDialogs();
    }
    void TearDown() override {
        EXPECT_TRUE(SpinUntil([] { return !g_bTaskWorking; }));
        RunToolDialog = previous;
        CloseHidDevice();
        sim::removeSimulatedAdapters();
    }

    // Runs "Vosk Firmware Ver." and waits for the dialog's reader; the texts shown and
    // whether Close closed it.
    std::pair<QString, QString> run(bool& closed) {
        CUart_ISPDlg window;
        QString main, sub;
        closed = WhenModal<CVoskVerDlg>(
            [&] { ui::findCommand(window.menuBar(), kFirmwareVerCommand)->trigger(); },
            [&](CVoskVerDlg& dialog) {
                EXPECT_TRUE(SpinUntil([] { return !g_bTaskWorking; }));
                main = dialog.controls().text(kMainVersion);
                sub = dialog.controls().text(kSubVersion);
                Click(dialog.controls(), 1);
            });
        return {main, sub};
    }

    sim::Adapter adapter;
    RecordingServices services;
    std::function<void(int, QWidget*)> previous;
};

}  // namespace

// "EEPROM" shows the information-block page; "Info. Blk1", "Security/Boot Data", "Read CRC"
// and the IC page's Dump run their dialogs.
TEST_F(ToolMenu, CommandsAndDumpOpenTheirDialogs) {
    const auto savedPages = CreatePageWindow;
    const auto savedDump = RunDumpDialog;
    {
        CUart_ISPDlg window;
        window.show();
        ui::findCommand(window.menuBar(), 32777)->trigger();
        auto* page = dynamic_cast<CInfoBlk2Dlg*>(window.page(CUart_ISPDlg::Page::InfoBlock));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(g_pInfoBlk2Dlg, page);
        // The enlarged window holds the whole page.
        EXPECT_TRUE(window.client()->rect().contains(page->geometry())) << page->width() << "x" << page->height() << " in "
                                                                       << window.client()->width() << "x" << window.client()->height();

        QStringList titles;
        const auto record = [&](QDialog& dialog) {
            titles << dialog.windowTitle();
            dialog.close();
        };
        for (int command : {32776, 32787, 32785})
            EXPECT_TRUE(WhenModal<QDialog>([&] { ui::findCommand(window.menuBar(), command)->trigger(); }, record));
        EXPECT_TRUE(WhenModal<QDialog>([&] { RunDumpDialog(&window); }, record));
        EXPECT_EQ(titles, (QStringList{"Information Block", "Read Security/Boot Data", "Read CRC", "Dump"}));
    }
    CreatePageWindow = savedPages;
    RunDumpDialog = savedDump;
}

TEST_F(ToolMenu, FirmwareVersionShowsBothTextsOrTellsWhyNot) {
    const struct {
        const char* name;
        std::function<void(sim::Adapter&)> setUp;
        bool installed;
        QString main, sub;
        Texts messages;
    } cases[] = {
        {"both texts", [](sim::Adapter&) {}, true, "V010", "20240115", {}},
        {"text from a zero byte on", [](sim::Adapter& a) { a.setFirmwareVersion(std::string_view("V0\0X", 4)); },
         true, "V0", "20240115", {}},
        {"empty main text", [](sim::Adapter& a) { a.setFirmwareVersion(std::string_view("\0V10", 4)); }, true, "",
         "20240115", {}},
        {"sub version unreadable", [](sim::Adapter& a) { a.failGetAt(2); }, true, "", "", {"Read firmware version fail !"}},
        {"main version unreadable", [](sim::Adapter& a) { a.failGetAt(1); }, true, "", "", {"Read firmware version fail !"}},
        {"no adapter", [](sim::Adapter&) {}, false, "", "", {"HID device Not Found !"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Adapter fresh;
        c.setUp(fresh);
        sim::installSimulatedAdapters(c.installed ? std::vector<sim::Adapter*>{&fresh} : std::vector<sim::Adapter*>{});
        bool closed = false;
        EXPECT_EQ(run(closed), std::pair(c.main, c.sub));
        EXPECT_TRUE(closed);
        EXPECT_EQ(TakeMessages(services), c.messages);
        CloseHidDevice();
        sim::removeSimulatedAdapters();
    }
}

// During another task the dialog neither searches for the adapter (which would close the
// task's handle) nor reads it; it refuses to close while its own reader runs.
TEST_F(ToolMenu, FirmwareVersionLeavesABusyAdapterAloneAndWaitsForItsReader) {
    sim::installSimulatedAdapter(adapter);
    g_bTaskWorking = true;
    {
        CVoskVerDlg dialog;
        EXPECT_TRUE(adapter.exchanges().empty());
        EXPECT_EQ(adapter.openHandles(), 0);
        EXPECT_EQ(dialog.controls().text(kMainVersion), "");
    }
    g_bTaskWorking = false;
    adapter.setTransferLatency(std::chrono::milliseconds(100));
    CVoskVerDlg dialog;
    dialog.show();
    dialog.reject();
    Click(dialog.controls(), 1);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_TRUE(SpinUntil([] { return !g_bTaskWorking; }));
    EXPECT_EQ(dialog.controls().text(kMainVersion), "V010");
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(services.messages().empty());
}
