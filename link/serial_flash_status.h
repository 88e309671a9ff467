#pragma once
// The adapter's serial flash between runs: an erase keeps it busy, and a busy flash ignores page
// program and page read, so the adapter's page buffer would pass for what it holds. Every run
// that programs, verifies or reads it waits for its status first, as the erase does.
#include <cstdint>

class WorkerPage;

// The wait for a busy serial flash ends with an error after this long.
constexpr uint32_t kSfEraseBoundSeconds = 60;

namespace serial_flash {

// Polls the status byte every 10 ms until it is nonzero (ready). A failed status read, or a
// flash still busy after the bound, is reported and gives false; so does, without a message, a
// stopped that says the run is to stop, asked before each poll.
bool waitWhileBusy(WorkerPage& page, bool (*stopped)() = nullptr);
// Starts the erase of the whole serial flash and waits for it to end, as above.
bool eraseSerialFlash(WorkerPage& page);

}  // namespace serial_flash
