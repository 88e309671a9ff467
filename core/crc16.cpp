#include "core/crc16.h"

namespace {

constexpr std::array<uint16_t, 256> makeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
        }
        table[i] = reg;
    }
    return table;
}

}  // namespace

const std::array<uint16_t, 256> g_Crc16Table = makeTable();

uint16_t CalcCRC16(const uint8_t* data, size_t length, uint16_t initial, uint16_t finalXor) {
    uint16_t reg = initial;
    for (size_t i = 0; i < length; ++i) {
        reg = static_cast<uint16_t>(g_Crc16Table[(data[i] ^ (reg >> 8)) & 0xFF] ^ (reg << 8));
    }
    return static_cast<uint16_t>(reg ^ finalXor);
}

uint16_t CalcCRC16(std::span<const uint8_t> data, uint16_t initial, uint16_t finalXor) {
    return CalcCRC16(data.data(), data.size(), initial, finalXor);
}
