#include "core/image_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <new>
#include <span>
#include <vector>

#include "core/crc16.h"
#include "core/globals.h"
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

// A chosen .hex into binPath, by the page's converter when there is one; false when it failed.
bool convertHex(const std::string& hexPath, const std::string& binPath, const HexToBinConverter& convert,
                std::string& error) {
    if (convert) return convert(hexPath, binPath) == 1;
    HexConversion conversion = ConvertHexToBin(hexPath, binPath);
    if (!conversion.ok) error = std::move(conversion.error);
    return conversion.ok;
}

}  // namespace

BinImage ReadBinImage(const std::string& path, uint32_t flashSize) {
    BinImage image;
    BinImageInfo& info = image.info;
    int fd = -1;
    struct stat file {};
    const auto oversized = [&](uint64_t fileSize) {
        info.fileSize = fileSize;
        info.error = strfmt("File size more than %X", flashSize);
        info.oversized = true;
        return image;
    };
    const int error = platform::openForReading(path, flashSize, fd, file);
    if (error == EFBIG) return oversized(static_cast<uint64_t>(file.st_size));
    if (error != 0) {
        info.error = error == EINVAL ? NotARegularFile(path) : CouldNotOpen(path);
        return image;
    }
    // The flash as the chip model has it, at most the 16 MB image buffer: the file at its
    // start, 0xFF after it.
    const uint32_t bufferSize = std::min(flashSize, kImageBufferSize);
    std::vector<uint8_t> flash;
    try {
        flash.assign(bufferSize, 0xFF);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        info.error = strfmt("Error allocating data buffer memory for %d  bytes\n", static_cast<int>(bufferSize));
        info.icon = platform::MsgIcon::None;
        return image;
    }
    size_t read = 0;
    int readError = platform::readInto(fd, std::as_writable_bytes(std::span(flash)), read);
    uint64_t fileSize = read;
    if (readError == 0 && read == bufferSize) {
        // Past the flash the file is too large, even if it grew since it was measured; past the
        // 16 MB buffer it is left unread at its measured size.
        std::byte probe[1];
        size_t beyond = 0;
        readError = platform::readInto(fd, probe, beyond);
        if (beyond > 0) fileSize = std::max<uint64_t>(read + beyond, static_cast<uint64_t>(file.st_size));
    }
    ::close(fd);
    if (readError != 0) {
        info.error = CouldNotRead(path);
        return image;
    }
    if (fileSize > flashSize) return oversized(fileSize);
    info.fileSize = fileSize;
    info.crc = CalcCRC16(flash, 0xFFFF, 0);
    flash.resize(read);
    for (uint8_t byte : flash) info.byteSum += byte;
    image.bytes = std::move(flash);
    info.ok = true;
    return image;
}

BinImageInfo LoadBinImage(const std::string& path, uint32_t flashSize) {
    return ReadBinImage(path, flashSize).info;
}

ImageFileLoad LoadImageFile(const std::string& chosenPath, uint32_t flashSize, const HexToBinConverter& convert) {
    ImageFileLoad load;
    load.chosenPath = chosenPath;
    load.extension = lowerExtension(chosenPath);
    std::string binPath;
    if (load.extension == "hex") {
        binPath = BinPathBesideHex(chosenPath);
        if (!convertHex(chosenPath, binPath, convert, load.error)) return load;
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

std::string LastImagePath() {
    return g_strLastDir.empty() ? g_strLastFile : g_strLastDir + "/" + g_strLastFile;
}

ImageReload ReloadImageFile(const std::string& chosenPath, uint64_t& keptSize, uint16_t& keptSum,
                            const HexToBinConverter& convert) {
    ImageReload reload;
    reload.extension = lowerExtension(chosenPath);
    reload.converted = reload.extension == "hex";
    if (!reload.converted && reload.extension != "bin") {
        reload.outcome = ImageLoadOutcome::NotAnImage;
        return reload;
    }
    std::string binPath = chosenPath;
    if (reload.converted) {
        binPath = BinPathBesideHex(chosenPath);
        if (!convertHex(chosenPath, binPath, convert, reload.error)) return reload;
    }
    const BinImage image = ReadBinImage(binPath, UINT32_MAX);
    if (!image.info.ok) {
        reload.error = image.info.error;
        reload.icon = image.info.icon;
        return reload;
    }
    reload.outcome = ImageLoadOutcome::Loaded;
    reload.imagePath = binPath;
    reload.size = image.bytes.size();
    reload.sum = static_cast<uint16_t>(image.info.byteSum);
    const auto size = static_cast<unsigned long long>(reload.size);
    if (reload.converted) {
        reload.sizeText = strfmt("%llu/%llu", static_cast<unsigned long long>(keptSize), size);
        reload.sumText = strfmt("%04X/%04X", keptSum, reload.sum);
    } else {
        reload.sizeText = strfmt("%llu", size);
        reload.sumText = strfmt("%04X", reload.sum);
        keptSize = reload.size;
        keptSum = reload.sum;
    }
    return reload;
}
