#include "res/vosk_ver_template.h"

namespace res::vosk_ver {

const DialogTemplate kVoskVer171 = {171, "SWD Vosk Version", {"Tahoma", 10}, 160, 72, {
    {kNoId, Ctl::Static, "SWD Vosk Firmware Version :", {8, 8, 140, 8}},
    {kNoId, Ctl::Static, "Main", {8, 22, 60, 8}},
    {kNoId, Ctl::Static, "Sub", {80, 22, 60, 8}},
    {kMainVersion, Ctl::Edit, "", {8, 32, 60, 12}, kReadOnly},
    {kSubVersion, Ctl::Edit, "", {80, 32, 72, 12}, kReadOnly},
    {1, Ctl::DefButton, "Close", {55, 52, 50, 14}},
}};

}  // namespace res::vosk_ver
