#include "platform/text_lines.h"

#include <cstring>

namespace platform {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

EditedText splitEditedText(const std::string& text) {
    EditedText edited;
    edited.byteOrderMark = text.rfind(kUtf8ByteOrderMark, 0) == 0;
    size_t start = edited.byteOrderMark ? std::strlen(kUtf8ByteOrderMark) : 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        edited.lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return edited;
}

}  // namespace platform
