#include "res/flash_page_template.h"

namespace res {

using namespace sf;

// Child page without caption. The workers show the progress bars while they program, verify
// or erase, and the protection view after every run; nothing shows the other hidden controls.
const DialogTemplate kFlashPage161 = {161, "", {"Tahoma", 10}, 250, 212, {
    {kIdcLoadFile, Ctl::Button, "Load Hex/Bin", {8, 5, 46, 12}},
    {kNoId, Ctl::Static, "Size: ", {59, 7, 16, 8}},
    {kIdcImageSize, Ctl::Edit, "", {77, 5, 42, 12}, kReadOnly},
    {kNoId, Ctl::Static, "CRC16 : ", {136, 7, 39, 8}, kRight},
    {kIdcImageCrc, Ctl::Edit, "", {175, 5, 45, 12}, kReadOnly},
    {kIdcDump, Ctl::Button, "Dump", {221, 5, 24, 12}, kHidden},
    {kNoId, Ctl::GroupBox, "Serial Flash", {9, 20, 234, 42}},
    {kIdcAuto, Ctl::Button, "Auto.", {14, 32, 36, 14}},
    {kIdcProgram, Ctl::Button, "Program", {52, 32, 36, 14}, kHidden},
    {kIdcVerify, Ctl::Button, "Verify", {52, 32, 36, 14}},
    {kIdcErase, Ctl::Button, "Erase", {90, 32, 36, 14}},
    {kIdcCancel, Ctl::Button, "Cancel", {128, 32, 36, 14}, kDisabled},
    {kIdcLamp, Ctl::Icon, "", {176, 30, 20, 20}, 0, 152},
    {kIdcFlashLabel, Ctl::Icon, "", {206, 30, 20, 20}, 0, 164},
    {kIdcReadInfo, Ctl::Button, "Read Info.", {14, 48, 36, 10}, kHidden},
    {kIdcEraseBar, Ctl::Progress, "", {9, 63, 234, 7}, kHidden},
    {kIdcProgress, Ctl::Progress, "", {9, 63, 234, 7}, kHidden},
    {kIdcLogList, Ctl::ListBox, "", {9, 72, 234, 62}, kVScroll | kHScroll},
    {kIdcClearList, Ctl::Button, "Clear", {9, 135, 38, 9}},
    {kIdcExportLog, Ctl::Button, "Export", {48, 135, 38, 9}, kHidden},
    {kIdcRdpLabel, Ctl::Static, "RDP Protect :", {92, 136, 44, 8}, kHidden},
    {kIdcLevel0, Ctl::CheckBox, "Level 0", {138, 135, 34, 9}, kHidden},
    {kIdcLevel1, Ctl::CheckBox, "Level 1", {174, 135, 34, 9}, kHidden},
    {kIdcProtectLabel, Ctl::Static, "Protect Area:", {92, 144, 44, 7}, kHidden},
    {kIdcProtectMap, Ctl::Custom, "", {138, 144, 66, 7}, kHidden},
    {kIdcViewDetail, Ctl::Button, "View Detail", {184, 154, 40, 9}, kHidden},
    {kIdcConfig, Ctl::Button, "", {226, 154, 16, 14}, kHidden | kIconButton, 177},
    {kIdcInfoBlockEnable, Ctl::CheckBox, "Enable Information Block", {92, 154, 90, 9}, kHidden},
    {kIdcParamEnable, Ctl::CheckBox, "Enable Parameter :", {92, 164, 74, 7}, kHidden},
    {kIdcParamFile, Ctl::Edit, "", {168, 164, 56, 7}, kHidden | kDisabled},
    {kIdcLimitEnable, Ctl::CheckBox, "Enable Limited Quantity", {11, 176, 96, 10}},
    {kIdcLimitQuantity, Ctl::Edit, "", {108, 175, 50, 12}, kRight},
    {kNoId, Ctl::Static, "PCS", {162, 177, 20, 8}},
    {kIdcStartAddr, Ctl::Static, "ISP Start Address From :0x%X", {11, 192, 120, 8}, kHidden},
    {kIdcSerialLast, Ctl::Static, "S/N Last : %d", {156, 192, 84, 8}, kHidden | kRight},  // ten digits fit
}};

}  // namespace res
