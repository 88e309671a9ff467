#pragma once
// The templates of the adapter tools: "Flash Information" (181), "Read CRC" (184) and
// "Dump" (133).
#include "res/info_block_templates.h"

namespace res {

// 181: the configuration block in the adapter's serial flash; the option fields carry the ids
// of 187.
constexpr int kIdcImageSizeInfo = 1021;
constexpr int kIdcImageCrcInfo = 1022;
constexpr int kIdcChipNameInfo = 1023;
constexpr int kIdcLimitEnable = 1134;
constexpr int kIdcLimitQuantity = 1158;
constexpr int kIdcInfoBlockOn = 1171;
constexpr int kIdcBootDataOn = 1172;
constexpr int kIdcSnEnableInfo = 1154;
constexpr int kIdcSerialOn = 1190;
constexpr int kIdcSerialAddrInfo = 1191;
constexpr int kIdcSerialInEeprom = 1192;
constexpr int kIdcSerialAutoInc = 1193;
constexpr int kIdcLastSerialInfo = 1194;
extern const DialogTemplate kReadInfo181;

// 184: "Read CRC".
constexpr int kIdcReadCrc = 1163;
constexpr int kIdcMainCrc = 1164;
constexpr int kIdcInfoCrc = 1165;
constexpr int kIdcCrcBar = 1166;
extern const DialogTemplate kReadCrc184;

// 133: "Dump".
constexpr int kIdcFromPage = 1024;
constexpr int kIdcPageCount = 1025;
constexpr int kIdcFirstByte = 1026;
constexpr int kIdcLastByte = 1027;
constexpr int kIdcExecute = 1029;
constexpr int kIdcDumpBar = 1030;
constexpr int kIdcTxtFile = 1035;
constexpr int kIdcBinFile = 1036;
constexpr int kIdcCancelDump = 1006;
extern const DialogTemplate kDump133;

}  // namespace res
