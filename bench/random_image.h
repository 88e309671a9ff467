#pragma once
// The benchmarks' firmware image: bytes from a fixed seed, so every run burns the same image,
// written to path.
#include <fstream>
#include <random>
#include <string>
#include <vector>

inline std::vector<char> WriteRandomImage(const std::string& path, size_t size) {
    std::vector<char> image(size);
    std::mt19937 random(1);
    for (char& byte : image) byte = static_cast<char>(random());
    std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    return image;
}
