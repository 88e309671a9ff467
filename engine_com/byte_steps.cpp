#include "engine_com/byte_steps.h"

#include "core/worker_page.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_com {

using namespace engine_hid;

namespace {

constexpr uint32_t kStatusWaitMs = 1000;  // an MTP write and its busy poll
constexpr int kBusyPolls = 5;
constexpr uint8_t kTagHandshakeA = 0x39;
constexpr uint8_t kTagByte = 0x3A;
constexpr uint8_t kTagBusyPoll = 0x3B;
constexpr uint8_t kStatusBusy = 0x08;

// The second LEDs of the found sockets, on or off.
bool SetBusyLeds(GangRun& run, bool on) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (run.found(socket) && !run.step(LedStep(2 * socket + 2, on, Timeout::Message))) return false;
    }
    return true;
}

// The status byte of the target's last write or poll, never the byte of an earlier reply; none
// when the reply carries none.
std::optional<uint8_t> TargetStatus() {
    if (g_nReplyDataSize == 0) return std::nullopt;
    return g_byReplyData[0].load();
}

}  // namespace

SocketHandshake HandshakeA() {
    return {ComHandshake1, ComIspStopMcu, {kTagHandshakeA, kTagHandshakeA, kTagHandshakeA, kTagHandshakeA}};
}

void ScaleForBytes(GangRun& run) {
    while (run.optionAddr / run.divisor >= 255) ++run.divisor;
    run.page.setProgressRange(0, static_cast<int>(run.optionAddr / run.divisor));
    run.page.setProgressPos(0);
}

bool ProgramBytes(GangRun& run, const BytePlan& plan) {
    run.log("Begin programming.............");
    const double start = platform::wallSeconds();
    uint16_t cachedHi = 0xFF;
    // The fill ends with the option block's last byte at P + 7, wherever the code starts.
    const uint64_t blockEnd = uint64_t{run.optionAddr} + 8;
    const uint64_t end = blockEnd > run.startAddr ? blockEnd - run.startAddr : 0;
    for (uint32_t i = 0; i < end; ++i) {
        const bool fill = i >= run.dataLength;
        if (!fill && run.stopRequested()) {
            run.running = false;
            return false;
        }
        const bool blinks = !fill || i >= 32 || plan.blinkEarlyFill;
        if (!fill && i < 32) {
            if (!SetBusyLeds(run, true)) return false;
        } else if (blinks && (i % 32 == 0 || i % 32 == 16) && !SetBusyLeds(run, i % 32 == 0)) {
            return false;
        }
        const uint32_t address = run.startAddr + i;
        const uint8_t hi = static_cast<uint8_t>(address >> 8);
        if (hi != cachedHi) {
            cachedHi = hi;
            if (!run.step({kTagHiByte, [hi] { return ComIsp2TransHiByte(hi); }, kTargetWaitMs, Timeout::Message,
                           "ISP_TRANSHIBYTE!"}))
                return false;
        }
        const uint8_t lo = static_cast<uint8_t>(address);
        const uint8_t value = fill ? 0xFF : run.image.buffer[i];
        if (!run.step({kTagByte, [lo, value] { return ComIsp2Trans1Data(lo, value); }, kTargetWaitMs,
                       Timeout::Message, "ISP_TRANS8DATA!"}))
            return false;
        if (fill && plan.idleTagAfterFill) run.noteTag(kIdleTag);
        run.page.setProgressPos(static_cast<int>(i / run.divisor));
    }
    run.log(strfmt("program successful, elapsed time : %2.1f seconds\n", SecondsSince(start)));
    return SetBusyLeds(run, true);
}

bool WriteOptionBytesPolled(GangRun& run, int socket, const std::array<uint8_t, 8>& block) {
    for (uint32_t b = 0; b < block.size(); ++b) {
        const uint8_t lo = static_cast<uint8_t>(run.optionAddr + b);  // wraps within the page of P
        const uint8_t value = block[b];
        g_byReplyData[0] = 0xFF;
        if (!run.step({kTagByte, [lo, value] { return ComIspTrans1Data(lo, value); }, kStatusWaitMs, Timeout::Silent}))
            return false;
        std::optional<uint8_t> status = TargetStatus();
        if (status && (*status & (kStatusBusy | kWriteFailed)) == 0) continue;
        // A write answered without its status is polled for it; a poll answered without one
        // reports nothing, and the next byte follows.
        int polls = 0;
        while ((!status || (*status & kStatusBusy)) && polls < kBusyPolls) {
            g_byReplyData[0] = 0xFF;
            if (!run.step({kTagBusyPoll, ComIspCmd09p2, kStatusWaitMs, Timeout::Silent})) return false;
            ++polls;
            status = TargetStatus();
            if (!status) break;
        }
        // The fifth poll fails the byte whatever it says.
        if (polls == kBusyPolls) {
            run.page.messageBox(status && (*status & kWriteFailed) ? "program memory may be damage!" : "MTP always busy!",
                                platform::MsgIcon::None);
            run.running = false;
            return false;
        }
        if (!WriteLanded(run, status, run.optionAddr + b, socket)) {
            run.state[socket] = kVerifyFailed;
            return true;
        }
    }
    return true;
}

}  // namespace engine_com
