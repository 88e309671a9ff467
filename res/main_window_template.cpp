#include "res/main_window_template.h"

#include "res/icons.h"

namespace res {

const DialogTemplate kMainWindow102 = {102, "Uart_ISP", {"Tahoma", 10}, 250, 215, {
    {kIdcSeparator, Ctl::BlackFrame, "", {16, 30, 200, 3}},
    {kIdcCompactEdge, Ctl::BlackRect, "", {14, 210, 200, 1}, kHidden},
    {kIdcNotice, Ctl::Static, "Please wait for ISP finish !", {145, 194, 91, 8}, kRight},
}};

const DialogTemplate kAbout100 = {100, "About SWD ISP", {"MS Sans Serif", 8}, 235, 62, {
    {kNoId, Ctl::Icon, "", {11, 17, 20, 20}, 0, kIconApp},
    {kIdcVersionLine, Ctl::Static, "", {40, 10, 130, 8}},
    {kNoId, Ctl::Static, "Four-site in-system programmer", {40, 24, 130, 8}},
    {kNoId, Ctl::Static, "for the RQ microcontroller family", {40, 36, 130, 8}},
    {1, Ctl::DefButton, "OK", {178, 7, 50, 14}},
}};

const DialogTemplate kAbout170 = {170, "About Nubo ISP", {"MS Sans Serif", 8}, 235, 62, {
    {kNoId, Ctl::Icon, "", {11, 17, 20, 20}, 0, kIconApp},
    {kIdcVersionLine, Ctl::Static, "", {40, 10, 130, 8}},
    {kNoId, Ctl::Static, "Four-site in-system programmer", {40, 24, 130, 8}},
    {1, Ctl::DefButton, "OK", {178, 7, 50, 14}},
}};

}  // namespace res
