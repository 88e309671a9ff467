#include "sfpage/byte_log.h"

#include "core/globals.h"
#include "platform/strfmt.h"

std::string BytesLineText(std::span<const uint8_t> bytes) {
    std::string line;
    for (uint8_t byte : bytes) line += strfmt(" %02X", byte);
    return line;
}

void ByteLogFile::write(const std::string& text) {
    if (g_bTaskWorking && stream_.is_open()) stream_ << text;
}
