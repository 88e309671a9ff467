#pragma once
// Loading a firmware image on the IC page: a .bin is read as it is, a .hex is first
// converted into a .bin of the same name beside it. The load checks the size against the
// chip model's flash and checksums the whole flash size, the 0xFF fill included. Only the
// path survives; the workers read the file again when they burn.
#include <cstdint>
#include <functional>
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
    std::string error;      // empty on a refusal that the page's converter has shown already
    platform::MsgIcon icon = platform::MsgIcon::Error;
};

// A page's HEX converter: 1 when hexPath became binPath, 0 when it failed and the failure has
// been shown. Without one the loader converts itself and returns the failure in error.
using HexToBinConverter = std::function<int(const std::string& hexPath, const std::string& binPath)>;

// The whole load of a chosen file for a chip model with flashSize bytes of flash.
ImageFileLoad LoadImageFile(const std::string& chosenPath, uint32_t flashSize, const HexToBinConverter& convert = {});

// The last chosen file again: g_strLastFile in the folder g_strLastDir.
std::string LastImagePath();

struct ImageReload {
    ImageLoadOutcome outcome = ImageLoadOutcome::Refused;  // Loaded, Refused or NotAnImage
    std::string extension;  // lower case, without the dot
    std::string imagePath;  // the binary read
    bool converted = false;  // from a .hex
    uint64_t size = 0;       // of the binary, at most the 16 MB buffer
    uint16_t sum = 0;        // 16-bit sum of its bytes
    std::string sizeText;    // "%d"; after a conversion "%d/%d", the kept size first
    std::string sumText;     // "%04X"; after a conversion "%04X/%04X", the kept sum first
    std::string error;       // empty on a refusal that the page's converter has shown already
    platform::MsgIcon icon = platform::MsgIcon::Error;
};

// Loads a file again without a dialog: a .hex is converted first, a .bin read as it is, at most
// the 16 MB buffer, without a size check; the result carries the 16-bit byte sum, not the CRC.
// A converted file's size and sum are shown beside the kept ones; a binary's alone, and they
// become the kept ones.
ImageReload ReloadImageFile(const std::string& chosenPath, uint64_t& keptSize, uint16_t& keptSum,
                            const HexToBinConverter& convert = {});
