// The variants for the chip family of the second handshake ("R23216", tag 0x39 for socket 1):
// the chip ID of modes 5 and 6 in the first scan, one stop for every socket, and the verify by
// read-back (B) or on the target (B2); each program run with its verify-only twin.
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_variants.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"

using namespace engine_com;
using engine_hid::SaveCounters;
namespace icon = engine_hid::icon;

namespace {

SocketHandshake SecondHandshake() { return {ComHandshake2, nullptr, {0x39, 3, 3, 3}}; }

// Start and guard, the first scan with chip IDs, the erase, the port opened again, the second
// scan and the stop of every found target: the targets are ready for their blocks.
bool EraseAndStop(GangRun& run) {
    if (!(StartVariant(run, true, 128) && CheckKeyPage(run, g_dwKeyAddr) &&
          OpenBoardPort(run) && ProtectionGuard(run, CodeOptionPrompt::None)))
        return false;
    ScaleByBlocks(run, 64);
    return PowerOnBoard(run) && ScanPass(run, {SecondHandshake(), &kSecondFamilyRule}) && ShowSockets(run) &&
           EraseTargets(run, VariantErase(AfterErase::ClosePort)) && ScanPass(run, {SecondHandshake()}) &&
           ShowSockets(run) && StopAllTargets(run);
}

// The verify-only start: the first scan with chip IDs; VB2 changes the line speed and shows the
// sockets once more before the stop.
bool FindAndStop(GangRun& run, bool changeSpeed) {
    if (!(StartVariant(run, false, 128) && OpenBoardPort(run))) return false;
    ScaleByBlocks(run, 64);
    if (!(PowerOnBoard(run) && ScanPass(run, {SecondHandshake(), &kSecondFamilyRule}) && ShowSockets(run)))
        return false;
    if (changeSpeed && !(ChangeLineSpeed(run) && CheckSocketsLeft(run) && ShowSockets(run))) return false;
    if (!StopAllTargets(run)) return false;
    ScaleByBlocks(run, 64);
    return true;
}

// The family's pass over the sockets. On the target a socket is judged by the compare result
// (the target's answer alone would pass any part); a block that differs there fails the socket
// and erases nothing. B2 keeps one bar over programming and every socket.
PassPlan FamilyPass(Readout readout, bool programRun, const GangRun& run) {
    PassPlan plan{.readout = readout, .selection = Selection::Socket4CShown};
    plan.tailMessage = readout == Readout::ReadBack;
    plan.leave = {readout == Readout::OnTarget && !programRun ? 4 : 1, true};
    if (!programRun) return plan;
    plan.eraseOnMismatch = readout == Readout::ReadBack;
    plan.segments = readout == Readout::OnTarget;
    plan.units = run.dataLength;
    plan.option = OptionPlan{OptionRule::Variant, ComIspTransHiByte};
    return plan;
}

}  // namespace

void GangProgramThreadB(WorkerPage& page) {
    GangRun run(page);
    if (EraseAndStop(run)) {
        ScaleByBlocks(run, 64);
        if (ProgramBlocks(run, 64, {false, Progress::ByBlock})) VerifyEachSocket(run, FamilyPass(Readout::ReadBack, true, run));
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true});
}

void GangVerifyThreadB(WorkerPage& page) {
    GangRun run(page);
    if (FindAndStop(run, false)) VerifyEachSocket(run, FamilyPass(Readout::ReadBack, false, run));
    EndRun(run, {SaveCounters::No, icon::kBurnVerify, false});
}

void GangProgramThreadB2(WorkerPage& page) {
    GangRun run(page);
    if (EraseAndStop(run)) {
        ScaleBySegments(run, run.dataLength);
        if (ProgramBlocks(run, 64, {false, Progress::ByOffset})) VerifyEachSocket(run, FamilyPass(Readout::OnTarget, true, run));
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true});
}

void GangVerifyThreadB2(WorkerPage& page) {
    GangRun run(page);
    if (FindAndStop(run, true)) VerifyEachSocket(run, FamilyPass(Readout::OnTarget, false, run));
    EndRun(run, {SaveCounters::No, icon::kBurnVerify, false});
}
