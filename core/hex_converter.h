#pragma once
// Intel HEX to binary. The binary starts at address 0 (gaps and everything below the first
// record are 0x00) and ends at the highest address a data record reaches. Malformed input
// is refused with a message naming its line; the converter never reads past its input nor
// writes past the 16 MB image buffer.
#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// Largest image the program handles: the size of its image buffers.
constexpr uint32_t kImageBufferSize = 0x1000000;
// Largest HEX file read: a 16 MB image in one-byte records with CR LF line ends fits.
constexpr uint64_t kMaxHexFileBytes = uint64_t{256} << 20;

struct HexConversion {
    bool ok = false;
    std::string error;           // the message to show when ok is false
    uint32_t size = 0;           // of the binary: address 0 up to the highest end of any data record
    std::vector<uint8_t> image;  // the binary, from ConvertHexText only
};

// Converts HEX text. Addresses of type 04 records are taken relative to the first extended
// linear address seen, so an image linked in any 64 KB window (or spanning several) starts
// at offset 0. A text without an end-of-file record, or with data after it, is refused: it is
// cut short or two files joined.
HexConversion ConvertHexText(std::string_view text);

// Converts the file hexPath into binPath, reading it in fixed chunks and writing the binary as
// the records come. The binary replaces binPath only when the whole conversion succeeded: a
// failed one leaves the old file whole. Anything but a regular file of at most
// kMaxHexFileBytes is refused unread, and one that reads on past that bound (it grew, or it is
// a kernel file that shows no size) is refused as too large once it has. A binPath that names
// hexPath itself by any name (a link, a hard link) is refused with a message, nothing written.
HexConversion ConvertHexToBin(const std::string& hexPath, const std::string& binPath);

// Converts a text of one byte per line (the line's first two characters, hexadecimal) into
// binPath, the bytes in line order. Empty lines are skipped; a line that does not begin with two
// hex digits, or more bytes than the 16 MB image buffer, refuses the file and leaves binPath
// whole. Read in fixed chunks, with the same bounds and the same refusal of binPath naming the
// text itself as ConvertHexToBin.
HexConversion ConvertByteLinesToBin(const std::string& textPath, const std::string& binPath);

// One record of a HEX text as it stands: its type, its own 16-bit address and its data bytes.
struct HexRecord {
    uint8_t type = 0;
    uint16_t address = 0;
    uint8_t count = 0;
    std::array<uint8_t, 255> data{};
};
enum class HexRecordRead { Record, End, Malformed };

// Reads the record after the next ':' of in; what stands before it is skipped. End when no ':'
// follows; Malformed when the record is cut short, holds a character that is not a hex digit,
// fails its checksum or is followed on its line by more than blanks or the next record. The same record reader as
// the converter's.
HexRecordRead ReadHexRecord(std::istream& in, HexRecord& record);

// binPath for a HEX file: the same folder and name with ".bin" in place of the extension.
std::string BinPathBesideHex(const std::string& hexPath);

// The messages of an image file that cannot be read: missing or unreadable, failing as it is
// read, and a FIFO, a device or anything else but a regular file; and of one without a byte of
// code (an empty .bin, or the .bin of a HEX file without data records), which no run takes.
std::string CouldNotOpen(const std::string& path);
std::string HoldsNoCode(const std::string& path);
std::string CouldNotRead(const std::string& path);
std::string NotARegularFile(const std::string& path);
