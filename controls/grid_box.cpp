#include "controls/grid_box.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/hex_key_filter.h"
#include "controls/number_text.h"

CTextEdit::CTextEdit(CGridBoxBase* grid) : QLineEdit(grid), m_pGrid(grid) {}

bool CTextEdit::event(QEvent* event) {
    // Taken before Qt's own Tab and Escape handling, so neither the focus chain nor the dialog
    // sees a key that the grid does not let through.
    if (event->type() == QEvent::KeyPress) {
        switch (classifyHexKey(*static_cast<QKeyEvent*>(event), true)) {
        case HexKey::Pass:
            break;
        case HexKey::Enter:
            m_pGrid->commitEditorText();
            hide();
            event->accept();
            return true;
        case HexKey::Drop:
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CTextEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The editor's own context menu borrows the focus only while it is open; the edit goes on.
    if (event->reason() == Qt::PopupFocusReason) return;
    m_pGrid->commitEditorText();
    hide();
}

CGridBoxBase::CGridBoxBase(QWidget* parent) : QWidget(parent) {}

void CGridBoxBase::setupEditor(int digits) {
    QLineEdit& edit = editor();
    edit.setAlignment(Qt::AlignCenter);
    limitHexDigits(edit, digits);
    // Until the first click the editor is a shown window of no size in the corner.
    edit.setGeometry(0, 0, 0, 0);
    edit.show();
}

int CGridBoxBase::cellWidth() const {
    return width() / (columnCount() + 1);
}

int CGridBoxBase::cellHeight() const {
    return height() / (rowCount() + 1);
}

QRect CGridBoxBase::cellRect(int col, int row) const {
    const int cw = cellWidth(), ch = cellHeight();
    return QRect(col * cw, row * ch, cw, ch);
}

int CGridBoxBase::currentIndex() const {
    if (m_nCurCol < 1 || m_nCurCol > columnCount() || m_nCurRow < 1 || m_nCurRow > rowCount())
        return -1;
    return (m_nCurRow - 1) * columnCount() + (m_nCurCol - 1);
}

void CGridBoxBase::commitEditorText() {
    QLineEdit& edit = editor();
    if (edit.isHidden()) return;
    const auto value = scanHexText(edit.text().toUpper().toStdString());
    if (value) commitValue(*value);
}

void CGridBoxBase::paintEvent(QPaintEvent*) {
    const int cw = cellWidth(), ch = cellHeight();
    if (cw <= 0 || ch <= 0) return;
    const int cols = columnCount(), rows = rowCount();
    QPainter p(this);
    p.fillRect(cw, ch, cols * cw, rows * ch, Qt::white);
    p.setPen(Qt::black);
    // The cell text stands from an eighth of the cell down to the inner frame: a font whose
    // ascent runs past it (system fonts are taller than the dialog font the grid was laid out
    // for) is made smaller until the digits fit.
    QFont cellFont = font();
    const int room = ch - ch / 8 - 2;
    if (cellFont.pixelSize() <= 0) cellFont.setPixelSize(QFontInfo(cellFont).pixelSize());
    while (QFontMetrics(cellFont).ascent() > room && cellFont.pixelSize() > 6)
        cellFont.setPixelSize(cellFont.pixelSize() - 1);
    p.setFont(cellFont);

    // Text is centred on x with its top at y.
    const auto text = [&](int x, int y, const QString& s) {
        p.drawText(QRect(x - 500, y, 1000, ch * 2), Qt::AlignHCenter | Qt::AlignTop, s);
    };
    for (int c = 0; c < cols; ++c)
        text((c + 1) * cw + cw / 2, ch / 4, QString::asprintf("%02X", c));
    for (int r = 0; r < rows; ++r) {
        // Labels count on as 32-bit numbers, whatever base the holder set.
        const unsigned label = static_cast<unsigned>(m_nBaseAddr) + 16u * static_cast<unsigned>(r);
        text(cw / 2, (r + 1) * ch + ch / 4 - 3, QString::asprintf("%02X", label));
    }

    const QColor outerTl = colorFromRef(kOuterTopLeft), outerBr = colorFromRef(kOuterBottomRight);
    const QColor innerTl = colorFromRef(kInnerTopLeft), innerBr = colorFromRef(kInnerBottomRight);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QRect cell = cellRect(c + 1, r + 1);
            gdi::draw3dRect(p, cell, outerTl, outerBr);
            gdi::draw3dRect(p, cell.adjusted(1, 1, -1, -1), innerTl, innerBr);
            text(cell.x() + cw / 2, cell.y() + ch / 8, cellText(r * cols + c));
        }
    }
}

