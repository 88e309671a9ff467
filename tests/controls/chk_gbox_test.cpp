#include "controls/chk_gbox.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "support/widget_render.h"

namespace {

void clickTitle(CChkGBox& group) {
    QTest::mouseClick(group.titleButton(), Qt::LeftButton, {}, QPoint(7, group.titleButton()->height() / 2));
}

}  // namespace

TEST(ChkGBox, TitleStateEnablesEveryControlOnTheFrame) {
    QWidget dialog;
    dialog.resize(400, 300);
    CChkGBox group(&dialog);
    QLineEdit inside(&dialog), stickingOut(&dialog), outside(&dialog);
    group.setGeometry(10, 10, 200, 150);
    group.setTitle("Serial Number");
    inside.setGeometry(20, 40, 100, 20);
    stickingOut.setGeometry(180, 100, 60, 20);
    outside.setGeometry(250, 200, 50, 20);
    group.CreateTitleButton(CChkGBox::kCheckBoxStyle);
    showActive(dialog);
    ASSERT_NE(group.titleButton(), nullptr);
    EXPECT_EQ(group.titleButton()->text(), "Serial Number");
    EXPECT_EQ(group.titleButton()->geometry().topLeft(), QPoint(5, 0));
    // A state set by the program, or -1 for a click on the title, and the state that follows.
    for (const auto& [set, state] :
         std::initializer_list<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {-1, 1}, {-1, 0}, {2, 2}, {-1, 1}}) {
        if (set < 0)
            clickTitle(group);
        else
            group.SetCheck(set);
        EXPECT_EQ(group.GetCheck(), state);
        EXPECT_EQ(inside.isEnabled(), state == 1) << set << " " << state;
        EXPECT_EQ(stickingOut.isEnabled(), state == 1) << set << " " << state;
        EXPECT_TRUE(outside.isEnabled() && group.isEnabled() && group.titleButton()->isEnabled());
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
    for (CChkGBox* g : {&first, &second}) {
        g->setTitle("A");
        g->CreateTitleButton(CChkGBox::kRadioStyle);
        g->SetGroupId(7);
    }
    second.SetCheck(1);
    showActive(dialog);
    clickTitle(first);
    EXPECT_EQ(first.GetCheck(), 1);
    EXPECT_EQ(second.GetCheck(), 0);
    EXPECT_TRUE(inFirst.isEnabled());
    EXPECT_FALSE(inSecond.isEnabled());
}
