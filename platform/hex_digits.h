#pragma once
// Reading hexadecimal text written by the program's own files and typed into its fields.
#include <cstdint>
#include <optional>
#include <string_view>

// The value of one hexadecimal digit of either case; -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The text after an optional 0x or 0X, the prefix that "%X" takes before the digits.
constexpr std::string_view skipHexPrefix(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    return text;
}

// The number that a field of up to eight hexadecimal digits spells; nothing when any
// character of it is not a digit.
constexpr std::optional<uint32_t> hexField(std::string_view digits) {
    uint32_t value = 0;
    for (const char c : digits) {
        if (hexDigitValue(c) < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(hexDigitValue(c));
    }
    return value;
}
