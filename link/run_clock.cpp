#include "link/run_clock.h"

#include <atomic>

#include "platform/clock.h"

namespace serial_flash {
namespace {

class SteadyClock final : public RunClock {
public:
    void pause(uint32_t ms) override { DelayMs(ms); }
    double seconds() override { return platform::wallSeconds(); }
};

SteadyClock steady;
std::atomic<RunClock*> current{&steady};

}  // namespace

RunClock& runClock() { return *current; }

void setRunClockForTests(RunClock* clock) { current = clock ? clock : &steady; }

}  // namespace serial_flash
