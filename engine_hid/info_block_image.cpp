#include "engine_hid/info_block_image.h"

#include <algorithm>

#include "core/crc16.h"
#include "core/globals.h"
#include "core/parameter_file.h"
#include "platform/services.h"
#include "platform/strfmt.h"

namespace {

constexpr uint32_t kErasedWord = 0xFFFFFFFF;
constexpr size_t kOptionBlockOffset = 16;
constexpr size_t kOptionBlockSize = 1024;
constexpr size_t kParameterAreaOffset = 1536;

uint32_t ReadProtectionWord(uint32_t rdpLevel, uint32_t pcropType) {
    const uint16_t level = rdpLevel != 0 ? 0xAA : 0x00;
    return OptionWord(pcropType == 0 ? level + 0x100 : level);
}

// Protected 4 KB blocks as the chosen PcROP type encodes them: type 0 marks the free blocks,
// type 1 the protected ones, type 2 none.
uint32_t WriteProtectionWord(uint32_t pcropType, uint16_t protectedBlocks) {
    switch (pcropType) {
    case 0: return OptionWord(static_cast<uint16_t>(~protectedBlocks));
    case 1: return OptionWord(protectedBlocks);
    default: return OptionWord(0);
    }
}

// The information words' write protection: a PcROP type beyond the three known ones repeats
// the read protection word.
uint32_t InfoWriteProtectionWord(uint32_t readProtection, uint16_t protectedBlocks) {
    return g_nPcropType > 2 ? readProtection : WriteProtectionWord(g_nPcropType, protectedBlocks);
}

// Words 12 to 21: USB ids, clock words, serial-number words, boot pin and UART configuration.
std::array<uint32_t, 10> BootDataWords(const InfoBlockSettings& s) {
    const auto& p = s.ispParam;
    return {
        s.vidPidEnable ? OptionWord(p[0]) : kErasedWord,
        s.vidPidEnable ? OptionWord(p[1]) : kErasedWord,
        s.pllEnable ? OptionWord(p[2]) : kErasedWord,
        s.pllEnable ? OptionWord(p[3]) : kErasedWord,
        p[4] != 0 ? 0x0000FFFFu : 0x00000000u,  // a flag word, not a value/complement pair
        OptionWord(p[5]),
        OptionWord(p[6]),
        OptionWord(p[7]),
        OptionWord(p[8]),
        OptionWord(p[9]),
    };
}

void PutWord(uint8_t* at, uint32_t word) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(word >> (8 * i));
}

}  // namespace

uint16_t ComplementWord(uint16_t value) { return static_cast<uint16_t>(0xFFFF - value); }

uint16_t ReverseBits16(uint16_t value) {
    uint16_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) reversed = static_cast<uint16_t>(reversed << 1 | (value >> bit & 1));
    return reversed;
}

uint32_t OptionWord(uint16_t value) {
    return static_cast<uint32_t>(ComplementWord(value)) << 16 | value;
}

InfoBlockSettings InfoBlockSettingsInUse() {
    return {g_bInfoBlockEnable, g_nRdpLevel, g_nPcropType, g_wProtectMask, g_bBootDataEnable,
            g_bVidPidEnable,    g_bPllEnable, g_IspParam,  g_bParamEnable, g_strParam};
}

std::string ParameterFilePath(const std::string& name) { return g_strExeDir + "Data/" + name; }

std::optional<InfoBlockImage> ComposeInfoBlockImage(const InfoBlockSettings& settings) {
    InfoBlockImage image;
    image.fill(0xFF);
    uint8_t* optionBlock = image.data() + kOptionBlockOffset;
    if (settings.infoBlockEnable) {
        PutWord(optionBlock + 0x00, ReadProtectionWord(settings.rdpLevel, settings.pcropType));
        PutWord(optionBlock + 0x04, OptionWord(0));
        PutWord(optionBlock + 0x08, WriteProtectionWord(settings.pcropType, settings.protectMask));
        if (settings.bootDataEnable) {
            const auto words = BootDataWords(settings);
            for (size_t i = 0; i < words.size(); ++i) PutWord(optionBlock + 0x30 + 4 * i, words[i]);
        }
    }
    static_assert(kOptionBlockOffset + kOptionBlockSize <= kParameterAreaOffset);
    static_assert(kParameterAreaOffset + kParameterAreaSize == kInfoBlockImageSize);
    if (settings.paramEnable) {
        const std::span<uint8_t, kParameterAreaSize> area(image.data() + kParameterAreaOffset, kParameterAreaSize);
        if (LoadParameterFile(ParameterFilePath(settings.paramFile), area) != 0) return std::nullopt;
    }
    return image;
}

std::optional<InfoBlockImage> ComposeInfoBlockImage() {
    const InfoBlockSettings settings = InfoBlockSettingsInUse();
    auto image = ComposeInfoBlockImage(settings);
    if (!image) {
        const std::string path = ParameterFilePath(settings.paramFile);
        MessageBox(strfmt("File could not be opened !\r\n%s", path.c_str()), platform::MsgIcon::Error);
    }
    return image;
}

uint16_t BuildInfoBlockImage() {
    const auto image = ComposeInfoBlockImage();
    return image ? CalcCRC16(*image, 0xFFFF, 0) : 0;
}

OptionWords BuildOptionWords() {
    OptionWords words;
    words.fill(kErasedWord);
    if (!g_bInfoBlockEnable) return words;
    words[0] = ReadProtectionWord(g_nRdpLevel, g_nPcropType);
    const uint32_t blocks = std::min<uint32_t>(g_dwProtectAddr / 4096, 16);
    const auto belowAddress = static_cast<uint16_t>((1u << blocks) - 1);
    words[2] = InfoWriteProtectionWord(words[0], belowAddress);
    const auto boot = BootDataWords(InfoBlockSettingsInUse());
    std::copy(boot.begin(), boot.end(), words.begin() + 12);
    return words;
}

std::array<uint32_t, 16> StandAloneOptionWords(const InfoBlockSettings& settings) {
    std::array<uint32_t, 16> words;
    words.fill(OptionWord(0));
    words[0] = ReadProtectionWord(settings.rdpLevel, settings.pcropType);
    words[2] = WriteProtectionWord(settings.pcropType, settings.protectMask);
    const auto boot = BootDataWords(settings);
    std::copy(boot.begin(), boot.end(), words.begin() + 6);
    return words;
}

OptionWords BuildSiteInfoWords() {
    OptionWords words;
    words.fill(kErasedWord);
    if (!g_bInfoBlockEnable) return words;
    words[0] = ReadProtectionWord(g_nRdpLevel, g_nPcropType);
    for (size_t i : {1, 3, 4, 5}) words[i] = OptionWord(0);
    words[2] = InfoWriteProtectionWord(words[0], g_wProtectMask);
    if (g_bBootDataEnable) {
        const auto boot = BootDataWords(InfoBlockSettingsInUse());
        std::copy(boot.begin(), boot.end(), words.begin() + 12);
    }
    return words;
}
