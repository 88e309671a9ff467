#pragma once
// Intel HEX to binary. The binary starts at address 0 (gaps and everything below the first
// record are 0x00) and ends at the highest address a data record reaches. Malformed input
// is refused with a message naming its line; the converter never reads past its input nor
// writes past the 16 MB image buffer.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Largest image the program handles: the size of its image buffers.
constexpr uint32_t kImageBufferSize = 0x1000000;

struct HexConversion {
    bool ok = false;
    std::string error;           // the message to show when ok is false
    std::vector<uint8_t> image;  // address 0 up to the highest end of any data record
};

// Converts HEX text. Addresses of type 04 records are taken relative to the first extended
// linear address seen, so an image linked in any 64 KB window (or spanning several) starts
// at offset 0. A text without an end-of-file record ends at its end.
HexConversion ConvertHexText(std::string_view text);

// Reads hexPath, converts it and, only when the conversion succeeded, writes the binary
// to binPath.
HexConversion ConvertHexToBin(const std::string& hexPath, const std::string& binPath);

// binPath for a HEX file: the same folder and name with ".bin" in place of the extension.
std::string BinPathBesideHex(const std::string& hexPath);
