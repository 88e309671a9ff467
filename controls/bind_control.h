#pragma once
// Binding a custom control to its dialog: the control takes the place of the plain widget that
// the dialog template created for the same id (ControlSet::replace: parent, geometry, id, name,
// enabled and shown state, stacking) and takes over its text and font. The template's widget
// is deleted and lookups by id find the custom control from then on.
#include <QWidget>

#include "platform/dialog_builder.h"

void bindControl(ui::ControlSet& controls, int id, QWidget& control);
