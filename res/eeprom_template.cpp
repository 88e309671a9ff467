#include "res/eeprom_template.h"

namespace res {

// A child page without caption; the list is the page's own report list.
const DialogTemplate kEepromPage138 = {138, "", {"Tahoma", 8}, 250, 200, {
    {kNoId, Ctl::Static, "Select Eeprom Data :", {6, 7, 70, 8}},
    {kIdcEepromFile, Ctl::ComboBox, "", {78, 5, 90, 80}},
    {kNoId, Ctl::Static, "Data size :", {6, 23, 40, 8}},
    {kIdcEepromDataSize, Ctl::ComboBox, "", {48, 21, 50, 40}},
    {kNoId, Ctl::Static, "Start Address : 0x", {110, 23, 62, 8}},
    {kIdcEepromStartAddr, Ctl::Edit, "", {174, 21, 44, 12}, kRight},
    {kIdcEepromList, Ctl::Custom, "", {6, 38, 238, 132}},
    {kIdcEepromAdd, Ctl::Button, "Add", {6, 176, 31, 14}},
    {kIdcEepromInsert, Ctl::Button, "Insert", {40, 176, 31, 14}},
    {kIdcEepromDelete, Ctl::Button, "Delete", {74, 176, 31, 14}},
    {kIdcEepromSave, Ctl::Button, "Save", {108, 176, 31, 14}},
    {kIdcEepromRead, Ctl::Button, "Read", {142, 176, 31, 14}},
    {kIdcEepromWrite, Ctl::Button, "Write", {176, 176, 31, 14}},
    {kIdcEepromErase, Ctl::Button, "Erase", {210, 176, 31, 14}},
}};

const DialogTemplate kPageErase134 = {134, "Page Erase", {"Tahoma", 8}, 170, 70, {
    {kNoId, Ctl::Static, "From Page:", {8, 10, 44, 8}},
    {kIdcPageEraseFrom, Ctl::Edit, "", {54, 8, 50, 12}},
    {kNoId, Ctl::Static, "Page Count:", {8, 28, 44, 8}},
    {kIdcPageEraseCount, Ctl::Edit, "", {54, 26, 50, 12}},
    {kNoId, Ctl::Static, "Byte :", {8, 48, 24, 8}},
    {kIdcPageEraseFirstByte, Ctl::Static, "0x00000", {34, 48, 60, 8}},
    {kIdcPageEraseLastByte, Ctl::Static, "0xFFFFF", {98, 48, 60, 8}},
    {1, Ctl::DefButton, "OK", {114, 7, 50, 14}},
    {2, Ctl::Button, "Cancel", {114, 25, 50, 14}},
}};

}  // namespace res
