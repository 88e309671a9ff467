#include "dialogs/write_protect_dlg.h"

#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>

#include "dialogs/para512_dlg.h"
#include "res/write_protect_template.h"

using namespace res;

namespace {

// Waits up to a second for the headline to reach the state; how long it took, -1 when it did not.
int msUntilHeadline(CWriteProtectDlg& dialog, bool shown) {
    QElapsedTimer clock;
    clock.start();
    if (!QTest::qWaitFor([&] { return dialog.control(kIdcWriteProtectHeadline)->isVisible() == shown; }, 1000))
        return -1;
    return static_cast<int>(clock.elapsed());
}

}  // namespace

TEST(WriteProtect, HeadlineBlinksUntilTheDialogCloses) {
    for (int button : {1, 2}) {
        CWriteProtectDlg dialog;
        dialog.show();
        QWidget* headline = dialog.control(kIdcWriteProtectHeadline);
        EXPECT_EQ(headline->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_TRUE(headline->font().italic() && headline->font().bold());
        EXPECT_FALSE(dialog.control(kIdcWriteProtectDeclare)->font().italic());

        EXPECT_TRUE(headline->isVisible());
        const int hidden = msUntilHeadline(dialog, false);
        EXPECT_GE(hidden, 300);
        const int shownAgain = msUntilHeadline(dialog, true);
        EXPECT_GE(shownAgain, 300);

        dialog.controls().control<QAbstractButton>(button)->click();
        EXPECT_EQ(dialog.result(), button == 1 ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(dialog.blinking()) << button;
    }
}

TEST(Para512, GridHolds512BytesSixteenToARow) {
    CPara512Dlg dialog;
    EXPECT_EQ(dialog.control(kIdcPara512Grid), &dialog.m_grid);
    EXPECT_EQ(dialog.m_grid.columnCount(), 16);
    EXPECT_EQ(dialog.m_grid.rowCount(), 32);
    dialog.show();
    dialog.controls().control<QAbstractButton>(1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
