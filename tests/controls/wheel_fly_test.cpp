#include "controls/wheel_fly.h"

#include <gtest/gtest.h>

#include "controls/gdi_paint.h"
#include "support/widget_render.h"

TEST(WheelFly, TurnsByAnEighthPerStepAndComesBackAfterEight) {
    CWheelFly wheel;
    wheel.resize(26, 26);  // wheel (1,1)-(25,25), steps of 4
    const uint32_t face = refFromColor(wheel.palette().color(QPalette::Button));
    // A pixel on each step's line and one just past its end point, which stays undrawn.
    struct Case {
        QPoint on, past;
    };
    const Case cases[CWheelFly::kSteps] = {
        {{1, 12}, {25, 12}}, {{5, 21}, {21, 5}},  {{12, 25}, {12, 1}}, {{21, 21}, {5, 5}},
        {{25, 12}, {1, 12}}, {{21, 5}, {5, 21}}, {{12, 1}, {12, 25}}, {{5, 5}, {21, 21}},
    };
    const QImage first = renderWidget(wheel);
    for (int n = 0; n <= CWheelFly::kSteps; ++n) {
        const Case& c = cases[n % CWheelFly::kSteps];
        EXPECT_EQ(wheel.step(), n % CWheelFly::kSteps);
        const QImage img = renderWidget(wheel);
        EXPECT_EQ(pixelRef(img, c.on.x(), c.on.y()), CWheelFly::kLineColor) << n;
        EXPECT_EQ(pixelRef(img, c.past.x(), c.past.y()), face) << n;
        EXPECT_EQ(pixelRef(img, 0, 0), face) << n;
        // The previous step's line is gone: only this step's pixels are dark.
        int dark = 0;
        for (int y = 0; y < 26; ++y)
            for (int x = 0; x < 26; ++x) dark += pixelRef(img, x, y) == CWheelFly::kLineColor;
        EXPECT_GE(dark, 16) << n;
        EXPECT_LE(dark, 24) << n;
        wheel.Step();
    }
    wheel.resize(26, 26);
    for (int n = 1; n < CWheelFly::kSteps; ++n) wheel.Step();
    EXPECT_EQ(renderWidget(wheel), first);
}
