#include "engine_hid/pause.h"

#include <atomic>

#include "platform/clock.h"

namespace engine_hid {
namespace {
std::atomic<uint32_t> pausePercent{100};
std::function<void(uint32_t)> pauseClock;
}

void Pause(uint32_t ms) {
    if (pauseClock) {
        pauseClock(ms);
        return;
    }
    const uint32_t scaled = static_cast<uint32_t>(uint64_t{ms} * pausePercent / 100);
    if (scaled > 0) DelayMs(scaled);
}

void SetPauseScaleForTests(uint32_t percent) { pausePercent = percent; }

void SetPauseClockForTests(std::function<void(uint32_t ms)> clock) { pauseClock = std::move(clock); }

}  // namespace engine_hid
