#include "core/image_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <vector>

#include "core/crc16.h"
#include "core/hex_converter.h"
#include "platform/strfmt.h"

namespace {

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

BinImage ReadBinImage(const std::string& path, uint32_t flashSize) {
    BinImage image;
    BinImageInfo& info = image.info;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        info.error = strfmt("File : %s could not be opened!!!", path.c_str());
        return image;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(kImageBufferSize, 0xFF);
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        info.error = strfmt("Error allocating data buffer memory for %d  bytes\n",
                            static_cast<int>(kImageBufferSize));
        info.icon = platform::MsgIcon::None;
        return image;
    }
    const size_t read = std::fread(buffer.data(), 1, buffer.size(), file);
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    std::fclose(file);
    info.fileSize = end > 0 ? static_cast<uint64_t>(end) : 0;

    if (info.fileSize > flashSize) {
        info.error = strfmt("File size more than %X", flashSize);
        info.oversized = true;
        return image;
    }
    info.crc = CalcCRC16(buffer.data(), std::min(flashSize, kImageBufferSize), 0xFFFF, 0);
    image.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read));
    for (uint8_t byte : image.bytes) info.byteSum += byte;
    info.ok = true;
    return image;
}

BinImageInfo LoadBinImage(const std::string& path, uint32_t flashSize) {
    return ReadBinImage(path, flashSize).info;
}

ImageFileLoad LoadImageFile(const std::string& chosenPath, uint32_t flashSize) {
    ImageFileLoad load;
    load.chosenPath = chosenPath;
    load.extension = lowerExtension(chosenPath);
    std::string binPath;
    if (load.extension == "hex") {
        binPath = BinPathBesideHex(chosenPath);
        const HexConversion conversion = ConvertHexToBin(chosenPath, binPath);
        if (!conversion.ok) {
            load.error = conversion.error;
            return load;
        }
    } else if (load.extension == "bin") {
        binPath = chosenPath;
    } else {
        load.outcome = ImageLoadOutcome::NotAnImage;
        return load;
    }

    const BinImageInfo info = LoadBinImage(binPath, flashSize);
    if (!info.ok) {
        load.error = info.error;
        load.icon = info.icon;
        if (info.oversized) {
            load.outcome = ImageLoadOutcome::Oversized;
            load.imagePath = binPath;
        }
        return load;
    }
    load.outcome = ImageLoadOutcome::Loaded;
    load.imagePath = binPath;
    load.sizeText = strfmt("%d", static_cast<int>(info.fileSize));
    load.crcText = strfmt("%04X", info.crc);
    load.byteSum = info.byteSum;
    return load;
}
