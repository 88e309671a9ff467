#include "res/info_blk1_template.h"

namespace res {

// A child page: the 512-byte grid with the four operations beside it.
const DialogTemplate kInfoBlk1Page136 = {136, "", {"Tahoma", 8}, 360, 310, {
    {kIdcInfo1Grid, Ctl::Custom, "", {6, 6, 290, 298}},
    {kIdcInfo1Read, Ctl::Button, "Read", {304, 10, 50, 14}},
    {kIdcInfo1Write, Ctl::Button, "Write", {304, 30, 50, 14}},
    {kIdcInfo1Erase, Ctl::Button, "Erase", {304, 50, 50, 14}},
    {kIdcInfo1Reset, Ctl::Button, "Reset", {304, 70, 50, 14}},
}};

}  // namespace res
