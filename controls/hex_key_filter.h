#pragma once
// The key filter of the hexadecimal fields: the editing keys and the digits pass, Enter is
// taken by the field itself (so the dialog never sees it), every other key is dropped.
#include <QKeyEvent>

enum class HexKey { Pass, Enter, Drop };

// lettersPass: whether A to F pass (hexadecimal input).
HexKey classifyHexKey(const QKeyEvent& event, bool lettersPass);
