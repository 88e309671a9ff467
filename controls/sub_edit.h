#pragma once
// In-place editor of one cell of a list: Enter writes the typed text into the cell, Escape
// abandons it, and losing the focus writes it unless the edit was abandoned. The holder sets
// the cell (m_nItem, m_nSubItem), places, fills and shows the editor, and writes the text
// that commitText carries into its list.
#include <QLineEdit>

class CSubEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CSubEdit(QWidget* parent = nullptr);

    int m_nItem = 0;
    int m_nSubItem = 0;
    // Set by every key press, cleared by Escape and each time the editor is shown.
    bool commitPending() const { return m_bCommit; }

signals:
    void commitText(int item, int subItem, const QString& text);

protected:
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void leave();

    bool m_bCommit = false;
};
