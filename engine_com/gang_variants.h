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

struct GangVariant {
    const char* name;
    void (*entry)(WorkerPage&);
};
// Every variant, for the tests and benchmarks that run them all.
std::span<const GangVariant> GangVariants();
