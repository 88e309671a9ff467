#include "controls/mac_progress_ctrl.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <thread>

#include "control_checks.h"

namespace {

BarShades shadesOf(const CMacProgressCtrl& bar) {
    return computeBarShades(bar.GetBarColor(), refFromColor(bar.palette().color(QPalette::Dark)),
                            refFromColor(bar.palette().color(QPalette::Shadow)));
}

COLORREF face(const CMacProgressCtrl& bar) { return refFromColor(bar.palette().color(QPalette::Button)); }

}  // namespace

TEST(MacProgressCtrl, ShadesKeepChannelsThatWouldOverflow) {
    for (const auto& [bar, light1to3Dark1to2] : std::initializer_list<std::pair<COLORREF, std::array<COLORREF, 5>>>{
             {0x00FF0000, {0x00FF3333, 0x00FF6666, 0x00FF9999, 0x00CC0000, 0x00990000}},
             {0x00E0C080, {0x00E0F3B3, 0x00E0F3E6, 0x00E0F3E6, 0x00AD8D4D, 0x007A5A1A}},
             {0x00102030, {0x00435363, 0x00768696, 0x00A9B9C9, 0x00102030, 0x00102030}}}) {
        const BarShades s = computeBarShades(bar, 0x00A0A0A0, 0x00414141);
        EXPECT_EQ((std::array{s.light1, s.light2, s.light3, s.dark1, s.dark2}), light1to3Dark1to2) << std::hex << bar;
        // The mid shadow halves toward minus infinity: 0xA0 + ((0x41 - 0xA0) >> 1) = 0x70.
        EXPECT_EQ(s.midShadow, 0x00707070u);
    }
}

TEST(MacProgressCtrl, BarReachesThePositionInReliefWithShadowsBeyondIt) {
    struct Case { int lower, upper, pos, right; };  // right: first column past the bar
    for (const Case& c : {Case{0, 100, 50, 100}, Case{0, 100, 100, 200}, Case{0, 100, 250, 200}, Case{0, 100, 29, 58},
                          Case{10, 20, 15, 100}, Case{0, 100, -5, 0}, Case{0, 100, 0, 0}, Case{7, 7, 7, 0},
                          Case{INT_MIN, INT_MAX, 0, 100}, Case{INT_MIN, INT_MAX, INT_MAX, 200}}) {
        CMacProgressCtrl bar;
        bar.resize(200, 20);
        bar.SetBarColor(0x00FF0000);
        bar.SetRange(c.lower, c.upper);
        bar.SetPos(c.pos);
        const QImage img = renderWidget(bar);
        const BarShades s = shadesOf(bar);
        SCOPED_TRACE(testing::Message() << "range " << c.lower << ".." << c.upper << " pos " << c.pos);
        if (c.right == 0) {  // an empty bar: face colour only, no relief at all
            for (int x = 0; x < 200; x += 7)
                for (int y = 0; y < 20; ++y) ASSERT_EQ(pixelRef(img, x, y), face(bar));
            continue;
        }
        const COLORREF L = s.light3, middle[20] = {s.dark1, s.bar, s.light1, s.light2, L, L, L, L, L, L, L,
                                                   L, L, L, L, s.light2, s.light1, s.bar, s.dark1, s.dark2};
        for (int y = 0; y < 20; ++y)
            expectPixels(img, {{0, y, s.bar}, {c.right / 2, y, middle[y]}, {c.right - 1, y, y == 0 ? s.dark1 : s.dark2}});
        expectPixels(img, {{1, 19, s.dark1}});
        if (c.right + 2 < 200)
            expectPixels(img, {{c.right, 10, s.midShadow}, {c.right + 1, 10, s.shadow}, {c.right + 2, 10, face(bar)}});
    }
}

TEST(MacProgressCtrl, VerticalBarGrowsFromTheBottom) {
    CMacProgressCtrl bar;
    bar.SetVertical(true);
    bar.resize(20, 100);
    bar.SetPos(25);
    const BarShades s = shadesOf(bar);
    expectPixels(renderWidget(bar), {{5, 74, face(bar)}, {5, 75, s.bar}, {0, 90, s.dark1}, {10, 99, s.dark2}});
    bar.SetPos(2);  // two pixels high: a plain rectangle outlined in dark-1
    const QImage img = renderWidget(bar);
    for (int x = 0; x < 20; ++x) expectPixels(img, {{x, 97, face(bar)}, {x, 98, s.dark1}, {x, 99, s.dark1}});
}

TEST(MacProgressCtrl, MarqueeStripesRunOnePixelPerTick) {
    CMacProgressCtrl bar;
    bar.resize(120, 10);
    bar.SetPos(30);
    bar.SetBarColor(0x00FF0000);
    const QImage positionImage = renderWidget(bar);
    bar.SetMarqueeMode(10);
    EXPECT_TRUE(bar.marqueeTimerActive());
    const BarShades s = shadesOf(bar);
    // Shade by offset within the 20-pixel stripe period.
    std::array<COLORREF, 20> stripe;
    stripe.fill(s.light3);
    for (size_t k = 1;
         const COLORREF shade : {s.dark2, s.dark1, s.bar, s.light1, s.light2, s.light3, s.light2, s.light1, s.bar, s.dark1})
        stripe[k++] = shade;
    for (int step = 0; step <= 20; ++step) {
        const QImage img = renderWidget(bar);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 120; ++x)
                ASSERT_EQ(pixelRef(img, x, y), stripe[((x - y - step) % 20 + 20) % 20]) << x << "," << y << "@" << step;
        bar.OnTimer();
    }
    bar.SetMarqueeMode(0);
    EXPECT_FALSE(bar.marqueeTimerActive());
    EXPECT_EQ(renderWidget(bar), positionImage);
    bar.SetMarqueeMode(1);
    EXPECT_EQ(bar.marqueeStep(), 0);
}

TEST(MacProgressCtrl, WorkerThreadDrivesTheBarWhileItPaints) {
    CMacProgressCtrl bar;
    bar.resize(150, 16);
    bar.show();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i <= 200; ++i) {
            bar.SetMarqueeMode(i % 2 == 0 ? 10 : 0);
            bar.SetPos(i % 101);
        }
        done = true;
    });
    while (!done) {
        QApplication::processEvents();
        (void)renderWidget(bar);
    }
    worker.join();
    QApplication::processEvents();
    EXPECT_TRUE(bar.marqueeTimerActive());
    EXPECT_EQ(bar.GetPos(), 99);
}
