#include "core/parameter_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "core/globals.h"
#include "support/temp_config_folder.h"
#include "support/unreadable_files.h"

namespace {

using Area = std::array<uint8_t, kParameterAreaSize>;

Area filled() {
    Area area;
    area.fill(0xFF);
    return area;
}

}  // namespace

// The lines are the information-block page's "Save Data" form: offset, then the word.
TEST(ParameterFile, WordIsStoredLittleEndianAndBadLinesAreSkipped) {
    TempConfigFolder folder;
    const std::string path = folder.path() + "p.data";
    std::ofstream(path) << "0000 11223344\r\n"
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
    for (const auto& [offset, word] : {std::pair{0, 0x11223344u}, {4, 0x01020304u}, {0x1FC, 0x55667788u}})
        for (int i = 0; i < 4; ++i) expected[offset + i] = static_cast<uint8_t>(word >> (8 * i));
    EXPECT_EQ(area, expected);

    // Nothing that is no small regular file is read: no wait on a FIFO, no endless reading.
    area = filled();
    EXPECT_EQ(LoadParameterFile(folder.path() + "missing.data", area), 2u);
    EXPECT_EQ(LoadParameterFile(folder.path(), area), 2u);  // a folder
    for (const std::string& name : MakeUnreadableFiles(folder.path(), ".data"))
        EXPECT_EQ(LoadParameterFile(folder.path() + name, area), 2u) << name;
    EXPECT_EQ(area, filled());
}

// Save writes what Load reads back: 128 CRLF lines, the offset and the word most significant
// byte first. An unwritable place is refused and the earlier file stays whole.
TEST(ParameterFile, SaveWritesEveryWordAndLoadRestoresIt) {
    TempConfigFolder folder;
    Area area;
    for (size_t i = 0; i < area.size(); ++i) area[i] = static_cast<uint8_t>(i * 5 + 1);
    area[4] = 0x01, area[5] = 0x02, area[6] = 0x03, area[7] = 0x04;
    const std::string path = folder.path() + "saved.data";
    ASSERT_TRUE(SaveParameterFile(path, area));

    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text.size(), 128u * 15);
    EXPECT_EQ(text.substr(0, 30), "0000 100B0601\r\n0004 04030201\r\n");
    EXPECT_EQ(text.substr(text.size() - 15), "01FC FCF7F2ED\r\n");

    Area loaded = filled();
    EXPECT_EQ(LoadParameterFile(path, loaded), 0u);
    EXPECT_EQ(loaded, area);

    EXPECT_FALSE(SaveParameterFile(folder.path() + "no-such-folder/x.data", area));
    EXPECT_FALSE(SaveParameterFile(folder.path(), area));
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()), text);

    // Every save, done or refused, closes the stream and leaves no temporary file behind.
    EXPECT_EQ(g_DataFile, nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}
