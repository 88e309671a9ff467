#include "core/hex_key_reader.h"

#include <cstdio>

#include "platform/hex_digits.h"
#include "platform/strfmt.h"

namespace {

constexpr uint32_t kFixedSerialOffset = 0xF9;  // in the option page: option bytes 1 to 3

// Two hexadecimal digits from the stream; false at its end or on another character.
bool ReadHexByte(std::istream& in, uint8_t& value) {
    char pair[2];
    if (!in.read(pair, 2)) return false;
    const std::optional<uint8_t> byte = HexPairToByte(pair[0], pair[1]);
    if (!byte) return false;
    value = *byte;
    return true;
}

// Copies the record's bytes that fall inside [at, at + into.size()) to their offsets.
bool TakeBytes(const HexKeyRecord& record, uint32_t at, std::span<uint8_t> into) {
    bool taken = false;
    for (uint32_t i = 0; i < record.count; ++i) {
        const uint64_t address = uint64_t{record.address} + i;
        if (address >= at && address < uint64_t{at} + into.size()) {
            into[address - at] = record.data[i];
            taken = true;
        }
    }
    return taken;
}

}  // namespace

int ReadHexRecordWithKey(std::istream& in, uint32_t& upperBase, HexKeyRecord& record, const HexKeyRuling& ruling,
                         HexKeyPickup& pickup) {
    char c = 0;
    while (in.get(c) && c != ':') {
    }
    uint8_t count = 0, high = 0, low = 0, type = 0;
    if (!in || !ReadHexByte(in, count) || !ReadHexByte(in, high) || !ReadHexByte(in, low) || !ReadHexByte(in, type))
        return 1;  // the text ends, or no record can be read from it
    record.count = 0;
    record.address = 0;
    switch (type) {
    case 0x00:
        for (uint32_t i = 0; i < count; ++i) {
            if (!ReadHexByte(in, record.data[i])) return 1;
        }
        record.count = count;
        record.address = upperBase + (uint32_t{high} << 8 | low);
        break;
    case 0x01:
        return 1;
    case 0x02:
        std::fputs("不支持擴展段地址記錄!", stdout);
        return 2;
    case 0x04: {
        uint8_t upper[2];
        if (count != 2 || !ReadHexByte(in, upper[0]) || !ReadHexByte(in, upper[1])) return 1;
        upperBase = (uint32_t{upper[0]} << 8 | upper[1]) << 16;
        return 0;
    }
    default:
        return 0;
    }
    if (ruling.takeKey && TakeBytes(record, ruling.keyAddress, ruling.key)) pickup.keyTaken = true;
    if (ruling.takeFixedSerial &&
        TakeBytes(record, (ruling.optionAddress & ~0xFFu) + kFixedSerialOffset, ruling.fixedSerial))
        pickup.fixedSerialTaken = true;
    return 0;
}

std::string LoadNewKeyText(std::span<const uint8_t, 16> key) {
    std::string groups;
    for (size_t k = 0; k < key.size(); k += 4)
        groups = strfmt("%s %02X%02X%02X%02X", groups.c_str(), key[k], key[k + 1], key[k + 2], key[k + 3]);
    return strfmt("Load New Key : %s", groups.c_str());
}

std::string ByteToHexChars(uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::optional<uint8_t> HexPairToByte(char high, char low) {
    const int highValue = hexDigitValue(high);
    const int lowValue = hexDigitValue(low);
    if (highValue < 0 || lowValue < 0) return std::nullopt;
    return static_cast<uint8_t>(highValue * 16 + lowValue);
}
