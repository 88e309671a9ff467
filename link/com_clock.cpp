#include "link/com_clock.h"

#include <atomic>
#include <chrono>

#include "core/globals.h"
#include "link/serial_port.h"
#include "platform/clock.h"

namespace {

class RealClock final : public ComClock {
public:
    void stepBegins() override {}
    // The waiting thread reads the reply itself: one wake-up per step.
    bool waitReply(uint32_t ms) override {
        return g_SerialPort.WaitForReply(g_hReplyEvent, std::chrono::milliseconds(ms));
    }
    void pause(uint32_t ms, PauseKind kind) override {
        if (kind == PauseKind::RunEnd)
            platform::sleepMs(ms);
        else
            g_hStopEvent.wait(std::chrono::milliseconds(ms));
    }
    bool letGo(uint32_t quietMs, uint32_t limitMs) override {
        return g_SerialPort.WaitForQuiet(std::chrono::milliseconds(quietMs), std::chrono::milliseconds(limitMs));
    }
};

RealClock realClock;
std::atomic<ComClock*> installed{&realClock};

}  // namespace

void SetComClockForTests(ComClock* clock) { installed = clock ? clock : &realClock; }

ComClock& CurrentComClock() { return *installed; }

bool ComPause(uint32_t ms, PauseKind kind) {
    if (ms > 0 && (kind == PauseKind::RunEnd || !g_hStopEvent.isSet())) CurrentComClock().pause(ms, kind);
    return kind == PauseKind::RunEnd || !g_hStopEvent.isSet();
}

bool ComLetGo(uint32_t quietMs, uint32_t limitMs) { return CurrentComClock().letGo(quietMs, limitMs); }
