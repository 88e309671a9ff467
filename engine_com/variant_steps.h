#pragma once
// The steps that the gang engine variants add to those of the landed runs (gang_steps.h): the
// start with a block buffer of the variant's size and the refusals before any frame, scans with a
// chip-ID check, the release after the erase, the bar's scales and one pass over the sockets with
// a variant's choices. They end with the landed end.
// Each variant is a short sequence of these and the landed steps, its differences given as
// parameters.
#include <cstdint>
#include <optional>

#include "engine_com/gang_steps.h"

namespace engine_com {

// The landed start, then the block buffer of the variant's size, in which the receive side
// leaves bytes read back.
bool StartVariant(GangRun& run, bool serialNumbers, uint32_t blockBufferSize);
// With "Key Write" and encryption on, a key page at address 0 or on a page that holds code or the
// option block is refused before any frame.
bool CheckKeyPage(GangRun& run, uint32_t keyAddr);

// The chip-ID request of a family and its rule by chip mode. Tag 0x3B leaves the ID in reply
// byte 0, tag 0x37 in byte 1.
struct ChipIdRule {
    uint8_t tag;
    bool (*request)();
    bool (*accepts)(uint8_t chipMode, uint8_t id);
};
extern const ChipIdRule kFixedIdRule;       // 0F 49; modes 2 and 3 name their ID
extern const ChipIdRule kSecondFamilyRule;  // 0F 09; modes 5 and 6 name their ID
extern const ChipIdRule kFamilyCRule;       // 0F 09; modes 7 and 8 name the ID's high nibble
// Whether the reply to the chip-ID request just answered names an accepted chip: a reply
// without its ID byte names none.
bool ChipAccepted(const ChipIdRule& rule);
// A refused chip leaves ISP mode and the operator is told; false when Cancel cut the pause
// after its leave frame, and the run ends there.
bool RefuseChip(GangRun& run);

// One pass of handshakes over the sockets: the landed connect (switches, pause, handshake, stop
// when the handshake has one), the chip ID when the plan reads it, the pauses after each socket.
// Then the sockets left: "No Target IC found!", or a silent stop when none is still good.
struct ScanPlan {
    SocketHandshake handshake;
    const ChipIdRule* chipId = nullptr;
    bool foundOnly = false;  // visits only the sockets found before
    std::array<bool, kSocketCount> waitAfter = {true, false, false, false};  // g_dwWaitMs more
};
bool ScanPass(GangRun& run, const ScanPlan& plan);
bool CheckSocketsLeft(GangRun& run);
// Stops the targets of every closed switch at once, with the second command set.
bool StopAllTargets(GangRun& run);

// Pauses of 1 ms after a leave frame, six more on Windows 6.2; false when Cancel cut one, and
// the run ends there.
struct LeavePauses {
    int count = 1;
    bool moreOn62 = false;
};
bool LeaveTarget(GangRun& run, const LeavePauses& pauses);
// How the variants open the port again after the erase. A port that stays closed is shown and
// fails the sockets found, which have just been erased.
enum class AfterErase { LostPortOnly, ClosePort, ClosePortByDelay };
ErasePlan VariantErase(AfterErase after, uint32_t pagePause = 30);

// The bar over L in blocks, with d the least for which n / 8d is below 255.
void ScaleByBlocks(GangRun& run, uint32_t blockSize);
// The bar in segments of units bytes, one for the programming and one per found socket, with d
// the least for which units x segments / d is below 256.
void ScaleBySegments(GangRun& run, uint64_t units);

// The pass over the sockets that verifies each found target on its own: on the target (compare
// frames) or on the computer (read frames), with what the variant does on a mismatch, and the
// option block of a program variant.
enum class Readout { OnTarget, ReadBack };
enum class Selection {
    Quiet,            // an unanswered switch skips the socket
    Socket4CEndsRun,  // as Quiet, but socket 4's switch C ends the run with its message
    Socket4CShown,    // as Quiet, but socket 4's switch C shows its message first
    Helpers,          // the socket helpers' switches, a pause after each
};
struct PassPlan {
    Readout readout;
    Selection selection;
    bool segments = false;  // the bar goes on over each socket's segment, else each starts at 0
    uint64_t units = 0;     // a segment's bytes
    uint64_t leadUnits = 0; // the programming's segment, when it is not of units bytes
    uint32_t readBlock = kVerifyBlock;  // the bytes of a read-back block
    bool rangePerSocket = false;
    LineTags blink = LineTags::PerLine;
    uint32_t tailDataWaitMs = 800;
    uint32_t resultWaitMs = 800;
    bool blockMessage = false;  // "Verified Failure at 0x%x!!!" for a full block too
    bool tailMessage = true;
    bool eraseOnMismatch = false;
    LeavePauses leave = {};
    std::optional<OptionPlan> option = {};
    bool optionOnBlankOnly = false;  // the block goes only to a part whose eight bytes at P read 0xFF
};
bool VerifyEachSocket(GangRun& run, const PassPlan& plan);

}  // namespace engine_com
