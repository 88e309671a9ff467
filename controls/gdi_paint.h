#pragma once
// Pixel-exact drawing for the custom controls. Colours are given as COLORREF values
// (0x00BBGGRR), and lines and frames follow the Windows rules the controls were drawn with:
// a line omits its end point, a rectangle covers [left, right) x [top, bottom).
#include <QColor>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <initializer_list>

using COLORREF = uint32_t;

QColor colorFromRef(COLORREF ref);
COLORREF refFromColor(const QColor& color);

// System colours by their Windows index, taken from the application's palettes.
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_3DSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_3DHILIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
COLORREF GetSysColor(int index);

namespace gdi {

void pixel(QPainter& p, QPoint at, const QColor& color);
// A line from a towards b; b itself stays undrawn.
void line(QPainter& p, QPoint a, QPoint b, const QColor& color);
// A chain: a line from each point to the next, the last point undrawn.
void polyline(QPainter& p, std::initializer_list<QPoint> points, const QColor& color);
// Top and left edge in topLeft, right and bottom edge in bottomRight; the top-right and
// bottom-left corners belong to the bottom-right edges.
void draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight);

}  // namespace gdi
