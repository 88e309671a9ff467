#include "controls/hex_key_filter.h"

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
