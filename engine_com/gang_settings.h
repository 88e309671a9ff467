#pragma once
// What the gang runs read besides the image: the option block's place and switches, the key
// page, the serial number and the step log. No page fills them; LoadGangSettings takes the
// chip mode's own values and lets a stored value of the same name override each.
#include <array>
#include <atomic>
#include <cstdint>

extern uint32_t g_dwOptionAddr;       // offset of the 8-byte option block
extern uint32_t g_bOptionSerial;      // serial number or fixed bytes in option bytes 1 to 3
extern uint32_t g_bGangSerialEnable;  // serial number (1) or g_GangSerialFixed (0)
extern std::array<uint8_t, 3> g_GangSerialFixed;
extern uint32_t g_nGangSerial;        // next serial number, 24 bits used
extern uint32_t g_bKeyWrite;          // with g_bEncry: write the key page
extern std::array<uint8_t, 16> g_KeyBytes;
extern uint32_t g_bKeyLoaded;          // a HEX file being read carried key bytes
extern uint32_t g_dwKeyAddr;          // key page address
extern uint32_t g_bLogSteps;          // step lines in the operation list
extern uint32_t g_nComExtraDelay;     // ms after each socket of a scan
// Option byte 4 of the single-pass runs: 0x00 when the part may be neither read nor programmed,
// else 0x10 when it may not be read, else 0xFF. Nothing sets them; they stay off.
extern uint32_t g_bProtectNoProgram;
extern uint32_t g_bProtectNoRead;
// Per socket: passed its verify in the current run.
extern std::array<std::atomic<uint32_t>, 4> g_bSocketPass;

// Option offset and key page of the chip mode g_nChipMode, then every stored override
// ("Option Addr", "ENCRY", "Code Option", "Option Serial", "Gang Serial En", "Gang Serial Fixed",
// "Key Write", "Key Bytes", "Log Steps", "COM Extra Delay").
void LoadGangSettings();

// The option block that the single-pass runs and the serial-flash runs over the COM link write:
// the encryption mark (0xFA, 0xAF with the code option, 0xAA with both); with the code option the
// serial number or the fixed bytes, and the protection byte; 0xFF elsewhere.
std::array<uint8_t, 8> CodeOptionBlock();
