#include "controls/mac_progress_ctrl.h"

#include <QMetaObject>
#include <QPainter>
#include <algorithm>

#include "platform/ui.h"

COLORREF LightenColor(COLORREF color, int amount) {
    COLORREF result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int channel = static_cast<int>((color >> shift) & 0xFF);
        // A channel that would pass 255 keeps its value rather than saturating.
        const int lit = channel + amount <= 255 ? channel + amount : channel;
        result |= static_cast<COLORREF>(lit) << shift;
    }
    return result;
}

COLORREF DarkenColor(COLORREF color, int amount) {
    COLORREF result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int channel = static_cast<int>((color >> shift) & 0xFF);
        const int dark = channel >= amount ? channel - amount : channel;
        result |= static_cast<COLORREF>(dark) << shift;
    }
    return result;
}

BarShades computeBarShades(COLORREF bar, COLORREF shadow, COLORREF darkShadow) {
    BarShades s{};
    s.bar = bar;
    s.light1 = LightenColor(bar, 51);
    s.light2 = LightenColor(s.light1, 51);
    s.light3 = LightenColor(s.light2, 51);
    s.dark1 = DarkenColor(bar, 51);
    s.dark2 = DarkenColor(s.dark1, 51);
    s.darkShadow = darkShadow;
    s.shadow = shadow;
    s.midShadow = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int sc = static_cast<int>((shadow >> shift) & 0xFF);
        const int dc = static_cast<int>((darkShadow >> shift) & 0xFF);
        // Halved toward minus infinity, as an arithmetic shift does.
        const int mid = sc + ((dc - sc) >> 1);
        s.midShadow |= static_cast<COLORREF>(mid) << shift;
    }
    return s;
}

CMacProgressCtrl::CMacProgressCtrl(QWidget* parent)
    : QWidget(parent), m_crBar(refFromColor(palette().color(QPalette::Highlight))) {
    // Every pixel is painted each time, so no background erase that could flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CMacProgressCtrl::OnTimer);
}

