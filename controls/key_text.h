#pragma once
// A two-character key field whose text is selected whenever it is entered, so that typing
// replaces the key instead of adding to it.
#include <QLineEdit>

class CKeyText : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxChars = 2;

    explicit CKeyText(QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool m_bEnteredByClick = false;
};
