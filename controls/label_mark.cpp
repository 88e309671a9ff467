#include "controls/label_mark.h"

#include <QPainter>

#include "controls/gdi_paint.h"

CLabelMark::CLabelMark(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLabelMark::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (!m_bHover) {
        m_bHover = true;
        update();
    }
}

void CLabelMark::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (m_bHover) {
        m_bHover = false;
        update();
    }
}

void CLabelMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    p.fillRect(rect(), m_bHover ? colorFromRef(kHoverColor) : palette().color(QPalette::Button));
    const QColor black(Qt::black);
    const int top = (h - 10) / 2, bottom = (h + 10) / 2;
    gdi::line(p, {1, top}, {10, bottom}, black);
    gdi::line(p, {1, bottom}, {10, top}, black);
    for (const QPoint at : {QPoint(0, h / 2), QPoint(10, h / 2), QPoint(6, top), QPoint(6, bottom)})
        gdi::pixel(p, at, black);
    // The text in the holder's font, its cell's top at (14, top - 2).
    const QFont font = parentWidget() != nullptr ? parentWidget()->font() : this->font();
    p.setFont(font);
    p.setPen(black);
    p.drawText(QRect(14, top - 2, width(), h), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Need Advance Using"));
}
