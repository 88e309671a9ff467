#pragma once
#include "res/dialog_template.h"

// "Protect Range": one check box per protected 4 KB block of the first 64 KB.
namespace res::protect_range {

constexpr int kFirstBlock = 1146;  // 1146 to 1161: blocks 0 to 15
constexpr int kBlockCount = 16;
constexpr int kHiddenLastBlock = 1162;

extern const DialogTemplate kProtectRange175;

}  // namespace res::protect_range
