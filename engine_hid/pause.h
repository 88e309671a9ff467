#pragma once
// The workers' fixed pauses, which give the adapter and the targets their time (after a site
// select, a power-on, a connect, an erase).
#include <cstdint>
#include <functional>

namespace engine_hid {

void Pause(uint32_t ms);

// Tests shorten every pause to percent of its length (0 skips them), so runs that exercise
// faults stay fast; the program always makes the full pauses.
void SetPauseScaleForTests(uint32_t percent);

// Tests that check the pacing of an exchange sequence take each pause's full length here in
// place of the sleep; an empty function restores the sleeps. Set while no worker runs.
void SetPauseClockForTests(std::function<void(uint32_t ms)> clock);

}  // namespace engine_hid
