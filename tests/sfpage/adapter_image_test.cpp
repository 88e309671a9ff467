#include "sfpage/adapter_image.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Bytes = std::vector<uint8_t>;

// The block fields each case sets; every other byte past the file must be 0xFF. The page's
// Auto. tests cover a plain image, the limited quantity and serial numbers in EEPROM.
TEST(AdapterImage, BlockFieldsAndLength) {
    const struct {
        const char* name;
        size_t fileSize;
        AdapterImageSettings settings;
        size_t length;
        std::map<uint32_t, Bytes> fields;
    } cases[] = {
        {"whole flash, mode 1", 0x10000, {.chipMode = 1}, 0x10600, {{0x10000, {0xFF, 0xFF, 0xEF, 0xBE}}, {0x10103, {0x01}}}},
        {"option words and parameters", 100,
         {.options = AdapterOptionFields{true, false, {0x11223344, 0xFFFF0000}, std::array<uint8_t, 512>{0x5A}}},
         0x10D00,
         {{0x10000, {0x63, 0x00, 0xEF, 0xBE}}, {0x10004, {0xAA}}, {0x10103, {0x00}},
          {0x10510, {0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0xFF, 0xFF}}, {0x10518, Bytes(14 * 4, 0)},
          {0x10B00, {0x5A}}, {0x10B01, Bytes(511, 0)}}},
        {"serial in main code, address keeps 24 bits", 100,
         {.serialEnable = true, .serialAddr = 0xAB345678, .lastSerial = 7}, 0x13100,
         {{0x10000, {0x63, 0x00, 0xEF, 0xBE}}, {0x10103, {0x00}}, {0x10104, {0x78, 0x56, 0x34, 0x00}}, {0x13000, {7, 0, 0, 0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file(c.fileSize);
        for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + 1);
        Bytes expected(c.length, 0xFF);
        std::copy(file.begin(), file.end(), expected.begin());
        for (const auto& [offset, bytes] : c.fields) std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
        EXPECT_EQ(BuildAdapterImage(file, 0xBEEF, c.settings), expected);
    }
}

// An empty file's length - 1 would read as 65536, and a longer file would run into the block.
TEST(AdapterImage, RefusesEmptyFilesAndFilesReachingTheBlock) {
    for (size_t size : {size_t{0}, size_t{0x10001}}) EXPECT_TRUE(BuildAdapterImage(Bytes(size, 0), 0, {}).empty());
}

}  // namespace
