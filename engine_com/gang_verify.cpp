// The verify-only run: power and scan, one compare pass over the found sockets, end.
#include <algorithm>

#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_workers.h"

namespace engine_com {
namespace {

// The data length stops 56 bytes short of the option offset (an offset below 56 bounds
// nothing); the bar counts blocks of one socket in steps of the divisor.
void SetVerifyScale(GangRun& run) {
    const uint32_t bound = run.optionAddr - 56;
    run.dataLength = static_cast<uint32_t>(std::min<uint64_t>(run.image.size, bound));
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
    if (StartRun(run, false) && OpenBoardPort(run)) {
        SetVerifyScale(run);
        if (PowerOnBoard(run) && ScanSockets(run, StandardHandshake())) {
            const bool shown = ShowSockets(run);
            SetVerifyScale(run);
            if (shown) VerifySockets(run, {.programRun = false});
        }
    }
    EndRun(run, {engine_hid::SaveCounters::No, engine_hid::icon::kBurnVerify, false});
}
