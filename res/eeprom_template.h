#pragma once
#include "res/dialog_template.h"

namespace res {

// The EEPROM table page.
constexpr int kIdcEepromList = 1009;
constexpr int kIdcEepromFile = 1010;
constexpr int kIdcEepromAdd = 1011;
constexpr int kIdcEepromInsert = 1012;
constexpr int kIdcEepromDelete = 1013;
constexpr int kIdcEepromSave = 1014;
constexpr int kIdcEepromRead = 1016;
constexpr int kIdcEepromWrite = 1017;
constexpr int kIdcEepromStartAddr = 1018;
constexpr int kIdcEepromErase = 1019;
constexpr int kIdcEepromDataSize = 1037;
extern const DialogTemplate kEepromPage138;

// "Page Erase".
constexpr int kIdcPageEraseFrom = 1024;
constexpr int kIdcPageEraseCount = 1025;
constexpr int kIdcPageEraseFirstByte = 1026;
constexpr int kIdcPageEraseLastByte = 1027;
extern const DialogTemplate kPageErase134;

}  // namespace res
