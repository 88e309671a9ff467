#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace platform {

uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform

void DelayMs(uint32_t ms) {
    using namespace std::chrono;
    // "More than ms milliseconds": at least ms + 1, as a tick counter would see it.
    std::this_thread::sleep_until(steady_clock::now() + milliseconds(ms) + microseconds(1));
}
