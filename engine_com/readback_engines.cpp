// The variants that verify each socket by reading its flash back to the computer, with the
// landed handshake: the program run (erase, chip ID after the erase, 64-byte blocks, read-back,
// option block) and its verify-only twin.
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_variants.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"

using namespace engine_com;
using engine_hid::SaveCounters;
namespace icon = engine_hid::icon;

void GangProgramThreadOld(WorkerPage& page) {
    GangRun run(page);
    const SocketHandshake handshake = StandardHandshake();
    if (StartVariant(run, true, 64) && CheckKeyPage(run, g_dwKeyAddr) &&
        OpenBoardPort(run) && ProtectionGuard(run)) {
        ScaleByBlocks(run, 64);
        if (PowerOnBoard(run) && ScanPass(run, {handshake}) && ShowSockets(run) &&
            EraseTargets(run, VariantErase(AfterErase::LostPortOnly, 40)) &&
            ScanPass(run, {handshake, &kFixedIdRule, true, {true, true, true, true}})) {
            ScaleBySegments(run, run.image.size);
            if (ShowSockets(run) && ProgramBlocks(run, 64, {.scaleFirst = false}))
                VerifyEachSocket(run, {.readout = Readout::ReadBack, .selection = Selection::Quiet, .segments = true,
                                       .units = run.image.size, .eraseOnMismatch = true,
                                       .option = OptionPlan{OptionRule::Landed, ComIsp2TransHiByte}});
        }
    }
    EndRun(run, {SaveCounters::Yes, icon::kBurnProgram, true});
}

void GangVerifyThreadOld(WorkerPage& page) {
    GangRun run(page);
    if (StartVariant(run, false, 64) && OpenBoardPort(run)) {
        ScaleByBlocks(run, 64);
        if (PowerOnBoard(run) && ScanPass(run, {StandardHandshake()}) && ShowSockets(run))
            VerifyEachSocket(run, {.readout = Readout::ReadBack, .selection = Selection::Quiet});
    }
    EndRun(run, {SaveCounters::No, icon::kBurnVerify, false});
}
