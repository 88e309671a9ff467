#include "app/parameter_file.h"

#include <array>
#include <fstream>
#include <gtest/gtest.h>

#include "platform/strfmt.h"
#include "support/temp_config_folder.h"

namespace {

using Area = std::array<uint8_t, kParameterAreaSize>;

Area filled() {
    Area area;
    area.fill(0xFF);
    return area;
}

// The information-block page's "Save Data" form.
std::string savedForm(const Area& area) {
    std::string text;
    for (size_t offset = 0; offset < area.size(); offset += 4)
        text += strfmt("%04X %02X%02X%02X%02X\r\n", static_cast<unsigned>(offset), area[offset + 3],
                       area[offset + 2], area[offset + 1], area[offset]);
    return text;
}

}  // namespace

TEST(ParameterFile, SavedAreaReadsBackByteForByte) {
    TempConfigFolder folder;
    Area original;
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::string path = folder.path() + "default.data";
    std::ofstream(path) << savedForm(original);
    Area area = filled();
    EXPECT_EQ(LoadParameterFile(path, area), 0u);
    EXPECT_EQ(area, original);
}

TEST(ParameterFile, WordIsStoredLittleEndianAndBadLinesAreSkipped) {
    TempConfigFolder folder;
    const std::string path = folder.path() + "p.data";
    std::ofstream(path) << "0000 11223344\n"
                           "0004 aabbccdd\n"  // lower case reads alike
                           "0004-01020304\n"  // later line wins; the separator is not looked at
                           "0008 1122334\n"   // too short
                           "000C 1122334G\n"  // not hexadecimal
                           "00G0 11223344\n"
                           "01FD 11223344\n"  // would reach past the area
                           "0200 11223344\n"
                           "FFFF 11223344\n"
                           "01FC 55667788 trailing text\n"
                           "\n";
    Area area = filled();
    EXPECT_EQ(LoadParameterFile(path, area), 0u);
    Area expected = filled();
    const uint8_t written[][2] = {{0, 0x44}, {1, 0x33}, {2, 0x22}, {3, 0x11},
                                  {4, 0x04}, {5, 0x03}, {6, 0x02}, {7, 0x01}};
    for (const auto& [offset, value] : written) expected[offset] = value;
    expected[0x1FC] = 0x88;
    expected[0x1FD] = 0x77;
    expected[0x1FE] = 0x66;
    expected[0x1FF] = 0x55;
    EXPECT_EQ(area, expected);
}

TEST(ParameterFile, UnopenablePathLeavesTheAreaAlone) {
    TempConfigFolder folder;
    Area area = filled();
    EXPECT_EQ(LoadParameterFile(folder.path() + "missing.data", area), 2u);
    EXPECT_EQ(LoadParameterFile(folder.path(), area), 2u);  // a folder
    EXPECT_EQ(area, filled());
}
