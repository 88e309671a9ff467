#include "engine_hid/pause.h"

#include <mutex>

#include "platform/clock.h"

namespace engine_hid {
namespace {
std::mutex clockMutex;
std::function<void(uint32_t)> testClock;
}  // namespace

void Pause(uint32_t ms) {
    std::function<void(uint32_t)> clock;
    {
        std::lock_guard lock(clockMutex);
        clock = testClock;
    }
    if (clock) clock(ms);
    else if (ms > 0) DelayMs(ms);
}

void SetPauseClockForTests(std::function<void(uint32_t ms)> clock) {
    std::lock_guard lock(clockMutex);
    testClock = std::move(clock);
}

}  // namespace engine_hid
