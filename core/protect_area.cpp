#include "core/protect_area.h"

#include <QPainter>

#include "core/globals.h"

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 14;
constexpr int kCell = 6;

}  // namespace

CProtectArea::CProtectArea(QWidget* parent) : QWidget(parent) {}

void CProtectArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(0, 0, kWidth, kHeight, QColor(0, 255, 0));
    if (m_wMask != 0 && (m_nType == 0 || m_nType == 1)) {
        const QColor fill = m_nType == 0 ? QColor(255, 0, 0) : QColor(255, 128, 0);
        for (int block = 0; block < 16; ++block)
            if ((m_wMask >> block) & 1) painter.fillRect(kCell * block, 0, kCell, kHeight, fill);
    }
    // The frame is drawn as lines from corner to corner, each omitting its end point: the top
    // and left edges lie on the strip, the right and bottom edges one pixel beyond it.
    const QColor black(0, 0, 0);
    painter.fillRect(0, 0, kWidth, 1, black);           // (0,0) to (96,0)
    painter.fillRect(kWidth, 0, 1, kHeight, black);     // (96,0) to (96,14)
    painter.fillRect(1, kHeight, kWidth, 1, black);     // (96,14) to (0,14)
    painter.fillRect(0, 1, 1, kHeight, black);          // (0,14) to (0,0)
}

void CProtectArea::ShowStoredSettings() {
    m_dwProtectAddr = g_dwProtectAddr;
    m_wMask = g_wProtectMask;
    m_nType = g_nPcropType;
    update();
}
