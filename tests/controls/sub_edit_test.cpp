#include "controls/sub_edit.h"

#include <QTest>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

#include "support/widget_render.h"

namespace {

using Commit = std::tuple<int, int, QString>;  // item, sub-item, text

struct ListDialog {
    QWidget dialog;
    CSubEdit edit{&dialog};
    QLineEdit other{&dialog};
    std::vector<Commit> commits;

    ListDialog() {
        dialog.resize(300, 200);
        other.move(0, 100);
        QObject::connect(&edit, &CSubEdit::commitText,
                         [this](int item, int sub, const QString& text) { commits.emplace_back(item, sub, text); });
        showActive(dialog);
    }
    // As the holder opens the editor over a list cell.
    void open(int item, const QString& text) {
        edit.m_nItem = item;
        edit.m_nSubItem = 1;
        edit.setText(text);
        edit.show();
        edit.setFocus();
        edit.selectAll();
    }
};

}  // namespace

TEST(SubEdit, EnterAndFocusLossWriteOnceEscapeAndAReopenedEditorWriteNothing) {
    enum Leave { Enter, Escape, FocusLoss, Reopened };
    struct Case { Leave how; std::vector<Commit> commits; bool hidden; };
    for (const Case& c : {Case{Enter, {{3, 1, "5A"}}, true}, Case{Escape, {}, true},
                          Case{FocusLoss, {{3, 1, "5A"}}, false}, Case{Reopened, {}, false}}) {
        ListDialog d;
        d.open(3, "00");
        QTest::keyClicks(&d.edit, "5A");
        if (c.how == Reopened) {  // hidden by the holder and opened again: nothing pending from before
            d.edit.hide();
            d.commits.clear();
            d.open(6, "30");
            EXPECT_FALSE(d.edit.commitPending());
        }
        if (c.how == Enter || c.how == Escape)
            QTest::keyClick(&d.edit, c.how == Enter ? Qt::Key_Return : Qt::Key_Escape);
        else
            d.other.setFocus();
        EXPECT_EQ(d.commits, c.commits) << c.how;
        EXPECT_EQ(std::pair(d.edit.isHidden(), d.dialog.hasFocus()), std::pair(c.hidden, c.hidden)) << c.how;
    }
}
