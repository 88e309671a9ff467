#include "app/parameter_file.h"

#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr size_t kOffsetDigits = 4;
constexpr size_t kWordStart = 5;  // the character between offset and word is not looked at
constexpr size_t kWordDigits = 8;

std::optional<uint32_t> hexField(const std::string& line, size_t start, size_t digits) {
    uint32_t value = 0;
    for (size_t i = start; i < start + digits; ++i) {
        const char c = line[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

uint32_t LoadParameterFile(const std::string& path, std::span<uint8_t, kParameterAreaSize> area) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 2;
    std::ifstream file(path);
    if (!file) return 2;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < kWordStart + kWordDigits) continue;
        const auto offset = hexField(line, 0, kOffsetDigits);
        const auto word = hexField(line, kWordStart, kWordDigits);
        if (!offset || !word || *offset + 4 > kParameterAreaSize) continue;
        // The word is written most significant byte first and stored little-endian.
        for (uint32_t i = 0; i < 4; ++i) area[*offset + i] = static_cast<uint8_t>(*word >> (8 * i));
    }
    return 0;
}
