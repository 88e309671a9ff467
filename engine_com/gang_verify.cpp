// The verify-only run: power and scan, one compare pass over the found sockets, end.
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_workers.h"

namespace engine_com {
namespace {

// The bar counts blocks of one socket in steps of the divisor.
void SetVerifyScale(GangRun& run) {
    run.divisor = 1;
    while (run.image.size / (8 * run.divisor) >= 255) ++run.divisor;
    run.page.setProgressRange(0, static_cast<int>(run.dataLength / 64 / run.divisor));
    run.page.setProgressPos(0);
}

}  // namespace
}  // namespace engine_com

void GangVerifyThread(WorkerPage& page) {
    using namespace engine_com;
    GangRun run(page);
    // The same code as the program run programs is compared, up to the option offset.
    if (StartRun(run, false) && AllocateBlockBuffer(run, kVerifyBlock) && OpenBoardPort(run)) {
        SetVerifyScale(run);
        if (PowerOnBoard(run) && ScanSockets(run, StandardHandshake())) {
            const bool shown = ShowSockets(run);
            SetVerifyScale(run);
            if (shown) VerifySockets(run, {.programRun = false});
        }
    }
    EndRun(run, {engine_hid::SaveCounters::No, engine_hid::icon::kBurnVerify, false});
}
