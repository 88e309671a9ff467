#pragma once
// The programmer adapter's command set: one free function per command, each one feature-report
// exchange with the adapter kept by OpenHidDevice (a set, and for a query a get). Results are 1
// when every exchange reached the adapter and 0 as soon as one failed, except the connects
// (0 connected, 1 transfer failed, 2 no target). A failed query copies nothing; a multi-byte
// query copies no more bytes than the destination holds.
//
// Report layout (g_HidFeatureOut): byte 0 report id 0, bytes 1-2 zero, byte 3 the command,
// bytes 4-7 the first 32-bit argument (little-endian), bytes 8-11 a second 32-bit value or
// bytes 8-39 32 data bytes. Answers carry their data from byte 1 of g_HidFeatureIn.
#include <cstdint>
#include <span>

#include "link/hid_device.h"

// Results of HidConnectTarget and HidConnectTargetAlt.
constexpr int kConnectOk = 0;
constexpr int kConnectTransferFailed = 1;
constexpr int kConnectNoTarget = 2;  // the adapter answered id 0 or 0xFFFFFFFF

// Target address map.
constexpr uint32_t kTargetFlashBase = 0x10000000;
constexpr uint32_t kTargetInfoBase = 0x1FF00000;
constexpr uint32_t kTargetInfoPage2 = 0x1FF00400;
constexpr uint32_t kTargetSerialBase = 0x1FF00600;
constexpr uint32_t kFlashCtrlReg = 0x40080004;
constexpr uint32_t kFlashKeyReg = 0x4008000C;
constexpr uint32_t kFlashOptionKeyReg = 0x40080014;

constexpr uint32_t kAdapterPageBufferSize = 2048;  // target page buffer (0x29, 0x2B)
constexpr uint32_t kSerialFlashPageSize = 256;     // serial-flash page buffer (0x32 to 0x35)

int HidConnectTarget();                                                   // 0x00
int HidCmdPrepare();                                                      // 0x03
int HidWriteWord04(uint32_t address, uint32_t value);                     // 0x04
int HidReadWord05(uint32_t address, std::span<uint8_t> out);              // 0x05, 4 bytes
int HidWriteWord(uint32_t address, uint32_t value);                       // 0x06
int HidWriteWord2(uint32_t address, uint32_t value);                      // 0x06
int HidReadWord(uint32_t address, std::span<uint8_t> out);                // 0x07, 4 bytes
// One 0x07 query per byte at address, address + 1, ... for out.size() bytes, keeping byte 1 of
// each answer; 0 at the first failure (the bytes read so far stay in out).
int HidReadBytes(uint32_t address, std::span<uint8_t> out);               // 0x07 per byte
int HidReadBlock(uint32_t address, std::span<uint8_t> out);               // 0x0B, 32 bytes
int HidReadBlock2(uint32_t address, std::span<uint8_t> out);              // 0x0B, 32 bytes
int HidGetFirmwareVersion(std::span<uint8_t> out);                        // 0x0E, 4 bytes of text
int HidGetFirmwareSubVersion(std::span<uint8_t> out);                     // 0x0F, 8 bytes of text
int HidCmdQuery22();                                                      // 0x22
int HidCmdEraseAddr(uint32_t address);                                    // 0x26
int HidCmdErase27();                                                      // 0x27
int HidCmdEraseInfo(uint32_t address);                                    // 0x28
// Loads data into the adapter's page buffer from buffer offset start on, 32 bytes per report
// (offset in bytes 4-7, data in 8-39, the last report's tail 0xFF); 1 when every report was
// sent (also for no data, which sends nothing), 0 at the first failure.
int HidLoadPageBuffer(uint32_t start, std::span<const uint8_t> data);     // 0x29 per 32 bytes
int HidProgramPage(uint32_t address);                                     // 0x2B
int HidSfCmd31();                                                         // 0x31 erase serial flash
int HidSfReadPage(uint32_t page);                                         // 0x32
int HidSfLoadPageBuffer(uint32_t start, std::span<const uint8_t> data);   // 0x33, as 0x29
int HidSfProgramPage(uint32_t page);                                      // 0x34
// Reads out.size() bytes of the serial-flash page buffer, one 0x35 query per 16 bytes at
// offsets 0, 16, 32, ...; the first argument is not used.
int HidSfReadPageBuffer(uint32_t ignored, std::span<uint8_t> out);        // 0x35 per 16 bytes
int HidSfReadStatus(std::span<uint8_t> out);                              // 0x37, 1 byte
int HidSetSocketPower(uint32_t on);                                       // 0x39
int HidSelectSocket(uint32_t site);                                       // 0x3A
int HidConnectTargetAlt();                                                // 0x3D

// Whether the selected site's target answered a connect that no power-off has undone since, as
// the commands sent show: only then is what a read answers what a part holds (for a site that
// is off, or whose target was never connected, the adapter makes its answers up). False after a
// select whose exchange failed, until a select goes through.
bool HidSelectedTargetReached();

// Sequences on the target's flash controller.
// Reads the control register's byte, then writes the two key words to the key register;
// 1 when both key writes reached the adapter, else 0.
int FlashUnlockCtrl();
// The same with the two option key words to the option key register.
int FlashUnlockOption();
// Sets bits 0 to 2 of the control register and reads its byte back: true when it is exactly 7.
// False, with nothing written, when the first reads fail. Each exchange that fails is sent
// again at once, up to tries times in all.
bool FlashEnableWrite(int tries = 1);
