#pragma once
// The three 32-byte configuration records that the full runs over the COM link write after the
// image, at the block address + 16, + 48 and + 64. Multi-byte fields go high byte first.
//
//   +16  0-31  the 32 image bytes at the option address (0xFF past the image), then:
//        0     ANDed with 0xFA with encryption, else ORed with 0x0F; ANDed with 0xAF with the
//              code option or the option serial
//        1-3   option serial: the serial number when the gang serial is on, else the fixed bytes
//        4     code option: 0x00 no program, else 0x10 no read, else 0xFF
//        5-7   option serial, when all three are 0xFF: the chip mode's option tail bytes 1-3
//        13-15 serial number   16-17 length programmed   24-25 option address
//        27-29 block address   31    flags (bit 0 encryption ... bit 7 option serial)
//   +48        the +16 record with byte 0 replaced by the chip mode
//   +64  0-15  the key with encryption and key write, else 0xFF
//        16-17 image byte sum   18 bit 0: limited quantity on   19-21 quantity
//        22-23 key address      24-31 0xFF
#include <array>
#include <cstdint>
#include <span>

struct SfConfigSettings {
    bool encry = false;
    bool codeOption = false;
    bool optionSerial = false;
    bool gangSerialEnable = false;
    bool serialAutoInc = false;
    bool beepSound = false;
    bool logSteps = false;
    bool keyWrite = false;
    bool protectNoRead = false;
    bool protectNoProgram = false;
    bool limitEnable = false;
    uint32_t gangSerial = 0;
    std::array<uint8_t, 3> gangSerialFixed{};
    uint32_t optionAddr = 0;
    uint32_t configAddr = 0x10000;
    uint8_t chipMode = 0;
    std::array<uint8_t, 16> key{};
    uint16_t imageSum = 0;
    uint32_t limitQuantity = 0;  // as it goes into the record (the serial run encodes it first)
    uint32_t keyAddr = 0;
};

using SfConfigRecord = std::array<uint8_t, 32>;
struct SfConfigRecords {
    SfConfigRecord at16, at48, at64;
};

// The records for an image (its bytes, 0xFF past its end) of which length bytes are programmed.
SfConfigRecords BuildSfConfigRecords(const SfConfigSettings& settings, std::span<const uint8_t> image,
                                     uint32_t lengthProgrammed);
