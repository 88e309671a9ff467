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
        EXPECT_TRUE(dialog.control(kIdcWriteProtectHeadline)->isVisible());
        EXPECT_GE(msUntilHeadline(dialog, false), 300);
        EXPECT_GE(msUntilHeadline(dialog, true), 300);
        dialog.controls().control<QAbstractButton>(button)->click();
        EXPECT_EQ(dialog.result(), button == 1 ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(dialog.blinking()) << button;
    }
}

TEST(Para512, GridHolds512BytesSixteenToARow) {
    CPara512Dlg dialog;
    EXPECT_EQ(dialog.control(kIdcPara512Grid), &dialog.m_grid);
    EXPECT_EQ(std::pair(dialog.m_grid.columnCount(), dialog.m_grid.rowCount()), std::pair(16, 32));
    dialog.show();
    dialog.controls().control<QAbstractButton>(1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
