#include "controls/number_text.h"

#include "platform/hex_digits.h"

namespace {

// The white space that "%X" and "%d" skip: blank, tab, line ends, vertical tab and form feed.
std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r')))
        text.remove_prefix(1);
    return text;
}

// The hexadecimal digits at the start of the text.
std::string_view leadingHexDigits(std::string_view text) {
    size_t count = 0;
    while (count < text.size() && hexDigitValue(text[count]) >= 0) ++count;
    return text.substr(0, count);
}

}  // namespace

std::optional<uint32_t> scanHexText(std::string_view text) {
    text = skipBlanks(text);
    const std::string_view afterPrefix = skipHexPrefix(text);
    const std::string_view digits = leadingHexDigits(afterPrefix);
    // A prefix without digits is read as the 0 it starts with, as "%X" reads it.
    if (digits.empty()) return afterPrefix.size() != text.size() ? std::optional<uint32_t>(0) : std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        value = value * 16 + static_cast<uint64_t>(hexDigitValue(c));
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::size_t hexDigitsRead(std::string_view text) { return leadingHexDigits(skipHexPrefix(skipBlanks(text))).size(); }

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
