#pragma once
// What the gang runs read besides the image: the option block's place and switches, the key
// page, the serial number and the step log. No page fills them; LoadGangSettings takes the
// stored value of each name, else its default (the chip mode's own, or what a HEX file carried).
#include <array>
#include <atomic>
#include <cstdint>

extern uint32_t g_dwOptionAddr;       // offset of the 8-byte option block
extern uint32_t g_bOptionSerial;      // serial number or fixed bytes in option bytes 1 to 3
extern uint32_t g_bGangSerialEnable;  // serial number (1) or g_GangSerialFixed (0)
extern std::array<uint8_t, 3> g_GangSerialFixed;
extern uint32_t g_nGangSerial;        // the number taken last, stepped past once its block is built; 24 bits
// The number the next part gets: "Serial No" as this copy's last take left the INI file, whatever
// became of the part that took the number before it. "S/N Last" shows it.
extern uint32_t g_nGangSerialNext;
extern uint32_t g_bKeyWrite;          // with g_bEncry: write the key page
extern std::array<uint8_t, 16> g_KeyBytes;
extern uint32_t g_bKeyLoaded;          // a HEX file being read carried key bytes
// The key and fixed serial bytes that the HEX files read so far carried (0 before any): a run's
// own where the store holds none.
extern std::array<uint8_t, 16> g_LoadedKeyBytes;
extern std::array<uint8_t, 3> g_LoadedSerialFixed;
extern uint32_t g_dwKeyAddr;          // key page address
extern uint32_t g_bLogSteps;          // step lines in the operation list
extern uint32_t g_nComExtraDelay;     // ms after each socket of a scan
// Option byte 4 of the single-pass runs: 0x00 when the part may be neither read nor programmed,
// else 0x10 when it may not be read, else 0xFF. Nothing sets them; they stay off.
extern uint32_t g_bProtectNoProgram;
extern uint32_t g_bProtectNoRead;
// Per socket: passed its verify in the current run.
extern std::array<std::atomic<uint32_t>, 4> g_bSocketPass;

// Key page of the chip mode g_nChipMode, then each setting as stored, else its default: "Option
// Addr" (the mode's flash size - 8), "ENCRY" (1), "Code Option" (0), "Option Serial" (1), "Gang
// Serial En" (0), "Gang Serial Fixed" and "Key Bytes" (what a HEX file carried, else 0), "Key
// Write" (0), "Log Steps" (0), "COM Extra Delay" (0). "ENCRY" and "Code Option" are on only when
// stored as 1; the other switches take 0 or 1, and any other number gives the default.
void LoadGangSettings();

// The option block that the single-pass runs and the serial-flash runs over the COM link write:
// the encryption mark (0xFA, 0xAF with the code option, 0xAA with both); with the code option the
// serial number or the fixed bytes, and the protection byte; 0xFF elsewhere.
std::array<uint8_t, 8> CodeOptionBlock();
