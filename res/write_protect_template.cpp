#include "res/write_protect_template.h"

#include "res/icons.h"

namespace res {

const DialogTemplate kWriteProtect141 = {141, "Write Protect", {"Tahoma", 8}, 230, 100, {
    {kNoId, Ctl::Icon, "", {10, 10, 20, 20}, 0, kIconWarning},
    {kIdcWriteProtectHeadline, Ctl::Static, "Warning! Very important message!", {40, 12, 180, 12}},
    {kIdcWriteProtectDeclare, Ctl::Static, "Security Declare: ", {40, 32, 180, 10}},
    {1047, Ctl::Static, "If you select this option and after finish ISP, you", {40, 44, 186, 8}},
    {1049, Ctl::Static, "will can not do any ISP action including erase and ", {40, 54, 186, 8}},
    {1050, Ctl::Static, "program.", {40, 64, 186, 8}},
    {1, Ctl::DefButton, "OK", {60, 80, 50, 14}},
    {2, Ctl::Button, "Cancel", {120, 80, 50, 14}},
}};

const DialogTemplate kPara512Dlg183 = {183, "Parameter", {"Tahoma", 8}, 300, 330, {
    {kIdcPara512Grid, Ctl::Static, "", {6, 6, 288, 298}},
    {1, Ctl::DefButton, "Close", {124, 310, 50, 14}},
}};

}  // namespace res
