// The program run: guard, power and scan, erase, chip ids, 64-byte blocks, compare with
// option block, end.
#include "core/worker_page.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_workers.h"

void GangProgramThread(WorkerPage& page) {
    using namespace engine_com;
    constexpr uint32_t kBlockSize = 64;
    GangRun run(page);
    const SocketHandshake handshake = StandardHandshake();
    // The port opens before the guard, so that a run the guard stops still switches the board off.
    if (StartRun(run, true) && AllocateBlockBuffer(run, kBlockSize) && OpenBoardPort(run) && ProtectionGuard(run) &&
        PowerOnBoard(run) && ScanSockets(run, handshake)) {
        SetProgramProgressScale(run);
        if (ShowSockets(run) && EraseTargets(run) && CheckChipIds(run, handshake) && ProgramBlocks(run, kBlockSize))
            VerifySockets(run, {.programRun = true});
    }
    EndRun(run, {engine_hid::SaveCounters::Yes, engine_hid::icon::kBurnProgram, true});
}
