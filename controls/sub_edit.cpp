#include "controls/sub_edit.h"

#include <QKeyEvent>

CSubEdit::CSubEdit(QWidget* parent) : QLineEdit(parent) {}

void CSubEdit::leave() {
    hide();
    if (parentWidget() != nullptr) parentWidget()->setFocus(Qt::OtherFocusReason);
}

bool CSubEdit::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        m_bCommit = true;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit commitText(m_nItem, m_nSubItem, text());
            // Written once: the focus loss that hiding causes has nothing left to write.
            m_bCommit = false;
            leave();
            event->accept();
            return true;
        }
        if (key == Qt::Key_Escape) {
            m_bCommit = false;
            leave();
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CSubEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (m_bCommit) emit commitText(m_nItem, m_nSubItem, text());
}

void CSubEdit::showEvent(QShowEvent* event) {
    // A fresh edit commits nothing until a key is pressed in it.
    m_bCommit = false;
    QLineEdit::showEvent(event);
}
