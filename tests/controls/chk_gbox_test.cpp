#include "controls/chk_gbox.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "support/widget_render.h"

namespace {

struct GroupDialog {
    QWidget dialog;
    CChkGBox group{&dialog};
    QLineEdit inside{&dialog};
    QLineEdit stickingOut{&dialog};
    QLineEdit outside{&dialog};

    GroupDialog() {
        dialog.resize(400, 300);
        group.setGeometry(10, 10, 200, 150);
        group.setTitle("Serial Number");
        inside.setGeometry(20, 40, 100, 20);
        stickingOut.setGeometry(180, 100, 60, 20);
        outside.setGeometry(250, 200, 50, 20);
        group.CreateTitleButton(CChkGBox::kCheckBoxStyle);
        showActive(dialog);
    }
    void expectFramed(bool enabled) const {
        EXPECT_EQ(inside.isEnabled(), enabled);
        EXPECT_EQ(stickingOut.isEnabled(), enabled);
        EXPECT_TRUE(outside.isEnabled());
        EXPECT_TRUE(group.isEnabled());
        EXPECT_TRUE(group.titleButton()->isEnabled());
    }
};

}  // namespace

TEST(ChkGBox, CheckEnablesEveryControlOnTheFrame) {
    GroupDialog d;
    ASSERT_NE(d.group.titleButton(), nullptr);
    EXPECT_EQ(d.group.titleButton()->text(), "Serial Number");
    EXPECT_EQ(d.group.titleButton()->geometry().topLeft(), QPoint(5, 0));
    struct Case {
        int state;
        bool enabled;
    };
    for (const Case& c : {Case{0, false}, Case{1, true}, Case{2, false}, Case{1, true}, Case{0, false}}) {
        d.group.SetCheck(c.state);
        EXPECT_EQ(d.group.GetCheck(), c.state);
        d.expectFramed(c.enabled);
    }
}

TEST(ChkGBox, ClickOnTheTitleAppliesTheNewState) {
    GroupDialog d;
    d.group.SetCheck(2);
    const QPoint box(8, d.group.titleButton()->height() / 2);
    for (int expected : {1, 0, 1}) {
        QTest::mouseClick(d.group.titleButton(), Qt::LeftButton, {}, box);
        EXPECT_EQ(d.group.GetCheck(), expected);
        d.expectFramed(expected == 1);
    }
}

TEST(ChkGBox, RadioTitlesOfOneGroupExcludeEachOther) {
    QWidget dialog;
    CChkGBox first(&dialog), second(&dialog);
    QLineEdit inFirst(&dialog), inSecond(&dialog);
    first.setGeometry(0, 0, 100, 100);
    second.setGeometry(150, 0, 100, 100);
    inFirst.setGeometry(10, 30, 50, 20);
    inSecond.setGeometry(160, 30, 50, 20);
    first.setTitle("A");
    second.setTitle("B");
    for (CChkGBox* g : {&first, &second}) {
        g->CreateTitleButton(CChkGBox::kRadioStyle);
        g->SetGroupId(7);
    }
    second.SetCheck(1);
    showActive(dialog);
    QTest::mouseClick(first.titleButton(), Qt::LeftButton, {}, QPoint(6, first.titleButton()->height() / 2));
    EXPECT_EQ(first.GetCheck(), 1);
    EXPECT_EQ(second.GetCheck(), 0);
    EXPECT_TRUE(inFirst.isEnabled());
    EXPECT_FALSE(inSecond.isEnabled());
}
