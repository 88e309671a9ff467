#include "controls/wheel_fly.h"

#include <QPainter>

#include "controls/gdi_paint.h"

CWheelFly::CWheelFly(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CWheelFly::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The wheel is the client area less one pixel on every side; right and bottom are
    // exclusive edges, as the lines' coordinates use them.
    m_rcWheel = QRect(QPoint(1, 1), QPoint(width() - 1, height() - 1));
    m_nStepX = m_rcWheel.right() / 6;
    m_nStepY = m_rcWheel.bottom() / 6;
}

std::pair<QPoint, QPoint> CWheelFly::stepLine(int step) const {
    const int l = m_rcWheel.left(), t = m_rcWheel.top(), r = m_rcWheel.right(), b = m_rcWheel.bottom();
    const int sx = m_nStepX, sy = m_nStepY;
    switch (step) {
        case 0: return {{l, b / 2}, {r, b / 2}};
        case 1: return {{l + sx, b - sy}, {r - sx, t + sy}};
        case 2: return {{r / 2, b}, {r / 2, t}};
        case 3: return {{r - sx, b - sy}, {l + sx, t + sy}};
        case 4: return {{r, b / 2}, {l, b / 2}};
        case 5: return {{r - sx, t + sy}, {l + sx, b - sy}};
        case 6: return {{r / 2, t}, {r / 2, b}};
        default: return {{l + sx, t + sy}, {r - sx, b - sy}};
    }
}

void CWheelFly::Step() {
    m_nStep = (m_nStep + 1) % kSteps;
    // The previous line is painted over with the face colour by the repaint.
    update();
}

void CWheelFly::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    const auto [from, to] = stepLine(m_nStep);
    gdi::line(p, from, to, colorFromRef(kLineColor));
}
