#pragma once
// The workers' fixed pauses, which give the adapter and the targets their time (after a site
// select, a power-on, a connect, an erase).
#include <cstdint>

namespace engine_hid {

void Pause(uint32_t ms);

// Tests shorten every pause to percent of its length (0 skips them), so runs that exercise
// faults stay fast; the program always makes the full pauses.
void SetPauseScaleForTests(uint32_t percent);

}  // namespace engine_hid
