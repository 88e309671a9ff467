// The variants for the chip family of handshake C ("R27348", tag 0x39): the chip ID of modes 7
// and 8 read in the scan, a second pass of handshakes after the erase, one stop for every socket,
// 128-byte program blocks and the landed on-target verify; and the verify-only twin.
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_variants.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"

using namespace engine_com;
using engine_hid::SaveCounters;
namespace icon = engine_hid::icon;

namespace {

constexpr uint32_t kProgramBlock = 128;
constexpr uint32_t kEndHoldMs = 10000;

SocketHandshake HandshakeC() { return {ComHandshake3, nullptr, {0x39, 0x39, 0x39, 0x39}}; }

// Start and guard, the scan with chip IDs, the erase and the port opened again, then a second
// pass of handshakes over every socket (with g_dwWaitMs after the sockets of waitAfter).
bool EraseAndGreetAgain(GangRun& run, const ErasePlan& erase, std::array<bool, kSocketCount> waitAfter) {
    return StartVariant(run, true, 256) && CheckKeyPage(run, g_dwKeyAddr) &&
           OpenBoardPort(run) && ProtectionGuard(run, CodeOptionPrompt::None) && PowerOnBoard(run) &&
           ScanPass(run, {HandshakeC(), &kFamilyCRule}) && ShowSockets(run) && EraseTargets(run, erase) &&
           ScanPass(run, {HandshakeC(), nullptr, false, waitAfter});
}

// A differing tail is shown.
PassPlan FamilyCPass() {
    PassPlan plan{.readout = Readout::OnTarget, .selection = Selection::Socket4CEndsRun, .rangePerSocket = true};
    plan.resultWaitMs = 1000;
    plan.leave = {1, true};
    return plan;
}

PassPlan ProgramPass(const GangRun& run, bool oneBar) {
    PassPlan plan = FamilyCPass();
    plan.segments = oneBar;
    plan.rangePerSocket = !oneBar;
    plan.units = run.image.size;
    plan.eraseOnMismatch = true;
    plan.option = OptionPlan{OptionRule::Variant, ComIspTransHiByte};
    return plan;
}

}  // namespace

void GangProgramThread128(WorkerPage& page) {
    GangRun run(page);
    if (EraseAndGreetAgain(run, VariantErase(AfterErase::ClosePort), {true, false, false, false}) &&
        ShowSockets(run) && StopAllTargets(run)) {
        ScaleByBlocks(run, kProgramBlock);
        if (ProgramBlocks(run, kProgramBlock, {false, Progress::ByBlock})) VerifyEachSocket(run, ProgramPass(run, false));
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true});
}

void GangProgramThread128B(WorkerPage& page) {
    GangRun run(page);
    ErasePlan erase = VariantErase(AfterErase::ClosePort);
    erase.chipErase = ComIspEraseChip2;
    erase.finishPause = 100;
    if (EraseAndGreetAgain(run, erase, {true, true, false, false})) {
        ScaleBySegments(run, run.image.size);
        if (ShowSockets(run) && StopAllTargets(run) && ProgramBlocks(run, kProgramBlock, {false, Progress::ByOffset}))
            VerifyEachSocket(run, ProgramPass(run, true));
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true, LineTags::PerLine, kEndHoldMs});
}

void GangVerifyThreadC(WorkerPage& page) {
    GangRun run(page);
    if (StartVariant(run, false, 256) && OpenBoardPort(run)) {
        ScaleByBlocks(run, 64);
        if (PowerOnBoard(run) && ScanPass(run, {HandshakeC(), &kFamilyCRule}) && ShowSockets(run)) {
            if (run.pause(g_nComExtraDelay) && StopAllTargets(run)) VerifyEachSocket(run, FamilyCPass());
        }
    }
    EndRun(run, {SaveCounters::No, icon::kBurnVerify, false});
}
