#pragma once
#include "res/dialog_template.h"

namespace res {

// The serial-flash dump dialog "Dump Serial Flash".
namespace dump_sf {
constexpr int kIdcClose = 1;
constexpr int kIdcCancel = 1006;
constexpr int kIdcFromPage = 1024;
constexpr int kIdcPageCount = 1025;
constexpr int kIdcFirstByte = 1026;
constexpr int kIdcLastByte = 1027;
constexpr int kIdcExecute = 1029;
constexpr int kIdcProgress = 1030;
constexpr int kIdcTxtFile = 1035;
constexpr int kIdcBinFile = 1036;
}  // namespace dump_sf

extern const DialogTemplate kDumpSf169;

}  // namespace res
