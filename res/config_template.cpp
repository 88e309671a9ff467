#include "res/config_template.h"

namespace res::config {

// The group "Enable Information Block Data" frames the protection, boot-data and "Setting..."
// controls: its caption becomes a check box that enables exactly those.
const DialogTemplate kConfig131 = {131, "Configuration", {"Tahoma", 10}, 280, 246, {
    {kNoId, Ctl::Static, "ISP Target :", {10, 10, 45, 8}},
    {kChipModel, Ctl::ComboBox, "", {58, 8, 80, 60}},
    {kFlashSizeLabel, Ctl::Static, "4096 Byte", {146, 10, 70, 8}},
    {kInfoBlockGroup, Ctl::GroupBox, "Enable Information Block Data", {8, 26, 264, 104}},
    {kNoId, Ctl::GroupBox, "RDP Protection", {16, 38, 248, 24}},
    {kLevel0, Ctl::CheckBox, "Level 0", {24, 49, 60, 10}},
    {kLevel1, Ctl::CheckBox, "Level 1", {100, 49, 60, 10}},
    {kNoId, Ctl::GroupBox, "PcROP Protection", {16, 64, 248, 24}},
    {kReadWriteProtection, Ctl::CheckBox, "Read + Write Protection", {24, 75, 92, 10}},
    {kWriteProtection, Ctl::CheckBox, "Write Protection", {120, 75, 70, 10}},
    {kNoneProtection, Ctl::CheckBox, "None Protection", {194, 75, 68, 10}},
    {kNoId, Ctl::Static, "Protection Area:", {16, 94, 56, 8}},
    {kProtectMap, Ctl::Custom, "", {74, 93, 66, 8}},
    {kBootDataEnable, Ctl::CheckBox, "Enable ISP Boot Data", {16, 112, 90, 10}},
    {kSetting, Ctl::Button, "Setting...", {214, 110, 50, 14}},
    {kNoId, Ctl::GroupBox, "Serial No.", {8, 134, 264, 42}},
    {kSerialEnable, Ctl::CheckBox, "Serial No. Address:", {16, 146, 80, 10}},
    {kSerialAddr, Ctl::Edit, "", {100, 145, 60, 12}},
    {kNoId, Ctl::Static, "h", {163, 147, 8, 8}},
    {kNoId, Ctl::Static, "Initial Serial No. :", {16, 161, 80, 8}},
    {kInitialSerial, Ctl::Edit, "", {100, 159, 60, 12}},
    {kNoId, Ctl::Static, "d", {163, 161, 8, 8}},
    {kParamEnable, Ctl::CheckBox, "Enable Parameter", {8, 184, 70, 10}},
    {kParamFile, Ctl::Edit, "", {80, 183, 160, 12}, kReadOnly | kDisabled},
    {kChooseParamFile, Ctl::Button, "..", {244, 183, 28, 12}},
    {kCalculateCrc, Ctl::Button, "Caculate CRC", {8, 202, 60, 14}},
    {kCrc, Ctl::Static, "", {74, 205, 40, 8}},
    // Hidden in the template; nothing shows them.
    {kNoId, Ctl::Static, "ISP Start Addresss :", {8, 226, 66, 8}, kHidden},
    {kStartAddrHint, Ctl::Static, "", {8, 236, 66, 8}, kHidden},
    {kStartAddr, Ctl::Edit, "", {76, 224, 30, 12}, kHidden},
    {kNoId, Ctl::Static, "h", {108, 226, 6, 8}, kHidden},
    {kStartAddrFrame, Ctl::BlackFrame, "", {74, 222, 34, 16}, kHidden},
    {kBeepSound, Ctl::CheckBox, "Beep Sound after burn", {8, 236, 90, 10}, kHidden},
    {1, Ctl::DefButton, "OK", {162, 226, 50, 14}},
    {2, Ctl::Button, "Cancel", {222, 226, 50, 14}},
}};

}  // namespace res::config
