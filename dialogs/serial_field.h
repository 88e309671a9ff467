#pragma once
// The "Initial Serial No. :" field that both configuration dialogs hold.
#include <cstdint>

#include "platform/dialog_builder.h"

// Checks the field after a change: decimal digits up to 0xFFFFFFFF become the number; any
// other text brings its message and the last accepted number back into the field.
void CheckSerialNumberField(ui::ControlSet& controls, int id, uint32_t& number);
