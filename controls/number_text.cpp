#include "controls/number_text.h"

#include "platform/hex_digits.h"

namespace {

std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

}  // namespace

std::optional<uint32_t> scanHexText(std::string_view text) {
    text = skipBlanks(text);
    uint64_t value = 0;
    size_t digits = 0;
    for (char c : text) {
        const int d = hexDigitValue(c);
        if (d < 0) break;
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > UINT32_MAX) return std::nullopt;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<uint32_t> scanDecText(std::string_view text) {
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const uint64_t limit = negative ? uint64_t{1} << 31 : UINT32_MAX;
    uint64_t value = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit) return std::nullopt;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<uint32_t>(negative ? 0 - value : value);
}
