#include "dialogs/tool_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/ic_page.h"
#include "app/main_window.h"
#include "dialogs/info_blk2_dlg.h"

// "EEPROM" shows the information-block page; "Info. Blk1", "Security/Boot Data", "Read CRC"
// and the IC page's Dump run their dialogs.
TEST(ToolDialogs, MenuCommandsAndDumpOpenTheirDialogs) {
    const auto savedPages = CreatePageWindow;
    const auto savedTools = RunToolDialog;
    const auto savedDump = RunDumpDialog;
    g_bTaskWorking = false;
    InstallToolDialogs();
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
        const auto closeWhenShown = [&] {
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                ASSERT_NE(dialog, nullptr);
                titles << dialog->windowTitle();
                dialog->close();
            });
        };
        for (int command : {32776, 32787, 32785}) {
            closeWhenShown();
            ui::findCommand(window.menuBar(), command)->trigger();
        }
        closeWhenShown();
        RunDumpDialog(&window);
        EXPECT_EQ(titles, (QStringList{"Information Block", "Read Security/Boot Data", "Read CRC", "Dump"}));
    }
    CreatePageWindow = savedPages;
    RunToolDialog = savedTools;
    RunDumpDialog = savedDump;
}
