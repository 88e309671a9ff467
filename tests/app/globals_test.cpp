#include <gtest/gtest.h>

#include "app/globals.h"

namespace {

// The option tail goes to the target as it stands; no other test holds these bytes.
TEST(Globals, ChipModelTable) {
    EXPECT_EQ(g_strVersion, "1.09");
    const struct { int mode; const char* name; uint32_t size; std::array<uint8_t, 4> tail; } rows[] = {
        {0, "RQ45N064", 0x10000, {0xFF, 0x0E, 0, 0}},     {1, "RQ45N032", 0x8000, {0xFF, 0x04, 0, 0}},
        {2, "RQ27K316", 0x4000, {0xFF, 0x0E, 0, 0}},      {3, "RQ23K204", 0x1000, {0xFF, 0x06, 0x04, 0x02}},
        {4, "RQ27K208", 0x2000, {0xFF, 0x06, 0x04, 0x02}}, {5, "RQ23K216", 0x4000, {0xFF, 0x06, 0x04, 0x03}},
        {6, "RQ23K208", 0x2000, {0xFF, 0x06, 0x04, 0x03}}, {7, "RQ27K348", 0xC000, {0xFF, 0x06, 0x04, 0x02}},
        {8, "RQ27K332", 0x8000, {0xFF, 0x04, 0, 0}},      {9, "RQ23K208S", 0x2000, {0xFF, 0x06, 0x04, 0x02}},
        {10, "RQ23K204S", 0x1000, {0xFF, 0x04, 0, 0}},    {11, "RQ27K216S", 0x4000, {0, 0, 0, 0}},
        {12, "RQ27K208S", 0x2000, {0, 0, 0, 0}},          {13, "RQ84M302", 0xC000, {0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(g_strChipName[row.mode], row.name) << row.mode;
        EXPECT_EQ(FlashSizeOfMode(row.mode), row.size) << row.mode;
        EXPECT_EQ(g_OptionTailByMode[row.mode], row.tail) << row.mode;
    }
    for (int mode = kChipModeCount; mode < kChipTableSize + 5; ++mode) EXPECT_EQ(FlashSizeOfMode(mode), 0u) << mode;
}

}  // namespace
