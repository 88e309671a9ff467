#include "sfpage/adapter_image.h"

#include <algorithm>

#include "platform/strfmt.h"

namespace {

void putLittleEndian(std::vector<uint8_t>& image, uint32_t offset, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::string LimitQuantityRefusal(bool limitEnable, uint32_t quantity) {
    if (!limitEnable || quantity <= kSfMaxLimitQuantity) return {};
    return strfmt("Out of range! Quantity should be <= %u", kSfMaxLimitQuantity);
}

std::vector<uint8_t> BuildAdapterImage(std::span<const uint8_t> file, uint16_t imageCrc,
                                       const AdapterImageSettings& settings) {
    if (file.empty() || file.size() > kSfBlockOffset) return {};
    const bool parameters = settings.options && settings.options->parameters;
    std::vector<uint8_t> image(settings.serialEnable ? kSfLengthWithSerial
                               : parameters          ? kSfLengthWithParameters
                                                     : kSfLengthWithoutSerial,
                               0xFF);
    std::copy(file.begin(), file.end(), image.begin());
    putLittleEndian(image, kSfBlockOffset, static_cast<uint32_t>(file.size() - 1), 2);
    putLittleEndian(image, kSfBlockOffset + 2, imageCrc, 2);
    if (settings.limitEnable) putLittleEndian(image, kSfQuantityOffset, settings.limitQuantity, 2);
    image[kSfChipModeOffset] = settings.chipMode;
    if (settings.serialEnable) {
        putLittleEndian(image, kSfSerialAddrOffset, settings.serialAddr, 3);
        image[kSfSerialFlagsOffset] =
            static_cast<uint8_t>((settings.serialInEeprom ? 0x80 : 0) | (settings.serialAutoInc ? 0x40 : 0));
        putLittleEndian(image, kSfLastSerialOffset, settings.lastSerial, 4);
    }
    if (const auto& options = settings.options) {
        if (options->bootDataMarker) image[kSfBootDataMarkerOffset] = 0xAA;
        if (options->infoBlockMarker) image[kSfInfoBlockMarkerOffset] = 0xAA;
        for (size_t i = 0; i < options->words.size(); ++i)
            putLittleEndian(image, kSfOptionWordsOffset + 4 * static_cast<uint32_t>(i), options->words[i], 4);
        if (parameters) std::copy(options->parameters->begin(), options->parameters->end(), image.begin() + kSfParameterOffset);
    }
    return image;
}

uint32_t SfPagesFor(uint64_t length) {
    return static_cast<uint32_t>((length + g_nSFPageSize - 1) / g_nSFPageSize);
}
