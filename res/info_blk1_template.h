#pragma once
#include "res/dialog_template.h"

namespace res {

// The information-block page over the COM link.
constexpr int kIdcInfo1Read = 1014;
constexpr int kIdcInfo1Write = 1015;
constexpr int kIdcInfo1Erase = 1016;
constexpr int kIdcInfo1Reset = 1017;
constexpr int kIdcInfo1Grid = 1018;
extern const DialogTemplate kInfoBlk1Page136;

}  // namespace res
