#pragma once
#include <vector>

#include "res/dialog_template.h"

// "ISP Parameter Setting": the ISP boot-data words, decoded into fields.
namespace res::isp_parm {

constexpr int kVidPidSwitch = 1155;  // clickable switch picture
constexpr int kVid = 1135;
constexpr int kPid = 1137;
constexpr int kPllSwitch = 1156;
constexpr int kPllL = 1138;
constexpr int kPllH = 1139;
constexpr int kSnEnable = 1154;
constexpr int kSn[3] = {1140, 1141, 1142};
constexpr int kBootPinEnable = 1148;
constexpr int kPort = 1149;
constexpr int kPin = 1150;
constexpr int kPullEnable = 1151;
constexpr int kActive = 1152;
constexpr int kUsbIsp = 1153;
constexpr int kUartPosition = 1157;
constexpr int kHiddenPosition = 1136;  // hidden; nothing writes it

// The boot-data controls, moved down by dy dialog units: the information-block parameter view
// shows the same controls under the same ids.
std::vector<ControlTemplate> BootDataControls(int dy);

extern const DialogTemplate kIspParm176;

}  // namespace res::isp_parm
