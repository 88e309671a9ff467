#include "controls/sub_edit.h"

#include <QTest>
#include <gtest/gtest.h>
#include <vector>

#include "support/widget_render.h"

namespace {

struct Commit {
    int item, subItem;
    QString text;
    bool operator==(const Commit&) const = default;
};

struct ListDialog {
    QWidget dialog;
    CSubEdit edit{&dialog};
    QLineEdit other{&dialog};
    std::vector<Commit> commits;

    ListDialog() {
        dialog.resize(300, 200);
        other.move(0, 100);
        QObject::connect(&edit, &CSubEdit::commitText, [this](int item, int subItem, const QString& text) {
            commits.push_back({item, subItem, text});
        });
        showActive(dialog);
    }
    // As the holder opens the editor over a list cell.
    void open(int item, int subItem, const QString& text) {
        edit.m_nItem = item;
        edit.m_nSubItem = subItem;
        edit.setText(text);
        edit.show();
        edit.setFocus();
        edit.selectAll();
    }
};

}  // namespace

TEST(SubEdit, EnterWritesOnceHidesAndGivesTheFocusBack) {
    ListDialog d;
    d.open(3, 2, "00");
    QTest::keyClicks(&d.edit, "5A");
    QTest::keyClick(&d.edit, Qt::Key_Return);
    EXPECT_EQ(d.commits, (std::vector<Commit>{{3, 2, "5A"}}));
    EXPECT_TRUE(d.edit.isHidden());
    EXPECT_TRUE(d.dialog.hasFocus());
}

TEST(SubEdit, EscapeLeavesTheCell) {
    ListDialog d;
    d.open(1, 1, "00");
    QTest::keyClicks(&d.edit, "77");
    QTest::keyClick(&d.edit, Qt::Key_Escape);
    EXPECT_TRUE(d.commits.empty());
    EXPECT_TRUE(d.edit.isHidden());
}

TEST(SubEdit, FocusLossWritesOnlyAfterAKeyPressSinceShown) {
    ListDialog d;
    d.open(4, 1, "10");
    QTest::keyClicks(&d.edit, "9");
    d.other.setFocus();
    EXPECT_EQ(d.commits, (std::vector<Commit>{{4, 1, "9"}}));

    // Typed, then hidden by the holder and opened again: nothing pending from before.
    d.commits.clear();
    d.open(5, 1, "20");
    QTest::keyClicks(&d.edit, "3");
    d.edit.hide();
    d.commits.clear();
    d.open(6, 1, "30");
    EXPECT_FALSE(d.edit.commitPending());
    d.other.setFocus();
    EXPECT_TRUE(d.commits.empty());
}
