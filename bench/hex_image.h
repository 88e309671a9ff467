#pragma once
// The benchmarks' 16 MB image as Intel HEX: 16-byte records with a type 04 record before every
// 64 KB window, handed out a line at a time so a file of it is written without holding it.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "core/hex_converter.h"

template <typename Out>
void ForEachHexImageLine(Out out) {
    char line[64];
    for (uint32_t address = 0; address < kImageBufferSize; address += 16) {
        if ((address & 0xFFFF) == 0) {
            const unsigned upper = address >> 16;
            const unsigned sum = 2 + 4 + (upper >> 8) + (upper & 0xFF);
            out(std::string_view(line, static_cast<size_t>(std::snprintf(line, sizeof line, ":02000004%04X%02X\n",
                                                                         upper, (0x100 - (sum & 0xFF)) & 0xFF))));
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        int at = std::snprintf(line, sizeof line, ":10%04X00", address & 0xFFFF);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned byte = (address + i * 7) & 0xFF;
            at += std::snprintf(line + at, sizeof line - static_cast<size_t>(at), "%02X", byte);
            sum += byte;
        }
        at += std::snprintf(line + at, sizeof line - static_cast<size_t>(at), "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out(std::string_view(line, static_cast<size_t>(at)));
    }
    out(std::string_view(":00000001FF\n"));
}

inline std::string HexImageText() {
    std::string text;
    text.reserve(46u << 20);
    ForEachHexImageLine([&](std::string_view line) { text += line; });
    return text;
}

inline void WriteHexImage(const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    ForEachHexImageLine([&](std::string_view line) { file.write(line.data(), static_cast<std::streamsize>(line.size())); });
}
