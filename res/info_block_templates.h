#pragma once
// The templates of the information-block tools: the parameter-area page (137), "Information
// Block" (182) and "Read Security/Boot Data" (187).
#include "res/dialog_template.h"

namespace res {

// Shared by the three.
constexpr int kIdcRead = 1014;
constexpr int kIdcWrite = 1015;
constexpr int kIdcEraseInfo = 1016;
constexpr int kIdcSocketCombo = 1115;
constexpr int kIdcInfoBar = 1158;  // progress bar of 137 and 182

// 137: the parameter-area page.
constexpr int kIdcResetArea = 1017;
constexpr int kIdcSaveData = 1018;
constexpr int kIdcAreaGrid = 1019;
constexpr int kIdcLoadData = 1020;
constexpr int kIdcOpenDebug = 1021;
extern const DialogTemplate kInfoBlk2Page137;

// 182: "Information Block".
constexpr int kIdcOpenDebugBlk = 1017;
constexpr int kIdcPageCombo = 1116;
constexpr int kIdcWordGrid = 1157;
constexpr int kIdcEraseFinish = 1180;
constexpr int kIdcCopySecurity = 1181;
extern const DialogTemplate kInfoBlk182;

// 187: "Read Security/Boot Data", and the same fields of "Flash Information" (181).
constexpr int kIdcLevel0 = 1143;
constexpr int kIdcLevel1 = 1145;
constexpr int kIdcReadWriteProtect = 1154;
constexpr int kIdcWriteProtect = 1155;
constexpr int kIdcNoneProtect = 1156;
constexpr int kIdcProtectMap = 1147;
constexpr int kIdcVid = 1135;
constexpr int kIdcPid = 1137;
constexpr int kIdcPllL = 1138;
constexpr int kIdcPllH = 1139;
constexpr int kIdcSn1 = 1140;
constexpr int kIdcSn2 = 1141;
constexpr int kIdcSn3 = 1142;
constexpr int kIdcBootEnable = 1148;
constexpr int kIdcBootPort = 1149;
constexpr int kIdcBootPin = 1150;
constexpr int kIdcBootPull = 1151;
constexpr int kIdcBootActive = 1152;
constexpr int kIdcUsbIsp = 1153;
constexpr int kIdcUartPos = 1157;
constexpr int kIdcSnEnableData = 1158;  // SN_EN of 187
extern const DialogTemplate kInfoData187;

}  // namespace res
