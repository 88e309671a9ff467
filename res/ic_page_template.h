#pragma once
#include "res/dialog_template.h"

namespace res {

// The IC programming page's controls.
constexpr int kIdcLoadFile = 1001;
constexpr int kIdcAuto = 1002;
constexpr int kIdcProgramTest = 1003;
constexpr int kIdcVerifyTest = 1004;
constexpr int kIdcErase = 1005;
constexpr int kIdcCancel = 1006;
constexpr int kIdcLogList = 1007;
constexpr int kIdcProgress = 1008;
constexpr int kIdcDump = 1009;
constexpr int kIdcStartAddr = 1010;
constexpr int kIdcParamFile = 1011;
constexpr int kIdcSerialLast = 1012;
constexpr int kIdcImageSize = 1021;
constexpr int kIdcImageCrc = 1022;
constexpr int kIdcClearList = 1034;
constexpr int kIdcExportLog = 1035;
constexpr int kIdcWriteDesByte = 1036;
constexpr int kIdcSiteIcon[4] = {1103, 1104, 1105, 1106};
constexpr int kIdcSiteIndicator[4] = {1107, 1108, 1109, 1110};
constexpr int kIdcBurn = 1114;
constexpr int kIdcTotal = 1118;
constexpr int kIdcPass = 1119;
constexpr int kIdcFail = 1120;
constexpr int kIdcYield = 1121;
constexpr int kIdcResetCount = 1122;
constexpr int kIdcVerifyMode = 1136;
constexpr int kIdcInfoBlockEnable = 1137;
constexpr int kIdcLevel0 = 1138;
constexpr int kIdcLevel1 = 1139;
constexpr int kIdcProtectMap = 1143;
constexpr int kIdcRdpLabel = 1144;
constexpr int kIdcProtectLabel = 1145;
constexpr int kIdcViewDetail = 1147;
constexpr int kIdcConfig = 1149;
constexpr int kIdcParamEnable = 1161;

extern const DialogTemplate kIcPage130;

}  // namespace res
