#include "engine_com/socket_helpers.h"

#include "core/globals.h"
#include "engine_com/gang_settings.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "platform/debug.h"

namespace engine_com {

namespace {

constexpr uint8_t kTagHandshake = 0x39;
constexpr uint8_t kTagChipId = 0x3B;

constexpr uint8_t kId23208[] = {0x0F, 'R', '2', '3', '2', '0', '8', 0xFF};
constexpr uint8_t kId27216[] = {0x0F, 'R', '2', '7', '2', '1', '6', 0xFF};

bool AcceptsByMode(uint8_t mode, uint8_t id) {
    switch (mode) {
    case 7: case 9: case 11: return (id & 0xF0) == 0xF0;
    case 8: return (id & 0xF0) == 0x80;
    case 10: case 12: return id >= 0x80;
    default: return true;
    }
}

constexpr ChipIdRule kByModeRule = {kTagChipId, ComIspCmd09, AcceptsByMode};

}  // namespace

int GangSetSwitch(GangRun& run, uint32_t n, int on) {
    const ComStep step = SwitchStep(static_cast<int>(n), on == 1, Timeout::End, LineTags::Helper);
    if (run.step(step)) return 0;
    DebugTrace(step.message);
    return 1;
}

int GangSetLed(GangRun& run, uint32_t n, int on) {
    return run.step(LedStep(static_cast<int>(n) + 1, on == 1, Timeout::End, LineTags::Helper)) ? 0 : 1;
}

int GangShowSocket(GangRun& run, int s) {
    const int on = g_bSocketFound[s] != 0 ? 1 : 0;
    const auto led = static_cast<uint32_t>(2 * s);
    // Every step goes out whatever the one before it answered: the switch, then the socket's
    // lower LED, then its upper one, one statement each so that the order is fixed.
    int timedOut = GangSetSwitch(run, static_cast<uint32_t>(s), on);
    timedOut |= GangSetLed(run, led, on);
    timedOut |= GangSetLed(run, led + 1, on);
    return timedOut;
}

uint8_t SendChipHandshake() {
    g_byReplyTag = kTagHandshake;
    switch (g_nChipMode) {
    case 7: case 8: return ComHandshake3() ? 1 : 0;
    case 9: case 10: return ComHandshakeById(kId23208) ? 1 : 0;
    case 11: case 12: return ComHandshakeById(kId27216) ? 1 : 0;
    default: return 0;
    }
}

int CheckChipId(GangRun& run) {
    if (ChipAccepted(kByModeRule)) return 0;
    RefuseChip(run);
    return 2;
}

int GangConnectSocket(GangRun& run, int s, std::array<uint8_t, kSocketCount>& state) {
    // An unanswered switch leaves another socket selected: nothing more is sent to it.
    for (int i = 0; i < kSocketCount; ++i) {
        if (GangSetSwitch(run, static_cast<uint32_t>(i), i == s ? 1 : 0) != 0) return 1;
    }
    int result = 0;
    const bool answered = run.step({kTagHandshake, [] { return SendChipHandshake() != 0; }, kBoardWaitMs, Timeout::Handshake});
    if (!run.running || run.timedOut) return 1;
    if (answered) {
        g_bSocketFound[s] = 1;
        g_byReplyData[0] = 0xFF;
        if (!run.step({kTagChipId, ComIspCmd09, kBoardWaitMs, Timeout::Handshake})) return 1;
        if (CheckChipId(run) == 2) {
            // The refused target has just left ISP mode: it takes no stop frame.
            state[s] = kWrongChip;
            result = 2;
        } else if (!run.step({kTagStopMcu, ComIsp2StopMcu, kBoardWaitMs, Timeout::Handshake})) {
            return 1;
        }
    } else {
        g_bSocketFound[s] = 0;
        state[s] = kEmpty;
        if (!PortOpenedAgain(run, ReopenLostPort())) return 1;
    }
    // Cancel in these pauses ends the run: the caller is told as of an unanswered step.
    if (!run.pause(g_nComExtraDelay) || !run.pause(g_dwWaitMs)) return 1;
    return result;
}

}  // namespace engine_com
