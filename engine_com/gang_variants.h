#pragma once
// The gang engine variants: further worker tasks of the IC page for the gang board, built and
// tested but started by no command of the window. Each takes the page, owns its run from the
// first frame to the last and clears g_bTaskWorking as its last step on every path.
#include <span>

class WorkerPage;

// Erase, chip ID, 64-byte blocks, read-back of each socket on the computer, option block; and
// its verify-only twin.
void GangProgramThreadOld(WorkerPage& page);
void GangVerifyThreadOld(WorkerPage& page);
// The second handshake ("R23216") with the chip ID of modes 5 and 6, one stop for all sockets;
// read-back (B) or on-target (B2) verify, each with its verify-only twin.
void GangProgramThreadB(WorkerPage& page);
void GangVerifyThreadB(WorkerPage& page);
void GangProgramThreadB2(WorkerPage& page);
void GangVerifyThreadB2(WorkerPage& page);
// Handshake C ("R27348") with the chip ID of modes 7 and 8 in the scan, 128-byte program blocks,
// on-target verify; 128B erases with 0F 12, keeps one bar and holds the page 10 s at its end.
void GangProgramThread128(WorkerPage& page);
void GangProgramThread128B(WorkerPage& page);
void GangVerifyThreadC(WorkerPage& page);
// The runs on the socket helpers: the chip mode's handshake and chip ID in both scans.
void GangProgramThreadCompact(WorkerPage& page);
void GangVerifyThreadCompact(WorkerPage& page);

// Handshake A ("RQ2728") and the protection bytes 0xA5 and 0x5A: the image a byte a frame into
// every found target at once, a read-back of each in 32-byte blocks, the option block through the
// second command set; the twin that only verifies and writes the option block into a part that
// holds none; the MTP run, which compares on the target and writes the option block a byte at a
// time with busy polls; and the verify-only run that compares on the target up to the option block.
void GangByteProgramThread(WorkerPage& page);
void GangByteVerifyThread(WorkerPage& page);
void GangProgramMtpThread(WorkerPage& page);
void GangVerifyThreadA(WorkerPage& page);
// Single-pass runs without socket power, LEDs or counters: whatever target the link reaches is
// erased, programmed in 32-byte frames, given its option block and key page and read back; the
// broadcast run first scans the sockets, programs every target found at once and reads each back
// alone, showing icons only on the sockets its scan found; code from a start address must end by
// the option offset in every one of them; the 8-byte run, the timed run (on-target verify,
// encryption mark), the program-only and the verify-only runs use 8-byte frames; and the
// page-range and whole-chip erases.
void GangSingleProgramThread(WorkerPage& page);
void GangBroadcastProgramThread(WorkerPage& page);
void GangSingleProgram8Thread(WorkerPage& page);
void GangTimedProgramThread(WorkerPage& page);
void GangProgramOnlyThread(WorkerPage& page);
void GangVerifyOnlyThread(WorkerPage& page);
void GangPageEraseThread(WorkerPage& page);
void GangChipEraseThread(WorkerPage& page);
// Link tries: one 0x00 byte; a thousand handshakes; the option block's first byte reset to 0xFF,
// after which the page opens its port again.
void GangZeroByteTestThread(WorkerPage& page);
void GangHandshakeTestThread(WorkerPage& page);
void GangOptionByteResetThread(WorkerPage& page);

struct GangVariant {
    const char* name;
    void (*entry)(WorkerPage&);
};
// Every variant, for the tests and benchmarks that run them all.
std::span<const GangVariant> GangVariants();
