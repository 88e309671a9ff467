#pragma once
// Pasting as the operator does: the text on the clipboard, then Paste from the field's own
// context menu (a hexadecimal field's key filter drops Ctrl+V).
#include <QLineEdit>
#include <QString>

void pasteThroughMenu(QLineEdit& field, const QString& text);
