// Loading a firmware image as the IC page does: a 16 MB binary read into the 0xFF-filled
// buffer and checksummed over its whole size, and a 16 MB image converted from Intel HEX.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/hex_converter.h"
#include "core/image_loader.h"
#include "platform/strfmt.h"

namespace {

// A 16 MB image in 16-byte records with a type 04 record before every 64 KB window.
std::string hexImage() {
    std::string text;
    text.reserve(46u << 20);
    for (uint32_t address = 0; address < kImageBufferSize; address += 16) {
        if ((address & 0xFFFF) == 0) {
            const unsigned upper = address >> 16;
            text += strfmt(":02000004%04X%02X\n", upper,
                           (0x100 - ((2 + 4 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::string line = strfmt(":10%04X00", address & 0xFFFF);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned byte = (address + i * 7) & 0xFF;
            line += strfmt("%02X", byte);
            sum += byte;
        }
        text += line + strfmt("%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    return text + ":00000001FF\n";
}

std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

void LoadAndChecksum16MB(benchmark::State& state) {
    const std::string path = tempPath("swd-bench-image.bin");
    std::ofstream(path, std::ios::binary) << std::string(kImageBufferSize, '\x5A');
    for (auto _ : state) {
        const BinImageInfo info = LoadBinImage(path, kImageBufferSize);
        if (!info.ok) state.SkipWithError(info.error.c_str());
        benchmark::DoNotOptimize(info.crc);
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * int64_t{kImageBufferSize});
}
BENCHMARK(LoadAndChecksum16MB)->Unit(benchmark::kMillisecond);

void ConvertHex16MB(benchmark::State& state) {
    const std::string text = hexImage();
    for (auto _ : state) {
        const HexConversion result = ConvertHexText(text);
        if (!result.ok || result.image.size() != kImageBufferSize) {
            state.SkipWithError("conversion failed");
        }
        benchmark::DoNotOptimize(result.image.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kImageBufferSize});
}
BENCHMARK(ConvertHex16MB)->Unit(benchmark::kMillisecond);

void ConvertHexFile16MB(benchmark::State& state) {
    const std::string hex = tempPath("swd-bench-image.hex");
    const std::string bin = tempPath("swd-bench-image-out.bin");
    std::ofstream(hex, std::ios::binary) << hexImage();
    for (auto _ : state) {
        if (!ConvertHexToBin(hex, bin).ok) state.SkipWithError("conversion failed");
    }
    std::filesystem::remove(hex);
    std::filesystem::remove(bin);
}
BENCHMARK(ConvertHexFile16MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
