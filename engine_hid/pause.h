#pragma once
// The workers' fixed pauses, which give the adapter and the targets their time (after a site
// select, a power-on, a connect, an erase).
#include <cstdint>
#include <functional>

namespace engine_hid {

void Pause(uint32_t ms);

// Tests give the workers a clock of their own: each pause is handed to it instead of being
// slept, so runs stay fast and every pause can be checked. An empty function restores the sleep.
void SetPauseClockForTests(std::function<void(uint32_t ms)> clock);

}  // namespace engine_hid
