#include <gtest/gtest.h>

#include "app/globals.h"

namespace {

// The globals as the program finds them before start-up, taken while this test program
// loads (the globals are constant-initialised, so they are set before this runs and before
// any test changes them).
struct Initial {
    const char* name;
    uint32_t value;
};
const std::vector<Initial> kAtLoad = {
    {"g_bBeepSound", g_bBeepSound},
    {"g_bWarnProtect", g_bWarnProtect},
    {"g_bProtectContinue", g_bProtectContinue},
    {"g_bWarnCodeOption", g_bWarnCodeOption},
    {"g_bCodeOptionContinue", g_bCodeOptionContinue},
    {"g_nRdpLevel", g_nRdpLevel},
    {"g_nPcropType", g_nPcropType},
    {"g_dwProtectAddr", g_dwProtectAddr},
    {"g_nIspStartAddr", g_nIspStartAddr},
    {"g_bEncry", g_bEncry},
    {"g_bCodeOption", g_bCodeOption},
    {"g_nComPort", g_nComPort},
    {"g_nComBaudRate", g_nComBaudRate},
    {"g_nDelayCount", g_nDelayCount.load()},
    {"g_dwWaitMs", g_dwWaitMs},
    {"g_nFlashPageSize", g_nFlashPageSize},
    {"g_wProtectMask", g_wProtectMask},
    {"g_bInfoBlockEnable", g_bInfoBlockEnable},
    {"g_bTaskWorking", g_bTaskWorking.load()},
    {"g_bNoticeShown", g_bNoticeShown.load()},
};

// A wrong built-in value changes what a run does until the operator sets it (a beep nobody
// asked for, a protection level or type the configuration never chose).
TEST(Globals, StartWithTheirBuiltInValues) {
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"g_bBeepSound", 0},       {"g_bWarnProtect", 1},    {"g_bProtectContinue", 1},
        {"g_bWarnCodeOption", 1},  {"g_bCodeOptionContinue", 1}, {"g_nRdpLevel", 1},
        {"g_nPcropType", 2},       {"g_dwProtectAddr", 0},   {"g_nIspStartAddr", 0},
        {"g_bEncry", 1},           {"g_bCodeOption", 0},     {"g_nComPort", 0},
        {"g_nComBaudRate", 0},     {"g_nDelayCount", 0},     {"g_dwWaitMs", 20},
        {"g_nFlashPageSize", 2048}, {"g_wProtectMask", 0},   {"g_bInfoBlockEnable", 0},
        {"g_bTaskWorking", 0},     {"g_bNoticeShown", 0},
    };
    ASSERT_EQ(kAtLoad.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(kAtLoad[i].name, expected[i].first);
        EXPECT_EQ(kAtLoad[i].value, expected[i].second) << expected[i].first;
    }
}

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
        EXPECT_EQ(g_dwFlashSizeByMode[row.mode], row.size) << row.mode;
        EXPECT_EQ(g_OptionTailByMode[row.mode], row.tail) << row.mode;
    }
    for (int mode = kChipModeCount; mode < kChipTableSize; ++mode) {
        EXPECT_EQ(g_strChipName[mode], "") << mode;
        EXPECT_EQ(FlashSizeOfMode(mode), 0u) << mode;
        EXPECT_EQ(g_OptionTailByMode[mode], (std::array<uint8_t, 4>{})) << mode;
    }
}

}  // namespace
