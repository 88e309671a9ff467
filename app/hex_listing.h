#pragma once
// The text dumps' listing: one line per 16 bytes, "%08xh : " with the line's first byte address,
// then each byte as two upper-case digits separated by blanks, ending with CR LF.
#include <cstdint>
#include <span>
#include <string>

constexpr uint32_t kHexListingBytesPerLine = 16;

// One line for the bytes at address (up to 16 of them).
std::string HexListingLine(uint32_t address, std::span<const uint8_t> bytes);
