#include "res/menu.h"

namespace res {

const MenuTemplate kMenu129 = {129, {
    {"ISP_IC", 32771, {}},
    {"ISP_SF", 32780, {}},
    {"EEPROM", 32778, {}},
    {"Info. Blk1", 32776, {}},
    {"EEPROM", 32777, {}},
    {"Security/Boot Data", 32787, {}},
    {"Config.", 32772, {}},
    {"Help", 0, {
        {"About SWD ISP", 32782, {}},
        {"Vosk Firmware Ver.", 32783, {}},
        {"Read CRC", 32785, {}},
    }},
}};

}  // namespace res