void CMacProgressCtrl::scheduleRepaint() {
    if (ui::onUiThread()) {
        update();
        return;
    }
    QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void CMacProgressCtrl::SetBarColor(COLORREF color) {
    m_crBar = color;
    scheduleRepaint();
}

COLORREF CMacProgressCtrl::GetBarColor() const {
    return m_crBar;
}

void CMacProgressCtrl::SetMarqueeMode(int on) {
    if (on != 0) m_nStep = 0;
    m_bMarquee = on;
    // The timer belongs to the user-interface thread; it follows the flag as it stands when
    // the queued call runs, so quick on/off sequences from a worker end in the right state.
    if (ui::onUiThread()) {
        applyMarqueeTimer();
        return;
    }
    QMetaObject::invokeMethod(this, [this] { applyMarqueeTimer(); }, Qt::QueuedConnection);
}

void CMacProgressCtrl::applyMarqueeTimer() {
    if (m_bMarquee != 0) {
        if (!m_timer.isActive()) m_timer.start(kMarqueeIntervalMs);
    } else {
        m_timer.stop();
    }
    update();
}

int CMacProgressCtrl::GetMarqueeMode() const {
    return m_bMarquee;
}

void CMacProgressCtrl::SetRange(int lower, int upper) {
    {
        std::lock_guard lock(m_rangeLock);
        m_nLower = lower;
        m_nUpper = upper;
    }
    scheduleRepaint();
}

void CMacProgressCtrl::GetRange(int& lower, int& upper) const {
    std::lock_guard lock(m_rangeLock);
    lower = m_nLower;
    upper = m_nUpper;
}

void CMacProgressCtrl::SetPos(int pos) {
    {
        std::lock_guard lock(m_rangeLock);
        m_nPos = pos;
    }
    scheduleRepaint();
}

int CMacProgressCtrl::GetPos() const {
    std::lock_guard lock(m_rangeLock);
    return std::clamp(m_nPos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
}

void CMacProgressCtrl::SetVertical(bool vertical) {
    m_bVertical = vertical;
    update();
}

void CMacProgressCtrl::OnTimer() {
    m_timer.stop();
    m_nStep = (m_nStep + 1) % kMarqueePhases;
    update();
    if (m_bMarquee != 0) m_timer.start(kMarqueeIntervalMs);
}

BarShades CMacProgressCtrl::shades() const {
    return computeBarShades(m_crBar, refFromColor(palette().color(QPalette::Dark)),
                            refFromColor(palette().color(QPalette::Shadow)));
}

namespace {

struct Shade {
    QColor bar, light1, light2, light3, dark1, dark2, midShadow, shadow;
    explicit Shade(const BarShades& s)
        : bar(colorFromRef(s.bar)), light1(colorFromRef(s.light1)), light2(colorFromRef(s.light2)),
          light3(colorFromRef(s.light3)), dark1(colorFromRef(s.dark1)),
          dark2(colorFromRef(s.dark2)), midShadow(colorFromRef(s.midShadow)),
          shadow(colorFromRef(s.shadow)) {}
};

void horizontalRelief(QPainter& p, const Shade& s, int l, int t, int r, int b) {
    using gdi::line, gdi::pixel, gdi::polyline;
    if (r == l) return;
    line(p, {l + 2, b - 4}, {r - 2, b - 4}, s.light1);
    line(p, {l + 2, t + 2}, {r - 2, t + 2}, s.light1);
    pixel(p, {l + 1, b - 3}, s.light1);
    pixel(p, {l + 1, t + 1}, s.light1);

    polyline(p, {{l + 2, b - 5}, {r - 3, b - 5}, {r - 3, t + 3}, {l + 1, t + 3}}, s.light2);
    pixel(p, {l + 1, b - 4}, s.light2);
    pixel(p, {l + 1, t + 2}, s.light2);

    polyline(p, {{l, b - 1}, {l, t}, {l + 2, t}}, s.bar);
    pixel(p, {l + 1, b - 2}, s.bar);
    line(p, {l + 2, b - 3}, {r - 2, b - 3}, s.bar);
    line(p, {l + 2, t + 1}, {r - 1, t + 1}, s.bar);

    polyline(p, {{l + 2, b - 2}, {r - 2, b - 2}, {r - 2, t + 1}}, s.dark1);
    line(p, {l + 2, t}, {r, t}, s.dark1);
    pixel(p, {l + 1, b - 1}, s.dark1);

    polyline(p, {{l + 2, b - 1}, {r - 1, b - 1}, {r - 1, t}}, s.dark2);

    line(p, {r, t}, {r, b}, s.midShadow);
    line(p, {r + 1, t}, {r + 1, b}, s.shadow);
}

void verticalRelief(QPainter& p, const Shade& s, int l, int t, int r, int b) {
    using gdi::line, gdi::pixel, gdi::polyline;
    const int height = b - t;
    if (height == 0) return;
    if (height <= 3) {
        // Too low for the relief: a plain rectangle, outline in dark-1, inside in the bar colour.
        p.fillRect(l, t, r - l, height, s.bar);
        gdi::draw3dRect(p, QRect(l, t, r - l, height), s.dark1, s.dark1);
        return;
    }
    polyline(p, {{l, t + 1}, {l, t}, {r, t}}, s.bar);
    line(p, {l + 1, b - 2}, {l + 1, t + 1}, s.bar);
    line(p, {r - 3, b - 3}, {r - 3, t + 1}, s.bar);
    pixel(p, {r - 2, t + 1}, s.bar);

    line(p, {l + 2, b - 3}, {l + 2, t + 1}, s.light1);
    line(p, {r - 4, b - 3}, {r - 4, t + 1}, s.light1);
    pixel(p, {l + 1, t + 1}, s.light1);
    pixel(p, {r - 3, t + 1}, s.light1);

    line(p, {l + 3, b - 3}, {l + 3, t + 1}, s.light2);
    line(p, {r - 5, b - 3}, {r - 5, t + 1}, s.light2);
    pixel(p, {l + 2, t + 1}, s.light2);
    pixel(p, {r - 4, t + 1}, s.light2);

    line(p, {l, b - 1}, {l, t + 1}, s.dark1);
    polyline(p, {{l + 2, b - 2}, {r - 2, b - 2}, {r - 2, t + 1}}, s.dark1);
    pixel(p, {r - 1, t + 1}, s.dark1);

    polyline(p, {{l + 1, b - 1}, {r - 1, b - 1}, {r - 1, t + 1}}, s.dark2);
}

// One stripe: offsets from the stripe's start and their shade; the middle offset keeps light-3.
struct StripeLine {
    int offset;
    QColor Shade::*shade;
};
constexpr StripeLine kHorizontalStripe[] = {
    {1, &Shade::dark2},  {2, &Shade::dark1},  {10, &Shade::dark1}, {3, &Shade::bar},
    {9, &Shade::bar},    {4, &Shade::light1}, {8, &Shade::light1}, {5, &Shade::light2},
    {7, &Shade::light2},
};
constexpr StripeLine kVerticalStripe[] = {
    {0, &Shade::dark2}, {1, &Shade::dark1},  {9, &Shade::dark1},  {2, &Shade::bar},
    {8, &Shade::bar},   {3, &Shade::light1}, {7, &Shade::light1}, {4, &Shade::light2},
    {6, &Shade::light2},
};

void marqueeStripes(QPainter& p, const Shade& s, const QRect& b, bool vertical, int step) {
    const int l = b.left(), t = b.top(), r = b.x() + b.width(), bottom = b.y() + b.height();
    if (vertical) {
        const int n = b.height() / 20 + 2, w = b.width() + 1, y0 = bottom - step;
        for (int i = 0; i < n; ++i) {
            const int y = y0 - 20 * i;
            for (const StripeLine& sl : kVerticalStripe)
                gdi::line(p, {l, y + sl.offset}, {r + 1, y + sl.offset + w}, s.*sl.shade);
        }
        return;
    }
    const int n = b.width() / 20 + 2, h = b.height() + 1, x0 = l + step - 20;
    for (int i = 0; i < n; ++i) {
        const int x = x0 + 20 * i;
        for (const StripeLine& sl : kHorizontalStripe)
            gdi::line(p, {x + sl.offset, t}, {x + sl.offset + h - 1, bottom}, s.*sl.shade);
    }
}

}  // namespace

void CMacProgressCtrl::paintEvent(QPaintEvent*) { OnPaint(); }

void CMacProgressCtrl::OnPaint() {
    QPainter p(this);
    const QRect client = rect();
    p.fillRect(client, palette().color(QPalette::Button));
    const Shade shade(shades());
    const bool marquee = m_bMarquee != 0;

    QRect bar = client;
    if (!marquee) {
        int lower = 0, upper = 0, pos = 0;
        {
            std::lock_guard lock(m_rangeLock);
            lower = m_nLower;
            upper = m_nUpper;
            pos = std::clamp(m_nPos, std::min(lower, upper), std::max(lower, upper));
        }
        // An empty range shows an empty bar instead of dividing by zero; the differences are
        // taken in double, as a full 32-bit range would overflow an int.
        const auto extent = [&](int size) {
            if (upper == lower) return 0;
            return static_cast<int>((static_cast<double>(pos) - lower) * size /
                                    (static_cast<double>(upper) - lower));
        };
        if (m_bVertical)
            bar.setTop(client.height() - extent(client.height()));
        else
            bar.setRight(extent(client.width()) - 1);
    }
    p.fillRect(bar, shade.light3);
    const int l = bar.x(), t = bar.y(), r = bar.x() + bar.width(), b = bar.y() + bar.height();
    if (marquee)
        marqueeStripes(p, shade, bar, m_bVertical, m_nStep);
    else if (m_bVertical)
        verticalRelief(p, shade, l, t, r, b);
    else
        horizontalRelief(p, shade, l, t, r, b);
}
