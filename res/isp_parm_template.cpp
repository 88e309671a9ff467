#include "res/isp_parm_template.h"

#include "res/icons.h"

namespace res::isp_parm {

std::vector<ControlTemplate> BootDataControls(int dy) {
    std::vector<ControlTemplate> controls = {
        {kVidPidSwitch, Ctl::Icon, "", {8, 4, 20, 20}, 0, kIconSwitchOn},
        {kNoId, Ctl::Static, "VID :", {30, 10, 26, 8}},
        {kVid, Ctl::Edit, "", {56, 8, 40, 12}},
        {kNoId, Ctl::Static, "PID :", {108, 10, 24, 8}},
        {kPid, Ctl::Edit, "", {134, 8, 40, 12}},
        {kPllSwitch, Ctl::Icon, "", {8, 24, 20, 20}, 0, kIconSwitchOn},
        {kNoId, Ctl::Static, "PLL_L :", {30, 30, 26, 8}},
        {kPllL, Ctl::Edit, "", {56, 28, 40, 12}},
        {kNoId, Ctl::Static, "PLL_H :", {108, 30, 26, 8}},
        {kPllH, Ctl::Edit, "", {134, 28, 40, 12}},
        {kNoId, Ctl::Static, "SN_EN :", {28, 50, 28, 8}},
        {kSnEnable, Ctl::ComboBox, "", {56, 48, 50, 40}},
        {kNoId, Ctl::Static, "SN1 :", {30, 66, 26, 8}},
        {kSn[0], Ctl::Edit, "", {56, 64, 40, 12}},
        {kNoId, Ctl::Static, "SN2 :", {108, 66, 24, 8}},
        {kSn[1], Ctl::Edit, "", {134, 64, 40, 12}},
        {kNoId, Ctl::Static, "SN3 :", {30, 82, 26, 8}},
        {kSn[2], Ctl::Edit, "", {56, 80, 40, 12}},
        {kNoId, Ctl::GroupBox, "BOOT_PIN_CFG", {8, 98, 234, 60}},
        {kNoId, Ctl::Static, "Enable :", {16, 110, 32, 8}},
        {kBootPinEnable, Ctl::ComboBox, "", {50, 108, 50, 40}},
        {kNoId, Ctl::Static, "Port :", {120, 110, 28, 8}},
        {kPort, Ctl::ComboBox, "", {150, 108, 40, 60}},
        {kNoId, Ctl::Static, "Pin :", {16, 126, 32, 8}},
        {kPin, Ctl::ComboBox, "", {50, 124, 50, 120}},
        {kNoId, Ctl::Static, "Pull En :", {120, 126, 28, 8}},
        {kPullEnable, Ctl::ComboBox, "", {150, 124, 50, 40}},
        {kNoId, Ctl::Static, "Active :", {16, 142, 32, 8}},
        {kActive, Ctl::ComboBox, "", {50, 140, 50, 40}},
        {kNoId, Ctl::GroupBox, "UART_ISP_CFG", {8, 162, 234, 44}},
        {kNoId, Ctl::Static, "En/Disable USB ISP :", {16, 174, 72, 8}},
        {kUsbIsp, Ctl::ComboBox, "", {90, 172, 50, 40}},
        {kNoId, Ctl::Static, "UARTx_POSy :", {16, 190, 72, 8}},
        {kUartPosition, Ctl::ComboBox, "", {90, 188, 100, 60}},
    };
    for (ControlTemplate& control : controls) control.place.y += dy;
    return controls;
}

namespace {

DialogTemplate ispParm176() {
    DialogTemplate dialog = {176, "ISP Parameter Setting", {"Tahoma", 10}, 250, 236, BootDataControls(0)};
    dialog.controls.push_back({kHiddenPosition, Ctl::Edit, "", {200, 188, 30, 12}, kHidden});
    dialog.controls.push_back({1, Ctl::DefButton, "OK", {60, 214, 50, 14}});
    dialog.controls.push_back({2, Ctl::Button, "Cancel", {140, 214, 50, 14}});
    return dialog;
}

}  // namespace

const DialogTemplate kIspParm176 = ispParm176();

}  // namespace res::isp_parm
