#pragma once
// Reading numbers out of edit-field text the way the fields' "%X" and "%d" reads take them:
// leading white space skipped, digits read as far as they go. A text that yields no number, or a
// number that does not fit in 32 bits, gives nothing, so the caller leaves its value alone.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// A hexadecimal number with an optional 0x or 0X before its digits; a lone prefix reads as the
// 0 it starts with.
std::optional<uint32_t> scanHexText(std::string_view text);
// How many digits scanHexText reads from the text, the prefix not counted.
std::size_t hexDigitsRead(std::string_view text);
// A decimal number with an optional sign, from -2147483648 to 4294967295, as its 32-bit pattern.
std::optional<uint32_t> scanDecText(std::string_view text);
