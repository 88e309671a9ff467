#include "controls/hex_addr_edit.h"

#include <QKeyEvent>
#include <QPainter>

#include "controls/hex_key_filter.h"

namespace {
// The double frame is drawn by the field itself, two pixels wide.
constexpr int kFrame = 2;
constexpr COLORREF kOuterTopLeft = 0x00707070;
constexpr COLORREF kOuterBottomRight = 0x00F0F0F0;
constexpr COLORREF kInnerTopLeft = 0x00A8A8A8;
constexpr COLORREF kInnerBottomRight = 0x00FFFFFF;
}  // namespace

CHexAddrEdit::CHexAddrEdit(QWidget* parent) : CHexAddrEdit(parent, QStringLiteral("0")) {}

CHexAddrEdit::CHexAddrEdit(QWidget* parent, const QString& suffix)
    : QLineEdit(parent), m_strSuffix(suffix) {
    setFrame(false);
    setTextMargins(kFrame, kFrame, kFrame + kSuffixWidth, kFrame);
}

CHexAddrEdit2::CHexAddrEdit2(QWidget* parent) : CHexAddrEdit(parent, QStringLiteral("00")) {}

QRect CHexAddrEdit::suffixRect() const {
    const QRect client = rect().adjusted(kFrame, kFrame, -kFrame, -kFrame);
    return QRect(client.x() + client.width() - kSuffixWidth, client.y(), kSuffixWidth,
                 client.height())
        .adjusted(2, 2, -2, -2);
}

bool CHexAddrEdit::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        classifyHexKey(*static_cast<QKeyEvent*>(event), true) != HexKey::Pass) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void CHexAddrEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter p(this);
    gdi::draw3dRect(p, rect(), colorFromRef(kOuterTopLeft), colorFromRef(kOuterBottomRight));
    gdi::draw3dRect(p, rect().adjusted(1, 1, -1, -1), colorFromRef(kInnerTopLeft),
                    colorFromRef(kInnerBottomRight));
    const QRect strip = suffixRect();
    p.fillRect(strip, palette().color(QPalette::Button));
    p.setPen(Qt::black);
    p.drawText(strip.translated(0, -1), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
               m_strSuffix);
}
