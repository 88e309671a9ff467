#pragma once
// The serial-flash jobs over the gang board's COM link instead of HID: the board's own serial
// flash through its frames F0 20 to F0 25, and target pages through the target frames. Nothing
// in the window starts them. Each works on the port its starter opened, is a sequence of COM
// steps (tag, frame, 500 ms for control frames and 800 ms for data frames), looks at the stop
// event between blocks, and on every path frees its buffers, leaves the port closed and clears
// g_bTaskWorking last. The dump, verify, program and full runs first open the port again at
// 115200 when they ran at another speed; the erase runs only close it. A time-out ends the run
// with "Wait COM port timeout, pls check MCU and COM port status!"; a program frame or chip erase
// the serial flash answers as refused ends it with a message that names it.
#include <cstdint>
#include <span>

#include "sfpage/dump_sf_dlg.h"
#include "sfpage/sf_workers.h"

class WorkerPage;

extern uint32_t g_dwSfConfigAddr;     // where the full runs' configuration records lie

constexpr uint32_t kSfComBlock = 32;
constexpr uint32_t kSfComKeyAddr = 0x4000;
constexpr uint32_t kSfComMarkAddr = 0x5000;
constexpr uint32_t kSfComMarkBits = 10;

// Target flash pages of 256 bytes: the first and how many.
struct PageRange {
    uint32_t first = 0;
    uint32_t count = 0;
};

// Reads the request's pages in 32-byte blocks and writes the dump file.
void DumpSFComThread(WorkerPage& dialog, const DumpRequest& request);
// Clears the status register and erases the chip.
void EraseSFComThread(WorkerPage& page);
// In place of a chip erase, programs a marker of ten zero bits at 0x5000 and reads it back.
void EraseSFMarkComThread(WorkerPage& page);
// Compares the serial flash from the ISP start address with the image file.
void VerifySFComThread(WorkerPage& page, const SfRun& run);
// Programs the image from the ISP start address, then the option block and the key. An option
// block that would cross a 256-byte page, or lie past the chip model's flash, is refused before
// the first frame.
void ProgramSFComThread(WorkerPage& page, const SfRun& run);
// Erases, programs the image as its type asks, writes the configuration records and verifies.
// The records start the adapter at the INI file's next serial number; an adapter that numbers a
// limited quantity of parts takes that range from the file before the first frame. An option
// address whose block lies past the chip model's flash or that leaves no code before it, and
// code that reaches the records at +16 to +95, are refused before both.
void AutoSFComThread(WorkerPage& page, const SfRun& run);
// The full run with the protection prompts, the encoded quantity and the board's end command.
void AutoSFSerialComThread(WorkerPage& page, const SfRun& run);
// Erases target flash pages through the target frames; a range beyond the chip model's flash
// is refused before any frame.
void ErasePagesComThread(WorkerPage& page, const PageRange& pages);

// bits / 8 bytes 0x00, then 0xFF shifted right by bits % 8, as far as out reaches.
void BuildBitMask(uint32_t bits, std::span<uint8_t> out);
// The zero bits before the first set bit, most significant bit of each byte first; all the
// bits when none is set.
uint32_t CountLeadingZeroBits(std::span<const uint8_t> bytes);
