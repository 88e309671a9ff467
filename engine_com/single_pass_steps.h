#pragma once
// The steps of the single-pass runs: the target (or every target the board's switches reach at
// once) is put into ISP mode, erased, programmed, given its option block and key page, verified
// and let go, with neither socket power, LEDs nor counters. Each run is a short sequence of
// these; how it differs from the reference run is its plan.
#include <array>
#include <cstdint>
#include <optional>

#include "core/worker_page.h"
#include "engine_com/gang_steps.h"

namespace engine_com {

// One 32-byte data or read frame a block, or four 8-byte frames, each at its own address.
enum class BlockFrames { Wide, Eight };
struct SinglePlan {
    int startButton;               // disabled while the run goes on: Auto., Program or Verify
    bool texts = true;             // a step's own text before the time-out message
    bool extraDelay = true;        // g_nComExtraDelay between the handshake and the stop
    BlockFrames frames = BlockFrames::Wide;
    bool finishEachFrame = false;  // a finish after every data frame, not after every block
    bool icons = true;             // result icons on sockets 1 to 4
    bool compared = true;          // a verify compares the code and option block written, else the target's report judges the code and the block is read back
};

// One single-pass run: the gang run's flags and image, and the high address byte last sent,
// which every stage hands on to the next.
struct SinglePass {
    SinglePass(WorkerPage& page, const SinglePlan& p) : run(page), plan(p) {}
    GangRun run;
    SinglePlan plan;
    uint16_t hi = 0xFF;
    bool serialInImage = false;  // the patched option block takes its number as it goes out
    bool serialTaken = false;
    bool greeted = false;        // a handshake went out: the end lets the target go
    std::array<bool, kSocketCount> held{};  // greeted by the broadcast scan and not let go yet
    std::optional<std::array<uint8_t, 8>> optionSent;  // the option block sent after the code, read back with it
    double verifyStart = 0;
};

// Busy flag, buttons, settings, image and the gate of every run that takes one (StartRun), the
// 64-byte block buffer when asked, the COM port.
bool StartSinglePass(SinglePass& sp, bool blockBuffer);
// With the code option, an image that reaches the option block gets the block patched in and is
// cut after it; with OrMark and without the code option such an image gets the encryption mark
// 0xFA in its first byte. Mark patches no block: with encryption on, such an image gets the mark
// 0xA in the low four bits of its byte where they lack it, its high four bits kept. Sets the
// length S and the bar; refuses a key page on the code.
enum class OptionPatch { Mark, CodeOption, CodeOptionOrMark };
bool PatchOptionBlock(SinglePass& sp, OptionPatch patch);
// The bar over the 32-byte blocks of S (the verify-only run: the code up to the option block that
// every program run writes alike, as the start leaves S).
void ScaleBlocks(SinglePass& sp);
// Handshake and stop of the target's program.
bool EnterIsp(SinglePass& sp);
// The whole chip from start address 0, else every page from the start address's to the flash's
// end; then the time it took and a 500 ms pause.
bool EraseTarget(SinglePass& sp);
bool EraseChip(SinglePass& sp);
// Pages first to first + count - 1; the bar counts them.
bool ErasePages(SinglePass& sp, uint32_t first, uint32_t count);
// Image offsets 0 to S-1 from the start address, 32 bytes a block, after "Begin programming"
// where the member logs it; closingLine takes the time.
bool ProgramTarget(SinglePass& sp, const char* closingLine);
// The option block after an image that did not reach it, when encryption or the code option ask
// for one.
bool WriteSingleOptionBlock(SinglePass& sp);
// The key page (page 0x40) with "Key Write" and encryption on; erased first when asked. A key
// byte the target reports not landed ends the run failed.
bool WriteKeyBytes(SinglePass& sp, bool erasePage);
// The encryption mark at the option offset, written when the target's byte lacks it, and read
// back: a byte whose low four bits are not 0xA then fails the run.
bool MarkEncryption(SinglePass& sp);
// Reads every block back and compares it on the computer, and the option block after it when that
// went out on its own.
bool VerifyByReadBack(SinglePass& sp);
// After a broadcast: each found target read back alone, through its own switch, judged by its
// own bytes, given its key page, judged by its own replies, and let go; a target that differs,
// whose read-back reply is lost or whose key did not land fails alone. Then the closing line,
// when all passed.
bool VerifyEachFound(SinglePass& sp, const char* line);
// Hands every block to the target to compare, with a compare result every 64 bytes and after the
// last block; the tail is read back.
bool VerifyOnTarget(SinglePass& sp);
// The leave frame after a verify, its pauses, and the closing line with the verify's time.
void CloseVerify(SinglePass& sp, uint32_t pauseMs, const char* line);
// The board scan of the broadcast run: multiplexer, wake-up line, each socket's handshake, then
// the switches of the found sockets closed together and their targets stopped. Each socket is
// marked found or empty as the scan reaches it; the run starts with all marked empty.
bool ScanForBroadcast(SinglePass& sp);
// Time-out message, buffers freed, the leave frame of an unfinished run (to every socket a
// broadcast greeted and has not let go, however it ended), result icons (none on a socket marked
// empty), serial number, port closed, start button back, busy flag cleared.
void EndSinglePass(SinglePass& sp);

// The erase runs: a page range within the flash; the port, handshake and stop (waited for or
// not); the leave frame after the erase; a time-out shown and the target let go, as after Cancel.
bool CheckPageRange(SinglePass& sp, const WorkerPage::PageRange& range);
bool EnterEraseRun(SinglePass& sp, bool waitForStop);
void LeaveErasedTarget(SinglePass& sp, double start);
void EndEraseRun(SinglePass& sp);

}  // namespace engine_com
