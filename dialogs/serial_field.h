#pragma once
// The "Initial Serial No. :" field that both configuration dialogs hold.
#include <cstdint>

#include "platform/dialog_builder.h"

// Checks the field after a change: decimal digits up to 0xFFFFFFFF become the number (true);
// any other text brings its message, and the field is put back as it opened, holding the number
// it opened with: nothing the operator typed before the refused entry stands (false).
bool CheckSerialNumberField(ui::ControlSet& controls, int id, uint32_t& number, uint32_t opened);
