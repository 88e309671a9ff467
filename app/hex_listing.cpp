#include "app/hex_listing.h"

#include "platform/strfmt.h"

std::string HexListingLine(uint32_t address, std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = strfmt("%08xh : ", address);
    for (size_t i = 0; i < bytes.size() && i < kHexListingBytesPerLine; ++i) {
        if (i > 0) line += ' ';
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
    }
    line += "\r\n";
    return line;
}
