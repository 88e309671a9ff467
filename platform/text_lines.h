#pragma once
#include <string>
#include <vector>

namespace platform {

// The lines of a text file's contents, without their ends: CR LF and LF both end a line.
std::vector<std::string> splitLines(const std::string& text);

// A settings file as a person's editor may have left it: a leading UTF-8 byte-order mark is
// set apart, and CR LF, LF and a lone CR each end a line.
struct EditedText {
    bool byteOrderMark = false;
    std::vector<std::string> lines;
};
EditedText splitEditedText(const std::string& text);

// The UTF-8 byte-order mark some editors put before a file's first line.
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace platform
