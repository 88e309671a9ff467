#pragma once
// Little-endian values in byte buffers, as the adapter and the targets store them.
#include <cstddef>
#include <cstdint>
#include <span>

// The count-byte (at most 4) little-endian value from bytes[at].
constexpr uint32_t LittleEndianAt(std::span<const uint8_t> bytes, size_t at, size_t count = 4) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}
