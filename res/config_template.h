#pragma once
#include "res/dialog_template.h"

// The programming configuration dialog "Configuration": protection options, ISP boot data,
// serial number and parameter file, and the CRC of the information block they give.
namespace res::config {

constexpr int kChipModel = 1031;
constexpr int kFlashSizeLabel = 1091;
constexpr int kInfoBlockGroup = 1167;
constexpr int kLevel0 = 1138;
constexpr int kLevel1 = 1139;
constexpr int kReadWriteProtection = 1140;  // 1140 to 1142: PcROP types 0 to 2
constexpr int kWriteProtection = 1141;
constexpr int kNoneProtection = 1142;
constexpr int kProtectMap = 1143;
constexpr int kBootDataEnable = 1136;
constexpr int kSetting = 1147;
constexpr int kSerialEnable = 1156;
constexpr int kSerialAddr = 1004;
constexpr int kInitialSerial = 1005;
constexpr int kParamEnable = 1161;
constexpr int kParamFile = 1006;
constexpr int kChooseParamFile = 1162;
constexpr int kCalculateCrc = 1168;
constexpr int kCrc = 1169;
// Hidden: the ISP start address (divided by 256) and the beep switch.
constexpr int kStartAddr = 1001;
constexpr int kStartAddrHint = 1002;
constexpr int kStartAddrFrame = 1003;
constexpr int kBeepSound = 1050;

extern const DialogTemplate kConfig131;

}  // namespace res::config
