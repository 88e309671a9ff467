#include "controls/gdi_paint.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>
#include <cstdlib>

QColor colorFromRef(COLORREF ref) {
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

COLORREF refFromColor(const QColor& color) {
    return static_cast<COLORREF>(color.red()) | static_cast<COLORREF>(color.green()) << 8 |
           static_cast<COLORREF>(color.blue()) << 16;
}

COLORREF GetSysColor(int index) {
    const QPalette app = QApplication::palette();
    const QPalette menu = QApplication::palette("QMenu");
    switch (index) {
        case COLOR_MENU: return refFromColor(menu.color(QPalette::Window));
        case COLOR_WINDOW: return refFromColor(app.color(QPalette::Base));
        case COLOR_MENUTEXT: return refFromColor(menu.color(QPalette::WindowText));
        case COLOR_HIGHLIGHT: return refFromColor(app.color(QPalette::Highlight));
        case COLOR_HIGHLIGHTTEXT: return refFromColor(app.color(QPalette::HighlightedText));
        case COLOR_3DSHADOW: return refFromColor(app.color(QPalette::Dark));
        case COLOR_GRAYTEXT: return refFromColor(app.color(QPalette::Disabled, QPalette::Text));
        case COLOR_BTNTEXT: return refFromColor(app.color(QPalette::ButtonText));
        case COLOR_3DHILIGHT: return refFromColor(app.color(QPalette::Light));
        case COLOR_3DDKSHADOW: return refFromColor(app.color(QPalette::Shadow));
        case COLOR_3DLIGHT: return refFromColor(app.color(QPalette::Midlight));
        default: return refFromColor(app.color(QPalette::Button));
    }
}

namespace gdi {

void pixel(QPainter& p, QPoint at, const QColor& color) {
    p.fillRect(at.x(), at.y(), 1, 1, color);
}

void line(QPainter& p, QPoint a, QPoint b, const QColor& color) {
    const int dx = b.x() - a.x();
    const int dy = b.y() - a.y();
    if (dy == 0 && dx != 0) {
        p.fillRect(dx > 0 ? a.x() : b.x() + 1, a.y(), std::abs(dx), 1, color);
        return;
    }
    if (dx == 0 && dy != 0) {
        p.fillRect(a.x(), dy > 0 ? a.y() : b.y() + 1, 1, std::abs(dy), color);
        return;
    }
    // Slanted lines: one pixel per step along the longer axis, rounded on the shorter one.
    const int steps = std::max(std::abs(dx), std::abs(dy));
    for (int i = 0; i < steps; ++i) {
        const int x = a.x() + (2 * dx * i + (dx >= 0 ? steps : -steps)) / (2 * steps);
        const int y = a.y() + (2 * dy * i + (dy >= 0 ? steps : -steps)) / (2 * steps);
        p.fillRect(x, y, 1, 1, color);
    }
}

void polyline(QPainter& p, std::initializer_list<QPoint> points, const QColor& color) {
    const QPoint* prev = nullptr;
    for (const QPoint& pt : points) {
        if (prev != nullptr) line(p, *prev, pt, color);
        prev = &pt;
    }
}

void draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    const int x = r.x(), y = r.y(), cx = r.width(), cy = r.height();
    p.fillRect(x, y, cx - 1, 1, topLeft);
    p.fillRect(x, y, 1, cy - 1, topLeft);
    p.fillRect(x + cx - 1, y, 1, cy, bottomRight);
    p.fillRect(x, y + cy - 1, cx, 1, bottomRight);
}

}  // namespace gdi
