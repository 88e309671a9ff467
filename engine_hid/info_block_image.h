#pragma once
// The targets' information block at 0x1FF00000: option words that keep a 16-bit value beside
// its complement, and the 2048-byte image of the block that the settings describe.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

constexpr uint32_t kInfoBlockBase = 0x1FF00000;
constexpr uint32_t kOptionWordsBase = 0x1FF00010;
constexpr size_t kInfoBlockImageSize = 2048;
constexpr size_t kOptionWordCount = 25;

using InfoBlockImage = std::array<uint8_t, kInfoBlockImageSize>;
using OptionWords = std::array<uint32_t, kOptionWordCount>;

uint16_t ComplementWord(uint16_t value);
// Bit i of the value becomes bit 15 - i.
uint16_t ReverseBits16(uint16_t value);
// v in the low half, 0xFFFF - v in the high half: 0x1234 becomes 0xEDCB1234.
uint32_t OptionWord(uint16_t value);

// What the image is built from: the information-block settings, as the globals hold them or as
// a configuration dialog holds them before they are taken over.
struct InfoBlockSettings {
    uint32_t infoBlockEnable = 0;
    uint32_t rdpLevel = 0;   // nonzero: level 0
    uint32_t pcropType = 0;  // 0 read and write, 1 write, 2 none
    uint16_t protectMask = 0;
    uint32_t bootDataEnable = 0;
    uint32_t vidPidEnable = 0;
    uint32_t pllEnable = 0;
    std::array<uint16_t, 10> ispParam{};  // VID, PID, PLL_L, PLL_H, SN_EN, SN1, SN2, SN3, BOOT_PIN_CFG, UART_ISP_CFG
    uint32_t paramEnable = 0;
    std::string paramFile;  // name only; the file lies in the program's Data folder
};

InfoBlockSettings InfoBlockSettingsInUse();
// Where a parameter file of that name is read from.
std::string ParameterFilePath(const std::string& name);

// The image that the settings describe, 0xFF where nothing is set. Empty when the parameter
// file cannot be read; the caller tells the operator.
std::optional<InfoBlockImage> ComposeInfoBlockImage(const InfoBlockSettings& settings);
// The image of the settings in use. Empty (after telling the operator) when the parameter file
// cannot be read.
std::optional<InfoBlockImage> ComposeInfoBlockImage();
// CRC-16 of that image; 0 when the parameter file cannot be read.
uint16_t BuildInfoBlockImage();

// The option words that the information-block worker writes from 0x1FF00010 on. They differ
// from the image in word 1 (left erased), in word 2 (taken from the protect address) and in
// needing only the information-block switch for words 12 to 21.
OptionWords BuildOptionWords();

// The sixteen option words of the adapter's stand-alone block, in the order the flash-information
// view reads them: read protection, a zero word, write protection, three zero words, then the ten
// ISP parameter words as the image's boot data holds them. Written whatever the switches say.
std::array<uint32_t, 16> StandAloneOptionWords(const InfoBlockSettings& settings);

// The information words that the site-by-site information burn writes from 0x1FF00010 on: as
// the image's option block (write protection from the protect mask, words 12 to 21 only with
// the boot data), but with words 3 to 5 written as the value 0 too.
OptionWords BuildSiteInfoWords();
