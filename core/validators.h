#pragma once
// Checks of edit-field texts and lookups by chip mode. The checks answer 0 valid, 1 a bad
// character, 2 a value (or length) above the limit; the caller decides what to show.
#include <cstdint>
#include <string>

// What the checks of an edit field read: its text upper-cased, "0" for an empty field.
std::string CheckedText(const std::string& text);
uint32_t CheckHexString(const std::string& text, uint32_t limit);
uint32_t CheckDecString(const std::string& text, uint32_t limit);
uint32_t CheckDecNumber(const std::string& text, uint32_t limit);
// Characters '0' to '~' only, and no longer than limit.
uint32_t CheckTextString(const std::string& text, uint32_t limit);

uint32_t GetFlashPageSize(uint8_t mode);
uint32_t GetFlashTailAddr(uint8_t mode);
uint32_t GetFlashBlockSize(uint8_t mode);
