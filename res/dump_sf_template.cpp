#include "res/dump_sf_template.h"

namespace res {

using namespace dump_sf;

const DialogTemplate kDumpSf169 = {169, "Dump Serial Flash", {"Tahoma", 9}, 190, 112, {
    {kNoId, Ctl::Static, "From Page:", {10, 12, 40, 8}},
    {kIdcFromPage, Ctl::Edit, "", {52, 10, 40, 12}},
    {kNoId, Ctl::Static, "Page Count:", {10, 30, 40, 8}},
    {kIdcPageCount, Ctl::Edit, "", {52, 28, 40, 12}},
    {kNoId, Ctl::Static, "Byte :", {10, 48, 24, 8}},
    {kIdcFirstByte, Ctl::Static, "0x00000", {36, 48, 60, 8}},
    {kIdcLastByte, Ctl::Static, "0xFFFFF", {100, 48, 80, 8}},
    {kNoId, Ctl::GroupBox, "Dump File Type", {104, 6, 76, 38}},
    {kIdcTxtFile, Ctl::Radio, "Txt file", {112, 17, 60, 10}},
    {kIdcBinFile, Ctl::Radio, "Bin file", {112, 29, 60, 10}},
    {kIdcProgress, Ctl::Progress, "", {10, 62, 170, 8}, kHidden},
    {kIdcExecute, Ctl::Button, "Excute", {10, 80, 50, 14}},
    {kIdcCancel, Ctl::Button, "Cancel", {70, 80, 50, 14}, kDisabled},
    {kIdcClose, Ctl::DefButton, "Close", {130, 80, 50, 14}},
}};

}  // namespace res
