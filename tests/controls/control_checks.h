#pragma once
// Pixel checks, hover and the owner-drawn menu's fresh state, shared by the control tests.
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/bc_menu.h"
#include "controls/gdi_paint.h"
#include "platform/os_version.h"
#include "support/widget_render.h"

struct PixelAt {
    int x, y;
    COLORREF colour;
};

inline void expectPixels(const QImage& img, const std::vector<PixelAt>& pixels, const std::string& what = {}) {
    for (const PixelAt& p : pixels) EXPECT_EQ(pixelRef(img, p.x, p.y), p.colour) << what << " at " << p.x << "," << p.y;
}

inline bool anyPixel(const QImage& img, QRect area, COLORREF colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pixelRef(img, x, y) == colour) return true;
    return false;
}

inline COLORREF sys(int index) { return GetSysColor(index); }

// The mouse entering or leaving, as the window system reports it.
inline void hover(QWidget& widget, bool over) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    if (over) QCursor::setPos(widget.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&widget, over ? static_cast<QEvent*>(&enter) : &leave);
}

// The owner-drawn menu's shared state as a fresh program has it; tests reset it before and
// after they change it.
inline void resetMenuState() {
    platform::setOsVersionForTest({});
    BCMenu::g_bcmShellType = BCMenu::GetShellType();
    BCMenu::SetDrawMode(0);
    BCMenu::g_bcmDrawModeXp = 1;
    BCMenu::g_bcmImageList.DeleteImageList();
    BCMenu::g_bcmImageIds.clear();
    BCMenu::setMenuLineHeightForTest(20);
    BCMenu::SetResourceLookup(nullptr, nullptr);
}
