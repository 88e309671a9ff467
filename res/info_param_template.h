#pragma once
#include "res/dialog_template.h"

// "Information Block Parameter": the settings of the information block, shown only. The
// boot-data controls are those of res::isp_parm.
namespace res::info_param {

constexpr int kInfoBlockEnable = 1136;
constexpr int kBootDataEnable = 1172;
constexpr int kLevel0 = 1143;
constexpr int kLevel1 = 1145;
constexpr int kProtectMap = 1147;

extern const DialogTemplate kInfoParam185;

}  // namespace res::info_param
