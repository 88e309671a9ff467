#include "core/crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

TEST(Crc16, PublishedCheckValuesAndChaining) {
    const std::string_view check = "123456789";
    const auto* bytes = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(CalcCRC16(bytes, check.size(), 0xFFFF, 0), 0x29B1);
    EXPECT_EQ(CalcCRC16(bytes, check.size(), 0x0000, 0), 0x31C3);      // XMODEM
    EXPECT_EQ(CalcCRC16(bytes, check.size(), 0xFFFF, 0xFFFF), 0xD64E);  // GENIBUS
    EXPECT_EQ(CalcCRC16(bytes, 0, 0xFFFF, 0), 0xFFFF);

    const std::vector<uint8_t> data(1000, 0x5A);
    const uint16_t first = CalcCRC16(data.data(), 300, 0xFFFF, 0);
    EXPECT_EQ(CalcCRC16(data.data() + 300, 700, first, 0), CalcCRC16(data, 0xFFFF, 0));
}
