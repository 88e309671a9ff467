// The two-character key field, the hover mark and the turning wheel.
#include <QTest>
#include <gtest/gtest.h>

#include "control_checks.h"
#include "controls/key_text.h"
#include "controls/label_mark.h"
#include "controls/wheel_fly.h"

TEST(KeyText, HoldsTwoCharactersAndSelectsThemWheneverEntered) {
    QWidget dialog;
    CKeyText key(&dialog);
    QLineEdit other(&dialog);
    other.move(0, 40);
    showActive(dialog);
    key.setFocus();
    QTest::keyClicks(&key, "ABC");
    EXPECT_EQ(key.text(), "AB");
    // Entered by the keyboard and by a click: the whole key is selected, so typing replaces it.
    for (const bool byClick : {false, true}) {
        other.setFocus();
        if (byClick)
            QTest::mouseClick(&key, Qt::LeftButton, {}, QPoint(2, key.height() / 2));
        else
            key.setFocus(Qt::TabFocusReason);
        QTest::keyClicks(&key, "7");
        EXPECT_EQ(key.text(), "7") << byClick;
        key.setText("AB");
    }
}

TEST(LabelMark, HoverLightsTheFaceAndTheCrossKeepsItsEndPointsOpen) {
    CLabelMark label;
    label.resize(150, 20);
    const COLORREF face = refFromColor(label.palette().color(QPalette::Button));
    for (const auto& [over, bg] : {std::pair{true, 0x00EAEAFFu}, {false, face}, {true, 0x00EAEAFFu}}) {
        hover(label, over);
        const QImage img = renderWidget(label);
        // Two strokes from (1,5) and (1,15) whose end points (10,15) and (10,5) stay open, and
        // the four marks that close the cross.
        expectPixels(img, {{15, 1, bg}, {1, 5, 0}, {1, 15, 0}, {6, 10, 0}, {0, 10, 0}, {10, 10, 0}, {6, 5, 0},
                           {6, 15, 0}, {9, 14, 0}, {9, 6, 0}, {10, 15, bg}, {10, 5, bg}, {0, 5, bg}, {12, 10, bg}},
                     over ? "hovered" : "left");
        EXPECT_TRUE(anyPixel(img, QRect(14, 3, 136, 17), 0));  // the text, right of the mark
    }
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}

TEST(WheelFly, TurnsByAnEighthPerStepAndComesBackAfterEight) {
    CWheelFly wheel;
    wheel.resize(26, 26);  // wheel (1,1)-(25,25), steps of 4
    const COLORREF face = refFromColor(wheel.palette().color(QPalette::Button)), line = CWheelFly::kLineColor;
    // A pixel on each step's line and one just past its end point, which stays undrawn.
    const QPoint ends[CWheelFly::kSteps] = {{1, 12}, {5, 21}, {12, 25}, {21, 21}, {25, 12}, {21, 5}, {12, 1}, {5, 5}};
    const QImage first = renderWidget(wheel);
    for (int n = 0; n < CWheelFly::kSteps; ++n) {
        const QPoint on = ends[n % 8], past = ends[(n + 4) % 8];
        const QImage img = renderWidget(wheel);
        expectPixels(img, {{on.x(), on.y(), line}, {past.x(), past.y(), face}, {0, 0, face}}, std::to_string(n));
        // The previous step's line is gone: only this step's pixels are dark.
        int dark = 0;
        for (int y = 0; y < 26; ++y)
            for (int x = 0; x < 26; ++x) dark += pixelRef(img, x, y) == line;
        EXPECT_TRUE(dark >= 16 && dark <= 24) << n << ": " << dark;
        wheel.Step();
    }
    EXPECT_EQ(renderWidget(wheel), first);
}
