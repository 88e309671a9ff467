#pragma once
#include <cstdint>

namespace platform {

// Milliseconds of a steady clock; wraps like a 32-bit tick counter.
uint32_t tickCount();
// Wall-clock seconds since an arbitrary start, for elapsed-time reports.
double wallSeconds();
void sleepMs(uint32_t ms);

}  // namespace platform

// Returns once more than ms milliseconds have passed. Sleeps rather than spins, so a waiting
// worker leaves the processor to the user interface.
void DelayMs(uint32_t ms);
