#pragma once
#include "res/dialog_template.h"

namespace res {

// "Read/Write Test".
constexpr int kIdcRegRwSocket = 1115;
constexpr int kIdcRegRwOpenSwd = 1016;
constexpr int kIdcRegRwRead = 1014;
constexpr int kIdcRegRwReadAddr = 1135;
constexpr int kIdcRegRwReadValue = 1136;
constexpr int kIdcRegRwWrite = 1015;
constexpr int kIdcRegRwWriteAddr = 1137;
constexpr int kIdcRegRwWriteValue = 1138;
extern const DialogTemplate kRegRw188;

}  // namespace res
