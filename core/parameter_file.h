#pragma once
// The ".data" parameter file: one line "%04X %02X%02X%02X%02X" per 32-bit word of the
// 512-byte parameter area of the information block, the byte offset and then the word's bytes
// from offset + 3 down to offset.
#include <cstdint>
#include <span>
#include <string>

constexpr size_t kParameterAreaSize = 512;
// The program writes 1920 bytes; a file beyond this bound is not a parameter file and is not read.
constexpr size_t kMaxParameterFileBytes = size_t{1} << 20;

// Reads the file into the area, which the caller has filled (with 0xFF). Lines are taken in
// file order; a line that is too short, not hexadecimal, or whose word would lie outside the
// area is skipped. Result 0 when the file was read, 2 when it cannot be opened or is no regular
// file of at most kMaxParameterFileBytes (a FIFO, a device, a huge file: the area is then
// untouched, and nothing waits or fills memory).
uint32_t LoadParameterFile(const std::string& path, std::span<uint8_t, kParameterAreaSize> area);

// The file's text for an area: 128 lines, offsets 0000 to 01FC, each ending in CR LF.
std::string ParameterFileText(std::span<const uint8_t, kParameterAreaSize> area);
// Writes that text to path through g_DataFile, replacing an earlier file whole; false when
// the file cannot be created (an earlier file then stays as it was).
bool SaveParameterFile(const std::string& path, std::span<const uint8_t, kParameterAreaSize> area);
