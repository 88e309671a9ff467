#include "res/info_param_template.h"

#include "res/isp_parm_template.h"

namespace res::info_param {

namespace {

constexpr int kBootDataTop = 62;

DialogTemplate infoParam185() {
    DialogTemplate dialog = {185, "Information Block Parameter", {"Tahoma", 10}, 250, 298, {
        {kInfoBlockEnable, Ctl::CheckBox, "Enable Information Block", {8, 6, 104, 10}},
        {kBootDataEnable, Ctl::CheckBox, "ISP Boot Data Enable", {120, 6, 100, 10}},
        {kNoId, Ctl::GroupBox, "Security", {8, 20, 234, 40}},
        {kNoId, Ctl::Static, "RDP Protect :", {16, 32, 46, 8}},
        {kLevel0, Ctl::CheckBox, "Level 0", {64, 31, 40, 10}},
        {kLevel1, Ctl::CheckBox, "Level 1", {108, 31, 40, 10}},
        {kNoId, Ctl::Static, "Protect Area:", {16, 46, 46, 8}},
        {kProtectMap, Ctl::Custom, "", {64, 45, 66, 8}},
    }};
    for (const ControlTemplate& control : isp_parm::BootDataControls(kBootDataTop)) dialog.controls.push_back(control);
    dialog.controls.push_back({1, Ctl::DefButton, "Close", {100, 276, 50, 14}});
    return dialog;
}

}  // namespace

const DialogTemplate kInfoParam185 = infoParam185();

}  // namespace res::info_param
