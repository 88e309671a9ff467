#pragma once
// Binding a custom control to its dialog: the control takes the place of the plain widget
// that the dialog template created for the same id (its parent, geometry, name, properties,
// text, enabled and shown state, stacking), and the template's widget leaves the dialog.
// Lookups by id then find the custom control.
#include <QWidget>

void bindControl(QWidget* placeholder, QWidget& control);
