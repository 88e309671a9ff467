#pragma once
// CRC-16 of images, information blocks and the adapter's configuration block: polynomial
// 0x1021, most significant bit first, no reflection. Every caller passes 0xFFFF and 0, which
// makes it the common CRC-16/CCITT-FALSE.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Entry i is the CRC of the byte i (entry 1 is 0x1021, entry 255 is 0x1EF0).
extern const std::array<uint16_t, 256> g_Crc16Table;

uint16_t CalcCRC16(const uint8_t* data, size_t length, uint16_t initial, uint16_t finalXor);
uint16_t CalcCRC16(std::span<const uint8_t> data, uint16_t initial, uint16_t finalXor);
