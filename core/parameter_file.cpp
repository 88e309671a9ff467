#include "core/parameter_file.h"

#include "core/globals.h"
#include "platform/durable_file.h"
#include "platform/hex_digits.h"
#include "platform/strfmt.h"
#include "platform/text_lines.h"

namespace {

constexpr size_t kOffsetDigits = 4;
constexpr size_t kWordStart = 5;  // the character between offset and word is not looked at
constexpr size_t kWordDigits = 8;

}  // namespace

uint32_t LoadParameterFile(const std::string& path, std::span<uint8_t, kParameterAreaSize> area) {
    std::string contents;
    if (platform::readWholeFile(path, contents, kMaxParameterFileBytes) != 0) return 2;
    for (const std::string& line : platform::splitLines(contents)) {
        if (line.size() < kWordStart + kWordDigits) continue;
        const std::string_view text(line);
        const auto offset = hexField(text.substr(0, kOffsetDigits));
        const auto word = hexField(text.substr(kWordStart, kWordDigits));
        if (!offset || !word || *offset + 4 > kParameterAreaSize) continue;
        // The word is written most significant byte first and stored little-endian.
        for (uint32_t i = 0; i < 4; ++i) area[*offset + i] = static_cast<uint8_t>(*word >> (8 * i));
    }
    return 0;
}

std::string ParameterFileText(std::span<const uint8_t, kParameterAreaSize> area) {
    std::string text;
    for (size_t offset = 0; offset < kParameterAreaSize; offset += 4) {
        text += strfmt("%04X %02X%02X%02X%02X\r\n", static_cast<unsigned>(offset), area[offset + 3],
                       area[offset + 2], area[offset + 1], area[offset]);
    }
    return text;
}

bool SaveParameterFile(const std::string& path, std::span<const uint8_t, kParameterAreaSize> area) {
    const std::string text = ParameterFileText(area);
    g_DataFile = std::make_unique<platform::DurableWriter>(path);
    const bool saved = g_DataFile->writeAt(0, std::as_bytes(std::span(text))) && g_DataFile->commit();
    g_DataFile.reset();
    return saved;
}
