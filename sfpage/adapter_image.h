#pragma once
// The adapter's stand-alone image: the firmware file from serial-flash byte 0 on, then the
// configuration block the adapter reads when it burns targets on its own. Every byte not
// named below is 0xFF; multi-byte fields are little-endian.
//
//   0x10000  image length - 1 (16 bits)     0x10002  image CRC-16 (16 bits)
//   0x10100  limited quantity, 0xFFFF = no limit
//   0x10103  chip mode
//   0x10104  serial-number address, bits 0-23; 0x10107 serial-number flags (0x80 EEPROM,
//            0x40 increase after each burn); all four 0xFF when serial numbers are off
//   0x13000  last serial number (32 bits), written only when serial numbers are on
// The run with option words adds the fields that the flash-information view reads:
//   0x10004  0xAA when the boot data are on      0x10102  0xAA when the information block is on
//   0x10510  sixteen option words (32 bits each)  0x10B00  the 512-byte parameter area, if any
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/parameter_file.h"

// The serial flash's page: every transfer, page index and count of the serial-flash runs is in
// these units.
constexpr uint32_t g_nSFPageSize = 256;
constexpr uint32_t kSfBlockOffset = 0x10000;
constexpr uint32_t kSfQuantityOffset = 0x10100;
constexpr uint32_t kSfChipModeOffset = 0x10103;
constexpr uint32_t kSfSerialAddrOffset = 0x10104;
constexpr uint32_t kSfSerialFlagsOffset = 0x10107;
constexpr uint32_t kSfLastSerialOffset = 0x13000;
constexpr uint32_t kSfLengthWithSerial = 0x13100;
constexpr uint32_t kSfLengthWithoutSerial = 0x10600;
constexpr uint32_t kSfBootDataMarkerOffset = 0x10004;
constexpr uint32_t kSfInfoBlockMarkerOffset = 0x10102;
constexpr uint32_t kSfOptionWordsOffset = 0x10510;
constexpr uint32_t kSfParameterOffset = 0x10B00;
constexpr uint32_t kSfLengthWithParameters = 0x10D00;
// The largest quantity the block's 16 bits hold; 0xFFFF means no limit.
constexpr uint32_t kSfMaxLimitQuantity = 0xFFFE;
// With the limit on, a quantity the block cannot hold is refused: the message, naming the
// largest; empty when the block holds it.
std::string LimitQuantityRefusal(bool limitEnable, uint32_t quantity);

struct AdapterOptionFields {
    bool bootDataMarker = false;
    bool infoBlockMarker = false;
    std::array<uint32_t, 16> words{};
    std::optional<std::array<uint8_t, kParameterAreaSize>> parameters{};
};

struct AdapterImageSettings {
    bool limitEnable = false;
    uint32_t limitQuantity = 0;
    uint8_t chipMode = 0;
    bool serialEnable = false;
    uint32_t serialAddr = 0;
    bool serialInEeprom = false;
    bool serialAutoInc = false;
    uint32_t lastSerial = 0;
    std::optional<AdapterOptionFields> options{};
};

// The bytes to write to the serial flash: 0x13100 long with serial numbers, else 0x10D00 with a
// parameter area, else 0x10600.
// Empty when the file is empty or reaches into the block.
std::vector<uint8_t> BuildAdapterImage(std::span<const uint8_t> file, uint16_t imageCrc,
                                       const AdapterImageSettings& settings);

// Pages of g_nSFPageSize bytes that hold length bytes.
uint32_t SfPagesFor(uint64_t length);
