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

TEST(ChkGBox, TitleStateEnablesEveryControlOnTheFrameAndRadioTitlesExcludeEachOther) {
    QWidget dialog;
    dialog.resize(400, 300);
    CChkGBox group(&dialog), first(&dialog), second(&dialog);
    QLineEdit inside(&dialog), stickingOut(&dialog), outside(&dialog), inFirst(&dialog), inSecond(&dialog);
    group.setGeometry(10, 10, 200, 150);
    group.setTitle("Serial Number");
    group.CreateTitleButton(CChkGBox::kCheckBoxStyle);
    inside.setGeometry(20, 40, 100, 20);
    stickingOut.setGeometry(180, 100, 60, 20);
    outside.setGeometry(250, 200, 50, 20);
    // Two radio titles of one group below it.
    first.setGeometry(0, 170, 100, 100);
    second.setGeometry(110, 170, 100, 100);
    inFirst.setGeometry(10, 200, 50, 20);
    inSecond.setGeometry(120, 200, 50, 20);
    for (CChkGBox* g : {&first, &second}) {
        g->setTitle("A");
        g->CreateTitleButton(CChkGBox::kRadioStyle);
        g->SetGroupId(7);
    }
    second.SetCheck(1);
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
        EXPECT_EQ(std::pair(inside.isEnabled(), stickingOut.isEnabled()), std::pair(state == 1, state == 1)) << set;
        EXPECT_TRUE(outside.isEnabled() && group.isEnabled() && group.titleButton()->isEnabled());
    }
    clickTitle(first);
    EXPECT_EQ(std::pair(first.GetCheck(), second.GetCheck()), std::pair(1, 0));
    EXPECT_EQ(std::pair(inFirst.isEnabled(), inSecond.isEnabled()), std::pair(true, false));
}
