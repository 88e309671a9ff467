#include "res/prompt_templates.h"

namespace res {

const DialogTemplate kStopPrompt173 = {173, "Protect Warning", {"Tahoma", 10}, 250, 100, {
    {kIdcStopIcon, Ctl::Icon, "", {10, 10, 20, 20}},
    {kIdcStopTitle, Ctl::Static, "", {40, 10, 200, 12}},
    {kIdcStopMessage, Ctl::Static, "", {40, 28, 200, 44}},
    {1, Ctl::DefButton, "OK", {100, 80, 50, 14}},
}};

const DialogTemplate kWarnPrompt174 = {174, "Warning message", {"Tahoma", 10}, 250, 115, {
    {kIdcWarnIcon, Ctl::Icon, "", {10, 10, 20, 20}},
    {kIdcWarnMessage, Ctl::Static, "", {40, 10, 200, 44}},
    {kIdcWarnPrompt, Ctl::Static, "", {40, 58, 200, 12}},
    {kIdcDontWarnAgain, Ctl::CheckBox, "Don't warning again.", {10, 78, 120, 10}},
    {1, Ctl::DefButton, "OK", {130, 95, 50, 14}},
    {2, Ctl::Button, "Abort", {190, 95, 50, 14}},
}};

}  // namespace res
