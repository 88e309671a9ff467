// Our HEX converter against objcopy -I ihex -O binary on a 16 MB image (46 MB of HEX text):
// wall time and peak memory of each as a process of its own, runs interleaved, the two
// binaries compared byte for byte.
//   bench_hex_convert [runs]             the paired figures
//   bench_hex_convert input.hex out.bin  our converter alone
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "bench/hex_image.h"
#include "bench/paired_runs.h"
#include "core/hex_converter.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        const HexConversion result = ConvertHexToBin(argv[1], argv[2]);
        if (!result.ok) std::fprintf(stderr, "%s\n", result.error.c_str());
        return result.ok ? 0 : 1;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    const std::string hex = dir.filePath("image.hex").toStdString();
    const std::string ours = dir.filePath("ours.bin").toStdString();
    const std::string reference = dir.filePath("objcopy.bin").toStdString();
    WriteHexImage(hex);

    PairedFigure time{"16 MB HEX to .bin", "ms", {}, {}};
    PairedFigure memory{"peak memory", "MB", {}, {}};
    for (int run = 0; run < runs; ++run) {
        const ChildRun converter = RunChild({"/proc/self/exe", hex, ours});
        const ChildRun objcopy = RunChild({"/usr/bin/objcopy", "-I", "ihex", "-O", "binary", hex, reference});
        if (!converter.succeeded || !objcopy.succeeded) {
            std::fprintf(stderr, "a conversion failed\n");
            return 1;
        }
        time.add(converter.milliseconds, objcopy.milliseconds);
        memory.add(converter.peakMegabytes, objcopy.peakMegabytes);
    }
    if (contents(ours) != contents(reference)) {
        std::fprintf(stderr, "the binaries differ\n");
        return 1;
    }
    std::printf("our converter against objcopy -I ihex -O binary, the same binary out\n");
    time.print();
    memory.print();
    return 0;
}
