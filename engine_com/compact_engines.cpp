// The program and verify-only runs written over the socket helpers: each scan connects every
// socket with the chip mode's handshake and chip ID, and the board's switches and LEDs go
// through the helpers' single tags.
#include "core/worker_page.h"
#include "engine_com/gang_variants.h"
#include "engine_com/socket_helpers.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"

using namespace engine_com;
using engine_hid::SaveCounters;
namespace icon = engine_hid::icon;

namespace {

constexpr uint32_t kKeyPageAddr = 0x4000;

// A scan: every socket connected in turn; an unanswered step ends the run by time-out.
bool ConnectEverySocket(GangRun& run) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        const int result = GangConnectSocket(run, socket, run.state);
        // A target that answered counts, also when its chip-ID request or stop goes unanswered.
        run.counted[socket] = run.counted[socket] || run.found(socket);
        if (result == 1) {
            // Unless Cancel ended the run there.
            if (run.running) run.timedOut = true;
            return false;
        }
    }
    return CheckSocketsLeft(run);
}

bool ShowEverySocket(GangRun& run) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (GangShowSocket(run, socket) == 1) {
            run.timedOut = true;
            return false;
        }
        if (run.found(socket))
            engine_hid::ShowSiteFound(run.page, socket);
        else
            engine_hid::ShowSiteMissing(run.page, socket);
    }
    return true;
}

PassPlan CompactPass() {
    PassPlan plan{.readout = Readout::OnTarget, .selection = Selection::Helpers, .blink = LineTags::Helper};
    plan.leave = {1, true};
    return plan;
}

}  // namespace

void GangProgramThreadCompact(WorkerPage& page) {
    GangRun run(page);
    if (StartVariant(run, true, 128) && CheckKeyPage(run, kKeyPageAddr) &&
        OpenBoardPort(run) && ProtectionGuard(run, CodeOptionPrompt::None)) {
        ScaleByBlocks(run, 64);
        if (PowerOnBoard(run) && ConnectEverySocket(run) && ShowEverySocket(run) &&
            EraseTargets(run, VariantErase(AfterErase::ClosePortByDelay)) && ConnectEverySocket(run)) {
            ScaleBySegments(run, run.image.size);
            PassPlan pass = CompactPass();
            pass.segments = true;
            pass.units = run.image.size;
            pass.eraseOnMismatch = true;
            pass.option = OptionPlan{OptionRule::Variant, ComIspTransHiByte, kKeyPageAddr};
            if (ShowEverySocket(run) && StopAllTargets(run) &&
                ProgramBlocks(run, 64, {false, Progress::ByOffset, LineTags::Helper}))
                VerifyEachSocket(run, pass);
        }
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true, LineTags::Helper});
}

void GangVerifyThreadCompact(WorkerPage& page) {
    GangRun run(page);
    if (StartVariant(run, false, 128) && OpenBoardPort(run)) {
        ScaleByBlocks(run, 64);
        if (PowerOnBoard(run) && ConnectEverySocket(run) && ShowEverySocket(run) && ChangeLineSpeed(run)) {
            PassPlan pass = CompactPass();
            pass.blockMessage = true;
            pass.leave = {4, true};
            if (CheckSocketsLeft(run) && ShowEverySocket(run) && StopAllTargets(run)) {
                ScaleByBlocks(run, 64);
                VerifyEachSocket(run, pass);
            }
        }
    }
    EndRun(run, {SaveCounters::No, icon::kBurnVerify, false, LineTags::Helper});
}
