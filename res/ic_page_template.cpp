#include "res/ic_page_template.h"

namespace res {

// Child page without caption. The controls below the separating comment are hidden: the
// workers show the progress bar and the protection group; nothing shows the others.
const DialogTemplate kIcPage130 = {130, "", {"Tahoma", 10}, 250, 212, {
    {kIdcLoadFile, Ctl::Button, "Load Hex/Bin", {8, 5, 46, 12}},
    {kNoId, Ctl::Static, "Size: ", {59, 7, 16, 8}},
    {kIdcImageSize, Ctl::Edit, "", {77, 5, 42, 12}, kReadOnly},
    {kNoId, Ctl::Static, "CRC16 : ", {136, 7, 39, 8}, kRight},
    {kIdcImageCrc, Ctl::Edit, "", {175, 5, 45, 12}, kReadOnly},
    {kIdcDump, Ctl::Button, "Dump", {221, 5, 24, 12}, kHidden},
    {kNoId, Ctl::GroupBox, "ISP", {9, 20, 234, 42}},
    {kIdcBurn, Ctl::Button, "Burn", {14, 32, 61, 26}, kIconButton, 168},
    {kIdcSiteIcon[0], Ctl::Icon, "", {93, 28, 20, 20}, 0, 152},
    {kIdcSiteIcon[1], Ctl::Icon, "", {134, 28, 20, 20}, 0, 152},
    {kIdcSiteIcon[2], Ctl::Icon, "", {173, 28, 20, 20}, 0, 152},
    {kIdcSiteIcon[3], Ctl::Icon, "", {212, 28, 20, 20}, 0, 152},
    {kIdcSiteIndicator[0], Ctl::Icon, "", {85, 37, 20, 20}, 0, 154},
    {kIdcSiteIndicator[1], Ctl::Icon, "", {124, 37, 20, 20}, 0, 156},
    {kIdcSiteIndicator[2], Ctl::Icon, "", {163, 37, 20, 20}, 0, 157},
    {kIdcSiteIndicator[3], Ctl::Icon, "", {202, 37, 20, 20}, 0, 158},
    {kIdcLogList, Ctl::ListBox, "", {9, 72, 234, 62}, kVScroll | kHScroll},
    {kIdcClearList, Ctl::Button, "Clear", {9, 135, 38, 9}},
    {kIdcExportLog, Ctl::Button, "Export", {48, 135, 38, 9}, kHidden},
    {kNoId, Ctl::GroupBox, "Burner Counter", {9, 151, 235, 37}},
    {kNoId, Ctl::Static, "Total :", {15, 162, 22, 8}},
    {kIdcTotal, Ctl::Static, "0", {39, 162, 33, 9}},
    {kNoId, Ctl::Static, "Pass :", {76, 162, 22, 8}},
    {kIdcPass, Ctl::Static, "0", {100, 162, 33, 9}},
    {kNoId, Ctl::Static, "Fail :", {137, 162, 22, 8}},
    {kIdcFail, Ctl::Static, "0", {161, 162, 33, 9}},
    {kNoId, Ctl::Static, "Yield :", {15, 174, 22, 8}},
    {kIdcYield, Ctl::Static, "100.00%", {39, 174, 33, 9}},
    {kIdcResetCount, Ctl::Button, "Reset Count", {203, 164, 33, 18}, kMultiLine},
    {kIdcSerialLast, Ctl::Static, "S/N Last :", {156, 188, 84, 8}, kRight},  // ten digits fit
    {kIdcVerifyMode, Ctl::CheckBox, "Verify Mode", {11, 189, 69, 10}},
    // Hidden in the template.
    {kIdcProgress, Ctl::Progress, "", {9, 63, 234, 7}, kHidden},
    {kIdcRdpLabel, Ctl::Static, "RDP Protect :", {92, 136, 44, 8}, kHidden},
    {kIdcLevel0, Ctl::CheckBox, "Level 0", {138, 135, 34, 9}, kHidden},
    {kIdcLevel1, Ctl::CheckBox, "Level 1", {174, 135, 34, 9}, kHidden},
    {kIdcProtectLabel, Ctl::Static, "Protect Area:", {92, 144, 44, 7}, kHidden},
    {kIdcProtectMap, Ctl::Custom, "", {138, 144, 66, 7}, kHidden},
    {kIdcAuto, Ctl::Button, "Auto.", {9, 200, 30, 10}, kHidden},
    {kIdcProgramTest, Ctl::Button, "Program", {40, 200, 30, 10}, kHidden},
    {kIdcVerifyTest, Ctl::Button, "Verify", {71, 200, 30, 10}, kHidden},
    {kIdcErase, Ctl::Button, "Erase", {102, 200, 30, 10}, kHidden},
    {kIdcCancel, Ctl::Button, "Cancel", {133, 200, 30, 10}, kHidden | kDisabled},
    {kIdcStartAddr, Ctl::Static, "0", {164, 200, 80, 8}, kHidden | kRight},
    {kIdcWriteDesByte, Ctl::Button, "Write Des Byte", {9, 188, 50, 10}, kHidden},
    {kIdcInfoBlockEnable, Ctl::CheckBox, "Enable Information Block", {92, 135, 90, 9}, kHidden},
    {kIdcViewDetail, Ctl::Button, "View Detail", {184, 135, 40, 9}, kHidden},
    {kIdcConfig, Ctl::Button, "", {226, 135, 16, 14}, kHidden | kIconButton, 177},
    {kIdcParamEnable, Ctl::CheckBox, "Enable Parameter :", {92, 144, 74, 7}, kHidden},
    {kIdcParamFile, Ctl::Edit, "", {168, 144, 56, 7}, kHidden | kDisabled},
}};

}  // namespace res
