// Runs that try the COM link: a single 0x00 byte, a thousand handshakes, and the reset of the
// option block's first byte to 0xFF, after which the page opens its port again.
#include <chrono>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_variants.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

using namespace engine_com;
namespace ctl = engine_hid::ctl;

namespace {

constexpr int kHandshakes = 1000;
constexpr auto kRoomWait = std::chrono::seconds(2);

// A frame that nothing waits for, sent under the tag that stands. A full write queue is waited
// out, never skipped, for as long as the open port keeps taking frames.
bool SendWhenRoom(GangRun& run, bool (*frame)()) {
    const auto giveUp = std::chrono::steady_clock::now() + kRoomWait;
    bool sent = false;
    run.sendUnanswered([&] {
        while (!(sent = frame()) && g_SerialPort.IsOpen() && std::chrono::steady_clock::now() < giveUp)
            platform::sleepMs(1);
        return sent;
    });
    return sent;
}

}  // namespace

void GangZeroByteTestThread(WorkerPage& page) {
    g_bTaskWorking = true;
    GangRun run(page);
    if (OpenBoardPort(run)) {
        SendWhenRoom(run, ComSendZeroByte);
        engine_hid::LogAndScroll(page, "test 0");
        run.pause(400);
    }
    g_bTaskWorking = false;
}

void GangHandshakeTestThread(WorkerPage& page) {
    g_bTaskWorking = true;
    GangRun run(page);
    if (OpenBoardPort(run)) {
        engine_hid::LogAndScroll(page, "Begin test.............");
        for (int i = 0; i < kHandshakes && SendWhenRoom(run, ComIspStart); ++i)
            engine_hid::LogAndScroll(page, strfmt("test %d", i));
    }
    g_bTaskWorking = false;
}

// Cancel is given back on every path; the page opens the port again whatever happened.
void GangOptionByteResetThread(WorkerPage& page) {
    g_bTaskWorking = true;
    page.enableControl(ctl::kCancel, true);
    page.enableControl(ctl::kAuto, false);
    page.setProgressPos(0);
    GangRun run(page);
    LoadGangSettings();
    const uint8_t hi = static_cast<uint8_t>(g_dwOptionAddr >> 8);
    const uint8_t lo = static_cast<uint8_t>(g_dwOptionAddr);
    // Past the flash the byte would land where the target takes the address, over code on an
    // MTP part (past 64 KB the high byte wraps it).
    const std::string refusal = OptionBeyondFlashRefusal(g_dwOptionAddr, FlashSizeOfMode(g_nChipMode));
    if (!refusal.empty()) {
        page.messageBox(refusal, platform::MsgIcon::Error);
    } else if (OpenBoardPort(run) && run.step({kTagLinkStart, ComIspStart, kBoardWaitMs, Timeout::Silent}) &&
        run.step({kTagStopMcu, ComIspStopMcu, kBoardWaitMs, Timeout::Silent})) {
        const bool reset =
            ChangeLineSpeed(run) &&
            run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Silent}) &&
            run.step({kTagData1, [lo] { return ComIspTrans1Data(lo, 0xFF); }, kTargetWaitMs, Timeout::Silent});
        // Nothing reads the byte back: the operator hears of a reset the target reports failed.
        if (reset) WriteLanded(run, TargetWriteStatus(), g_dwOptionAddr);
        // A target that Cancel left in ISP mode is let go too.
        if (reset || !run.running) {
            run.leave();
            GangPause(1, PauseKind::RunEnd);
        }
    }
    page.setProgressPos(0);
    page.enableControl(ctl::kCancel, false);
    page.reopenComPort();
    if (g_nComBaudRate != 115200) ComReopenPort();
    page.enableControl(ctl::kAuto, true);
    g_bTaskWorking = false;
}
