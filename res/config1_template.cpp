#include "res/config1_template.h"

namespace res {

// The group box "Serial Number" frames every control below it except OK and Cancel; its
// caption becomes a check box that enables them.
const DialogTemplate kConfig186 = {186, "Configuration", {"Tahoma", 10}, 200, 150, {
    {kNoId, Ctl::Static, "ISP Target :", {10, 12, 45, 8}},
    {kIdcChipModel, Ctl::ComboBox, "", {58, 10, 70, 60}},
    {kIdcFlashSizeLabel, Ctl::Static, "4096 Byte", {134, 12, 56, 8}},
    {kIdcSerialGroup, Ctl::GroupBox, "Serial Number", {8, 30, 184, 88}},
    {kIdcInMainCode, Ctl::CheckBox, "In Main Code", {18, 44, 70, 10}},
    {kIdcInEeprom, Ctl::CheckBox, "In EEPROM", {100, 44, 70, 10}},
    {kNoId, Ctl::Static, "Address :", {18, 62, 70, 8}},
    {kIdcSerialAddr, Ctl::Edit, "", {92, 60, 60, 12}},
    {kNoId, Ctl::Static, "h", {155, 62, 10, 8}},
    {kNoId, Ctl::Static, "Initial Serial No. :", {18, 80, 70, 8}},
    {kIdcInitialSerial, Ctl::Edit, "", {92, 78, 60, 12}},
    {kNoId, Ctl::Static, "d", {155, 80, 10, 8}},
    {kIdcAutoIncrease, Ctl::CheckBox, "Auto Increasement after burn", {18, 98, 120, 10}},
    {1, Ctl::DefButton, "OK", {40, 128, 50, 14}},
    {2, Ctl::Button, "Cancel", {110, 128, 50, 14}},
}};

}  // namespace res
