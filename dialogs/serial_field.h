#pragma once
// The "Initial Serial No. :" field that both configuration dialogs hold.
#include <cstdint>

#include "platform/dialog_builder.h"

// Checks the field after a change: decimal digits up to 0xFFFFFFFF become the number; any
// other text brings its message and the last accepted number back into the field.
void CheckSerialNumberField(ui::ControlSet& controls, int id, uint32_t& number);

// What the field shows when a dialog opens: "Last SN" as the store holds it now, which another
// running copy may have moved on since this one last took a number; this copy holds it from
// then on, so OK stores only a number typed. What this copy holds when the store has none.
uint32_t LastSerialToShow();
