#include "core/validators.h"

#include <cctype>

#include "platform/hex_digits.h"

namespace {

constexpr uint64_t kAbove32Bits = 0x100000000;

// The value of the text's leading digits; a value beyond 32 bits stays above every limit
// instead of wrapping round to a small number.
uint64_t leadingValue(std::string_view text, int base) {
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = base == 16 ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value >= kAbove32Bits) return kAbove32Bits;
    }
    return value;
}

struct FlashGeometry {
    uint32_t pageSize, tailAddr, blockSize;
};

FlashGeometry geometryOf(uint8_t mode) {
    switch (mode) {
    case 2:
    case 5: return {256, 0x3FF8, 0x4000};
    case 3: return {256, 0x0FF8, 0x4000};
    case 4:
    case 6: return {256, 0x1FF8, 0x4000};
    case 7:
    case 13: return {512, 0xBFF8, 0xC000};
    case 8: return {512, 0x7FF8, 0xC000};
    case 9: return {512, 0x1FF8, 0x4000};
    case 10: return {512, 0x0FF8, 0x4000};
    case 11: return {1024, 0x3FF8, 0x4000};
    case 12: return {1024, 0x1FF8, 0x4000};
    default: return {512, 0x3FF8, 0x4000};
    }
}

}  // namespace

std::string CheckedText(const std::string& text) {
    if (text.empty()) return "0";
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

uint32_t CheckHexString(const std::string& text, uint32_t limit) {
    // "%X" reads an optional 0x or 0X before the digits.
    const std::string_view digits = skipHexPrefix(text);
    // The value is that of the leading hexadecimal digits, so leading digits already above the
    // limit give 2 even when a bad character follows them.
    const uint64_t value = leadingValue(digits, 16);
    for (const char c : digits) {
        if (hexDigitValue(c) < 0) return 1;
        if (value > limit) return 2;
    }
    return 0;
}

uint32_t CheckDecString(const std::string& text, uint32_t limit) {
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 1;
    return leadingValue(text, 10) > limit ? 2 : 0;
}

uint32_t CheckDecNumber(const std::string& text, uint32_t limit) {
    return CheckDecString(text, limit);
}

uint32_t CheckTextString(const std::string& text, uint32_t limit) {
    // The length is tested after each accepted character, as CheckHexString tests the value:
    // an over-long text gives 2 even when a bad character comes later.
    for (const char c : text) {
        if (c < '0' || c > '~') return 1;
        if (text.size() > limit) return 2;
    }
    return 0;
}

uint32_t GetFlashPageSize(uint8_t mode) { return geometryOf(mode).pageSize; }
uint32_t GetFlashTailAddr(uint8_t mode) { return geometryOf(mode).tailAddr; }
uint32_t GetFlashBlockSize(uint8_t mode) { return geometryOf(mode).blockSize; }
