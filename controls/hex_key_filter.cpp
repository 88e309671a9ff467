#include "controls/hex_key_filter.h"

#include <QValidator>

#include "controls/number_text.h"

namespace {

class HexWidth : public QValidator {
public:
    HexWidth(int digits, QObject* parent) : QValidator(parent), m_digits(static_cast<size_t>(digits)) {}
    State validate(QString& input, int&) const override {
        return hexDigitsRead(input.toStdString()) > m_digits ? Invalid : Acceptable;
    }

private:
    size_t m_digits;
};

}  // namespace

HexKey classifyHexKey(const QKeyEvent& event, bool lettersPass) {
    const int key = event.key();
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Delete:
        return HexKey::Pass;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return HexKey::Enter;
    default:
        break;
    }
    // Main and keypad digits arrive as the same keys; the keypad only adds a modifier.
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return HexKey::Pass;
    if (lettersPass && key >= Qt::Key_A && key <= Qt::Key_F) return HexKey::Pass;
    return HexKey::Drop;
}

void limitHexDigits(QLineEdit& field, int digits) { field.setValidator(new HexWidth(digits, &field)); }
