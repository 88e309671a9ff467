#pragma once
// Loading a firmware image on the IC page: a .bin is read as it is, a .hex is first
// converted into a .bin of the same name beside it. The load checks the size against the
// chip model's flash and checksums the whole flash size, the 0xFF fill included. Only the
// path survives; the workers read the file again when they burn.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/services.h"

struct BinImageInfo {
    bool ok = false;
    std::string error;
    platform::MsgIcon icon = platform::MsgIcon::Error;
    bool oversized = false;  // refused for being larger than the flash
    uint64_t fileSize = 0;
    uint16_t crc = 0;
    uint32_t byteSum = 0;  // of the file's bytes, the 0xFF fill not included
};

struct BinImage {
    BinImageInfo info;
    std::vector<uint8_t> bytes;  // the file's bytes as read, when info.ok
};

// Reads a binary into a buffer of flashSize bytes (at most the 16 MB image buffer) filled with
// 0xFF, refuses it when it is larger than flashSize ("File size more than %X", unread) or not a
// regular file, and takes the CRC-16 over the buffer.
BinImage ReadBinImage(const std::string& path, uint32_t flashSize);
BinImageInfo LoadBinImage(const std::string& path, uint32_t flashSize);

enum class ImageLoadOutcome {
    Loaded,      // imagePath is the new image
    Refused,     // error says why; the previous image stays
    Oversized,   // larger than the flash: error says so, and imagePath is the image all the
                 // same, so that Burn refuses it by its size rather than as missing
    NotAnImage,  // neither .bin nor .hex: listed, nothing loaded
};

struct ImageFileLoad {
    ImageLoadOutcome outcome = ImageLoadOutcome::Refused;
    std::string chosenPath;
    std::string extension;  // lower case, without the dot
    std::string imagePath;  // the binary the workers burn
    std::string sizeText;   // "%d" of the file size
    std::string crcText;    // "%04X" of the CRC
    uint32_t byteSum = 0;   // of the file's bytes
    std::string error;
    platform::MsgIcon icon = platform::MsgIcon::Error;
};

// The whole load of a chosen file for a chip model with flashSize bytes of flash.
ImageFileLoad LoadImageFile(const std::string& chosenPath, uint32_t flashSize);