void CGridBoxBase::mousePressEvent(QMouseEvent* event) {
    const int cw = cellWidth(), ch = cellHeight();
    // A client area too small for one cell has no cells to click.
    if (cw <= 0 || ch <= 0) return;
    const QPoint at = event->position().toPoint();
    const int col = at.x() / cw, row = at.y() / ch;
    if (at.x() < 0 || at.y() < 0 || col < 1 || col > columnCount() || row < 1 || row > rowCount())
        return;

    // Text typed for the previous cell is stored there; a click on the cell being edited
    // reloads the editor and so drops what was typed without Enter.
    if (col != m_nEditCol || row != m_nEditRow) commitEditorText();
    m_nCurCol = col;
    m_nCurRow = row;
    QLineEdit& edit = editor();
    edit.setGeometry(cellRect(col, row));
    edit.setText(cellText(currentIndex()));
    edit.show();
    edit.setFocus(Qt::MouseFocusReason);
    edit.selectAll();
    m_nEditCol = col;
    m_nEditRow = row;
    event->accept();
}

CGridBox::CGridBox(QWidget* parent) : CGridBoxBase(parent), m_edit(this) {
    m_byData.fill(0xFF);
    setupEditor(2);
}

void CGridBox::SetCellValue(uint8_t value) {
    const int index = currentIndex();
    if (index < 0) return;
    m_byData[static_cast<size_t>(index)] = value;
    update(cellRect(m_nCurCol, m_nCurRow));
}

QString CGridBox::cellText(int index) const {
    return QString::asprintf("%02X", m_byData[static_cast<size_t>(index)]);
}

CGridBoxW::CGridBoxW(QWidget* parent) : CGridBoxBase(parent), m_edit(this) {
    m_dwData.fill(0xFFFFFFFF);
    setupEditor(8);
}

void CGridBoxW::SetCellValue(uint32_t value) {
    const int index = currentIndex();
    if (index < 0) return;
    m_dwData[static_cast<size_t>(index)] = value;
    update(cellRect(m_nCurCol, m_nCurRow));
}

QString CGridBoxW::cellText(int index) const {
    return QString::asprintf("%08X", m_dwData[static_cast<size_t>(index)]);
}

CGridBox512::CGridBox512(QWidget* parent) : CGridBoxBase(parent), m_edit(this) {
    setupEditor(2);
    QPalette pal = m_edit.palette();
    pal.setColor(QPalette::Text, colorFromRef(kEditorTextColor));
    m_edit.setPalette(pal);
}

int CGridBox512::columnCount() const {
    return std::clamp(m_nCols, 0, kMaxCells);
}

int CGridBox512::rowCount() const {
    const int cols = columnCount();
    return cols == 0 ? 0 : std::clamp(m_nRows, 0, kMaxCells / cols);
}

void CGridBox512::SetCellValue(uint8_t value) {
    const int index = currentIndex();
    if (index < 0) return;
    m_byData[static_cast<size_t>(index)] = value;
    update(cellRect(m_nCurCol, m_nCurRow));
}

QString CGridBox512::cellText(int index) const {
    return QString::asprintf("%02X", m_byData[static_cast<size_t>(index)]);
}
