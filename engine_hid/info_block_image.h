#pragma once
// The targets' information block at 0x1FF00000: option words that keep a 16-bit value beside
// its complement, and the 2048-byte image of the block that the settings describe.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

constexpr uint32_t kInfoBlockBase = 0x1FF00000;
constexpr uint32_t kOptionWordsBase = 0x1FF00010;
constexpr size_t kInfoBlockImageSize = 2048;
constexpr size_t kOptionWordCount = 25;

using InfoBlockImage = std::array<uint8_t, kInfoBlockImageSize>;
using OptionWords = std::array<uint32_t, kOptionWordCount>;

uint16_t ComplementWord(uint16_t value);
// v in the low half, 0xFFFF - v in the high half: 0x1234 becomes 0xEDCB1234.
uint32_t OptionWord(uint16_t value);

// The image that the settings describe, 0xFF where nothing is set. Empty (after telling the
// operator) when the parameter file cannot be read.
std::optional<InfoBlockImage> ComposeInfoBlockImage();
// CRC-16 of that image; 0 when the parameter file cannot be read.
uint16_t BuildInfoBlockImage();

// The option words that the information-block worker writes from 0x1FF00010 on. They differ
// from the image in word 1 (left erased), in word 2 (taken from the protect address) and in
// needing only the information-block switch for words 12 to 21.
OptionWords BuildOptionWords();

// The information words that the site-by-site information burn writes from 0x1FF00010 on: as
// the image's option block (write protection from the protect mask, words 12 to 21 only with
// the boot data), but with words 3 to 5 written as the value 0 too.
OptionWords BuildSiteInfoWords();
