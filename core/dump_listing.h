#pragma once
// The dump listing of flash memory: one line per 16 bytes, the address as eight lower-case
// hexadecimal digits and "h : ", then the bytes as "%02X" separated by one blank; every line
// ends in CR LF.  00000100h : FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF
// Also the raw dump file, and what the operator is told when either cannot be written.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

constexpr uint32_t kDumpLineBytes = 16;

std::string DumpListingLine(uint32_t address, std::span<const uint8_t> bytes);

// Both files replace an earlier one whole or leave it as it was (a durable write).
// NotCreated: the new file could not be begun (no folder, or a folder, FIFO or device at path).
// NotWritten: a write, the fsync or the rename failed (a full disk).
enum class ListingResult { Written, Stopped, NotCreated, NotWritten };

// Writes the listing of bytes, the first at address start, to path. stop is asked before each
// line; a stopped listing is dropped and the earlier file stays.
ListingResult WriteDumpListing(const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                               const std::function<bool()>& stop);
// Writes the bytes as they are to path; never Stopped.
ListingResult WriteDumpBinary(const std::string& path, std::span<const uint8_t> bytes);

class WorkerPage;
// Writes a dump as its listing or raw and tells the operator on page what failed ("File can not
// open!" when it cannot be created). True for a listing written whole: the caller opens it.
bool SaveDumpFile(WorkerPage& page, const std::string& path, uint32_t start, std::span<const uint8_t> bytes,
                  bool listing, const std::function<bool()>& stop);
// The message for a file that was created but could not be written whole.
std::string NotWrittenMessage(const std::string& path);
