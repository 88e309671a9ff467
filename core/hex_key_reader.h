#pragma once
// The HEX record readers of the IC page and the serial-flash page, one record per call from a
// stream, over the converter's record reader (core/hex_converter.h): the plain one, which gives
// each data record at its own 16-bit address, and the one that adds the extended-linear-address
// base and picks the key out of an image. Only the bytes that land inside the 16 key bytes
// become the key, each at its own offset, whichever record brings them; a longer record never
// writes past the key.
#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <string>

// One record as a reader gives it: the address (with the extended-linear-address base from the
// key reader), and the data bytes of a data record (count 0 for any other record).
struct HexKeyRecord {
    uint32_t address = 0;
    uint32_t count = 0;
    std::array<uint8_t, 255> data{};
};

// What a page takes from the records it reads.
struct HexKeyRuling {
    bool takeKey = false;  // the encryption switch is 1
    uint32_t keyAddress = 0;
    std::span<uint8_t> key;  // 16 bytes
    // The serial-flash page also takes option bytes 1 to 3 (offsets 0xF9 to 0xFB of the option
    // page) as the fixed serial bytes.
    bool takeFixedSerial = false;
    uint32_t optionAddress = 0;
    std::span<uint8_t> fixedSerial;  // 3 bytes
};

struct HexKeyPickup {
    bool keyTaken = false;
    bool fixedSerialTaken = false;
};

// Reads the next record: 0 a record (data or other), 1 the end-of-file record or the end of the
// text, 2 an extended-segment-address record, whose notice goes to the standard output, 3 a
// malformed record (cut short, not hex digits, a wrong checksum, an extended linear address
// without two bytes). A data record gives its own 16-bit address, count and bytes; any other
// count and address 0. An extended-linear-address record sets upperBase, the reader's base
// kept by the caller between calls; any result but 0 ends the file and sets it back to 0.
int ParseHexRecord(std::istream& in, uint32_t& upperBase, HexKeyRecord& record);
// The same, with upperBase added to a data record's address and the key and fixed serial bytes
// taken as ruling says.
int ReadHexRecordWithKey(std::istream& in, uint32_t& upperBase, HexKeyRecord& record, const HexKeyRuling& ruling,
                         HexKeyPickup& pickup);

// "Load New Key : " and the key as four groups " %02X%02X%02X%02X".
std::string LoadNewKeyText(std::span<const uint8_t, 16> key);

// Two upper-case hexadecimal digits, high nibble first.
std::string ByteToHexChars(uint8_t byte);
// The byte that two hexadecimal digits of either case spell, high nibble first; nothing when
// either character is not a digit.
std::optional<uint8_t> HexPairToByte(char high, char low);
