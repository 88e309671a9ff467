#pragma once
#include "res/dialog_template.h"

namespace res {

// The serial-number configuration dialog "Configuration".
constexpr int kIdcChipModel = 1031;
constexpr int kIdcFlashSizeLabel = 1091;
constexpr int kIdcSerialGroup = 1176;
constexpr int kIdcInMainCode = 1177;
constexpr int kIdcInEeprom = 1178;
constexpr int kIdcSerialAddr = 1004;
constexpr int kIdcInitialSerial = 1005;
constexpr int kIdcAutoIncrease = 1179;
extern const DialogTemplate kConfig186;

}  // namespace res
