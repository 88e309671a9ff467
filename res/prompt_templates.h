#pragma once
#include "res/dialog_template.h"

namespace res {

// The stop prompt: the run ends.
constexpr int kIdcStopIcon = 1127;
constexpr int kIdcStopTitle = 1128;
constexpr int kIdcStopMessage = 1129;
extern const DialogTemplate kStopPrompt173;

// The warning prompt: continue or abort.
constexpr int kIdcWarnIcon = 1130;
constexpr int kIdcWarnMessage = 1131;
constexpr int kIdcWarnPrompt = 1132;
constexpr int kIdcDontWarnAgain = 1133;
extern const DialogTemplate kWarnPrompt174;

}  // namespace res
