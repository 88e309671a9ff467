#include "core/image_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <new>
#include <span>
#include <vector>

#include "core/crc16.h"
#include "core/hex_converter.h"
#include "platform/durable_file.h"
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
    int fd = -1;
    struct stat file {};
    const int error = platform::openForReading(path, flashSize, fd, file);
    if (error == EFBIG) {
        info.fileSize = static_cast<uint64_t>(file.st_size);
        info.error = strfmt("File size more than %X", flashSize);
        info.oversized = true;
        return image;
    }
    if (error != 0) {
        info.error = error == EINVAL ? NotARegularFile(path) : CouldNotOpen(path);
        return image;
    }
    // The flash as the chip model has it: the file at its start, 0xFF after it.
    std::vector<uint8_t> flash;
    try {
        flash.assign(flashSize, 0xFF);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        info.error = strfmt("Error allocating data buffer memory for %d  bytes\n", static_cast<int>(flashSize));
        info.icon = platform::MsgIcon::None;
        return image;
    }
    size_t read = 0, beyond = 0;
    std::byte probe[1];
    int readError = platform::readInto(fd, std::as_writable_bytes(std::span(flash)), read);
    // A file that grew past the flash since it was measured is still too large.
    if (readError == 0 && read == flashSize) readError = platform::readInto(fd, probe, beyond);
    ::close(fd);
    if (readError != 0) {
        info.error = CouldNotOpen(path);
        return image;
    }
    info.fileSize = read + beyond;
    if (beyond > 0) {
        info.error = strfmt("File size more than %X", flashSize);
        info.oversized = true;
        return image;
    }
    info.crc = CalcCRC16(flash.data(), flashSize, 0xFFFF, 0);
    flash.resize(read);
    for (uint8_t byte : flash) info.byteSum += byte;
    image.bytes = std::move(flash);
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
