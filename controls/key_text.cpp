#include "controls/key_text.h"

#include <QFocusEvent>
#include <QMouseEvent>

CKeyText::CKeyText(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(kMaxChars);
}

void CKeyText::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    // The press that brought the focus would place the caret over this selection.
    m_bEnteredByClick = event->reason() == Qt::MouseFocusReason;
}

void CKeyText::mousePressEvent(QMouseEvent* event) {
    // A click inside the field extends the selection from its end to the end of the text
    // before the press places the caret.
    const int selEnd = hasSelectedText() ? selectionEnd() : cursorPosition();
    setSelection(selEnd, static_cast<int>(text().size()) - selEnd);
    QLineEdit::mousePressEvent(event);
    if (m_bEnteredByClick) selectAll();
    m_bEnteredByClick = false;
}
