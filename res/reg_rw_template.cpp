#include "res/reg_rw_template.h"

namespace res {

const DialogTemplate kRegRw188 = {188, "Read/Write Test", {"Tahoma", 8}, 220, 100, {
    {kNoId, Ctl::Static, "Select socket :", {8, 9, 52, 8}},
    {kIdcRegRwSocket, Ctl::ComboBox, "", {62, 7, 40, 60}},
    {kIdcRegRwOpenSwd, Ctl::Button, "Open SWD", {150, 6, 60, 14}},
    {kNoId, Ctl::Static, "Address", {62, 28, 60, 8}},
    {kNoId, Ctl::Static, "Value", {128, 28, 60, 8}},
    {kIdcRegRwRead, Ctl::Button, "Read", {8, 39, 48, 14}},
    {kIdcRegRwReadAddr, Ctl::Edit, "", {62, 40, 60, 12}},
    {kIdcRegRwReadValue, Ctl::Edit, "", {128, 40, 60, 12}},
    {kIdcRegRwWrite, Ctl::Button, "Write", {8, 59, 48, 14}},
    {kIdcRegRwWriteAddr, Ctl::Edit, "", {62, 60, 60, 12}},
    {kIdcRegRwWriteValue, Ctl::Edit, "", {128, 60, 60, 12}},
    {1, Ctl::DefButton, "Close", {150, 80, 60, 14}},
}};

}  // namespace res
