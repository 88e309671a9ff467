#pragma once
// The key filter of the hexadecimal fields: the editing keys and the digits pass, Enter is
// taken by the field itself (so the dialog never sees it), every other key is dropped.
#include <QKeyEvent>
#include <QLineEdit>

enum class HexKey { Pass, Enter, Drop };

// lettersPass: whether A to F pass (hexadecimal input).
HexKey classifyHexKey(const QKeyEvent& event, bool lettersPass);

// Holds a hexadecimal field to a width in digits, a 0x or 0X before them not counted. A text
// whose number runs past the width is refused whole, typed or pasted: a length limit would cut
// a pasted "0x12345678" or "123456789" to another number.
void limitHexDigits(QLineEdit& field, int digits);
