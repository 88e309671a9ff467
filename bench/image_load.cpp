// Loading a firmware image as the IC page does: a 16 MB binary read into the 0xFF-filled
// buffer and checksummed over its whole size, a 64 KB binary for a 64 KB chip model with the
// heap it takes at its peak, and a 16 MB image converted from Intel HEX.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/hex_image.h"
#include "core/hex_converter.h"
#include "core/image_loader.h"

// Heap bytes in use and their peak, counted by the program's allocations.
std::atomic<size_t> g_heapInUse{0};
std::atomic<size_t> g_heapPeak{0};

void* operator new(size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    const size_t inUse = g_heapInUse += malloc_usable_size(block);
    size_t peak = g_heapPeak;
    while (inUse > peak && !g_heapPeak.compare_exchange_weak(peak, inUse)) {
    }
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    g_heapInUse -= malloc_usable_size(block);
    std::free(block);
}
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, size_t) noexcept { operator delete(block); }
void operator delete[](void* block, size_t) noexcept { operator delete(block); }

namespace {

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

void LoadBin64KBFor64KBFlash(benchmark::State& state) {
    const std::string path = tempPath("swd-bench-image-64k.bin");
    std::ofstream(path, std::ios::binary) << std::string(0x10000, '\x5A');
    size_t heap = 0;
    for (auto _ : state) {
        g_heapPeak = g_heapInUse.load();
        const size_t before = g_heapInUse;
        const ImageFileLoad load = LoadImageFile(path, 0x10000);
        if (load.outcome != ImageLoadOutcome::Loaded) state.SkipWithError(load.error.c_str());
        heap = g_heapPeak - before;
    }
    std::filesystem::remove(path);
    state.counters["peak_heap_bytes"] = static_cast<double>(heap);
}
BENCHMARK(LoadBin64KBFor64KBFlash)->Unit(benchmark::kMicrosecond);

void ConvertHex16MB(benchmark::State& state) {
    const std::string text = HexImageText();
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
    WriteHexImage(hex);
    for (auto _ : state) {
        if (!ConvertHexToBin(hex, bin).ok) state.SkipWithError("conversion failed");
    }
    std::filesystem::remove(hex);
    std::filesystem::remove(bin);
}
BENCHMARK(ConvertHexFile16MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
