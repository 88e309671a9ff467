#pragma once
#include "res/dialog_template.h"

namespace res {

// "Write Protect": the warning with its blinking headline.
constexpr int kIdcWriteProtectHeadline = 1046;
constexpr int kIdcWriteProtectDeclare = 1048;
extern const DialogTemplate kWriteProtect141;

// "Parameter": a byte grid and Close.
constexpr int kIdcPara512Grid = 1159;
extern const DialogTemplate kPara512Dlg183;

}  // namespace res
