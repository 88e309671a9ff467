#pragma once
// The dump listing of flash memory: one line per 16 bytes, the address as eight lower-case
// hexadecimal digits and "h : ", then the bytes as "%02X" separated by one blank; every line
// ends in CR LF.  00000100h : FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF
#include <cstdint>
#include <functional>
#include <span>
#include <string>

constexpr uint32_t kDumpLineBytes = 16;

std::string DumpListingLine(uint32_t address, std::span<const uint8_t> bytes);

enum class ListingResult { Written, Stopped, NotCreated };

// Writes the listing of bytes, the first at address start, to path (replacing an earlier file).
// stop is asked before each line; a stopped listing keeps the lines written so far.
// NotCreated when the file cannot be created or a line cannot be written.
ListingResult WriteDumpListing(const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                               const std::function<bool()>& stop);
