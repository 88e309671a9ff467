#include "app/crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

std::span<const uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

TEST(Crc16, PublishedCheckValuesAndTableEntries) {
    EXPECT_EQ(CalcCRC16(bytes("123456789"), 0xFFFF, 0), 0x29B1);
    EXPECT_EQ(CalcCRC16(bytes("123456789"), 0x0000, 0), 0x31C3);      // XMODEM
    EXPECT_EQ(CalcCRC16(bytes("123456789"), 0xFFFF, 0xFFFF), 0xD64E);  // GENIBUS
    EXPECT_EQ(CalcCRC16(bytes(""), 0xFFFF, 0), 0xFFFF);
    EXPECT_EQ(g_Crc16Table[1], 0x1021);
    EXPECT_EQ(g_Crc16Table[255], 0x1EF0);
}

TEST(Crc16, ChainsAcrossPieces) {
    const std::vector<uint8_t> data(1000, 0x5A);
    const uint16_t whole = CalcCRC16(data, 0xFFFF, 0);
    const uint16_t first = CalcCRC16(data.data(), 300, 0xFFFF, 0);
    EXPECT_EQ(CalcCRC16(data.data() + 300, 700, first, 0), whole);
}
