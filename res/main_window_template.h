#pragma once
#include "res/dialog_template.h"

namespace res {

// The main window's own controls.
constexpr int kIdcSeparator = 1000;    // separator line, hidden once a page shows
constexpr int kIdcCompactEdge = 1001;  // its top is the bottom of the compact window
constexpr int kIdcNotice = 1098;       // the notice text, drawn in blue
extern const DialogTemplate kMainWindow102;

constexpr int kIdcVersionLine = 1033;
extern const DialogTemplate kAbout100;
extern const DialogTemplate kAbout170;  // the second About box, which nothing opens

}  // namespace res
