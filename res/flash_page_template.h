#pragma once
#include "res/dialog_template.h"

namespace res {

// The serial-flash page's controls.
namespace sf {
constexpr int kIdcLoadFile = 1001;
constexpr int kIdcAuto = 1002;
constexpr int kIdcProgram = 1003;
constexpr int kIdcVerify = 1004;
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
constexpr int kIdcLamp = 1111;
constexpr int kIdcFlashLabel = 1112;
constexpr int kIdcLimitEnable = 1134;
constexpr int kIdcLimitQuantity = 1135;
constexpr int kIdcInfoBlockEnable = 1136;
constexpr int kIdcEraseBar = 1137;
constexpr int kIdcLevel0 = 1138;
constexpr int kIdcLevel1 = 1139;
constexpr int kIdcProtectMap = 1143;
constexpr int kIdcRdpLabel = 1144;
constexpr int kIdcProtectLabel = 1145;
constexpr int kIdcViewDetail = 1147;
constexpr int kIdcReadInfo = 1148;
constexpr int kIdcConfig = 1149;
constexpr int kIdcParamEnable = 1161;
}  // namespace sf

extern const DialogTemplate kFlashPage161;

}  // namespace res
