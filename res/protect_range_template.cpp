#include "res/protect_range_template.h"

namespace res::protect_range {

const DialogTemplate kProtectRange175 = {175, "Protect Range", {"Tahoma", 10}, 170, 226, {
    {1146, Ctl::CheckBox, "Protect Address 0x00000-0x01000", {12, 8, 150, 10}},
    {1147, Ctl::CheckBox, "Protect Address 0x01000-0x02000", {12, 20, 150, 10}},
    {1148, Ctl::CheckBox, "Protect Address 0x02000-0x03000", {12, 32, 150, 10}},
    {1149, Ctl::CheckBox, "Protect Address 0x03000-0x04000", {12, 44, 150, 10}},
    {1150, Ctl::CheckBox, "Protect Address 0x04000-0x05000", {12, 56, 150, 10}},
    {1151, Ctl::CheckBox, "Protect Address 0x05000-0x06000", {12, 68, 150, 10}},
    {1152, Ctl::CheckBox, "Protect Address 0x06000-0x07000", {12, 80, 150, 10}},
    {1153, Ctl::CheckBox, "Protect Address 0x07000-0x08000", {12, 92, 150, 10}},
    {1154, Ctl::CheckBox, "Protect Address 0x08000-0x09000", {12, 104, 150, 10}},
    {1155, Ctl::CheckBox, "Protect Address 0x09000-0x0A000", {12, 116, 150, 10}},
    {1156, Ctl::CheckBox, "Protect Address 0x0A000-0x0B000", {12, 128, 150, 10}},
    {1157, Ctl::CheckBox, "Protect Address 0x0B000-0x0C000", {12, 140, 150, 10}},
    {1158, Ctl::CheckBox, "Protect Address 0x0C000-0x0D000", {12, 152, 150, 10}},
    {1159, Ctl::CheckBox, "Protect Address 0x0D000-0x0E000", {12, 164, 150, 10}},
    {1160, Ctl::CheckBox, "Protect Address 0x0E000-0x0F000", {12, 176, 150, 10}},
    {1161, Ctl::CheckBox, "Protect Address 0x0F000-0x10000", {12, 188, 150, 10}},
    {kHiddenLastBlock, Ctl::CheckBox, "Protect Address 0x0F000-0x10000", {12, 188, 150, 10}, kHidden},
    {1, Ctl::DefButton, "OK", {22, 206, 50, 14}},
    {2, Ctl::Button, "Cancel", {98, 206, 50, 14}},
}};

}  // namespace res::protect_range
