// Converts an Intel HEX file to a binary with the program's converter, so the result and
// the time can be compared with objcopy -I ihex -O binary.
//   bench_hex_convert input.hex output.bin
#include <chrono>
#include <cstdio>

#include "core/hex_converter.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s input.hex output.bin\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const HexConversion result = ConvertHexToBin(argv[1], argv[2]);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    std::printf("%zu bytes in %.1f ms\n", result.image.size(), took.count());
    return 0;
}
