#include "sfpage/com_config_records.h"

#include <algorithm>

#include "core/globals.h"

namespace {

void PutHighFirst(SfConfigRecord& record, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) record[at + i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

uint8_t Flags(const SfConfigSettings& s, uint8_t byte0) {
    const bool codeOption = s.codeOption || (byte0 >> 4) == 0xA;
    return static_cast<uint8_t>(s.encry | codeOption << 1 | s.gangSerialEnable << 2 | s.serialAutoInc << 3 |
                                s.beepSound << 4 | s.logSteps << 5 | s.keyWrite << 6 | s.optionSerial << 7);
}

}  // namespace

SfConfigRecords BuildSfConfigRecords(const SfConfigSettings& s, std::span<const uint8_t> image,
                                     uint32_t lengthProgrammed) {
    SfConfigRecords records;
    SfConfigRecord& option = records.at16;
    for (size_t i = 0; i < option.size(); ++i) {
        const uint64_t at = uint64_t{s.optionAddr} + i;
        option[i] = at < image.size() ? image[at] : 0xFF;
    }
    option[0] = s.encry ? option[0] & 0xFA : option[0] | 0x0F;
    if (s.codeOption || s.optionSerial) option[0] &= 0xAF;
    if (s.optionSerial) {
        if (s.gangSerialEnable)
            PutHighFirst(option, 1, s.gangSerial, 3);
        else
            std::copy(s.gangSerialFixed.begin(), s.gangSerialFixed.end(), option.begin() + 1);
    }
    if (s.codeOption) option[4] = s.protectNoProgram ? 0x00 : s.protectNoRead ? 0x10 : 0xFF;
    if (s.optionSerial && s.chipMode < g_OptionTailByMode.size() && option[5] == 0xFF && option[6] == 0xFF &&
        option[7] == 0xFF)
        std::copy_n(g_OptionTailByMode[s.chipMode].begin() + 1, 3, option.begin() + 5);
    PutHighFirst(option, 13, s.gangSerial, 3);
    PutHighFirst(option, 16, lengthProgrammed, 2);
    PutHighFirst(option, 24, s.optionAddr, 2);
    PutHighFirst(option, 27, s.configAddr, 3);
    option[31] = Flags(s, option[0]);

    records.at48 = option;
    records.at48[0] = s.chipMode;

    SfConfigRecord& key = records.at64;
    key.fill(0xFF);
    if (s.encry && s.keyWrite) std::copy(s.key.begin(), s.key.end(), key.begin());
    PutHighFirst(key, 16, s.imageSum, 2);
    key[18] = s.limitEnable ? 0x01 : 0x00;
    PutHighFirst(key, 19, s.limitQuantity, 3);
    PutHighFirst(key, 22, s.keyAddr, 2);
    return records;
}
