#include "core/hex_key_reader.h"

#include <algorithm>
#include <cstdio>

#include "core/hex_converter.h"
#include "platform/hex_digits.h"
#include "platform/strfmt.h"

namespace {

constexpr uint32_t kFixedSerialOffset = 0xF9;  // in the option page: option bytes 1 to 3

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

namespace {

int ParseOneRecord(std::istream& in, uint32_t& upperBase, HexKeyRecord& record) {
    record.address = 0;
    record.count = 0;
    HexRecord read;
    switch (ReadHexRecord(in, read)) {
    case HexRecordRead::End:
        return 1;
    case HexRecordRead::Malformed:
        return 3;
    case HexRecordRead::Record:
        break;
    }
    switch (read.type) {
    case 0x00:
        record.address = read.address;
        record.count = read.count;
        std::copy_n(read.data.begin(), read.count, record.data.begin());
        return 0;
    case 0x01:
        return 1;
    case 0x02:
        std::fputs("不支持擴展段地址記錄!", stdout);
        return 2;
    case 0x04:
        if (read.count != 2) return 3;
        upperBase = (uint32_t{read.data[0]} << 8 | read.data[1]) << 16;
        return 0;
    default:
        return 0;
    }
}

}  // namespace

int ParseHexRecord(std::istream& in, uint32_t& upperBase, HexKeyRecord& record) {
    const int result = ParseOneRecord(in, upperBase, record);
    // The file's reading is over: the next file starts at base 0, not at this one's base.
    if (result != 0) upperBase = 0;
    return result;
}

int ReadHexRecordWithKey(std::istream& in, uint32_t& upperBase, HexKeyRecord& record, const HexKeyRuling& ruling,
                         HexKeyPickup& pickup) {
    const int result = ParseHexRecord(in, upperBase, record);
    if (result != 0 || record.count == 0) return result;
    record.address += upperBase;
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
