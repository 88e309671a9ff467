#pragma once
// The pauses and elapsed times of the serial-flash runs and of the dialogs that read the flash. The program runs on the steady clock;
// tests put in a clock of their own, so erase bounds and pauses take no real time and a run's
// exchange log shows the pause before each exchange.
#include <cstdint>

namespace serial_flash {

class RunClock {
public:
    virtual ~RunClock() = default;
    virtual void pause(uint32_t ms) = 0;
    virtual double seconds() = 0;
};

RunClock& runClock();
// nullptr puts the steady clock back.
void setRunClockForTests(RunClock* clock);

}  // namespace serial_flash
