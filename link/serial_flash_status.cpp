#include "link/serial_flash_status.h"

#include "core/worker_page.h"
#include "link/hid_commands.h"
#include "link/run_clock.h"
#include "platform/strfmt.h"

namespace serial_flash {
namespace {

constexpr uint32_t kPollMs = 10;

}  // namespace

bool waitWhileBusy(WorkerPage& page, bool (*stopped)()) {
    const double start = runClock().seconds();
    uint8_t status = 0;
    while (status == 0) {
        if (stopped && stopped()) return false;
        if (!HidSfReadStatus({&status, 1})) {
            page.messageBox("Serial flash status read failed!", platform::MsgIcon::Error);
            return false;
        }
        runClock().pause(kPollMs);
        if (status == 0 && runClock().seconds() - start > kSfEraseBoundSeconds) {
            page.messageBox(strfmt("Serial flash erase did not finish within %u seconds!", kSfEraseBoundSeconds),
                            platform::MsgIcon::Error);
            return false;
        }
    }
    return true;
}

bool eraseSerialFlash(WorkerPage& page) {
    if (HidSfCmd31()) return waitWhileBusy(page);
    page.messageBox("Serial flash erase command failed!", platform::MsgIcon::Error);
    return false;
}

}  // namespace serial_flash
