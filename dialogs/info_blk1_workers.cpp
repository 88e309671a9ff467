#include "dialogs/info_blk1_workers.h"

#include <algorithm>
#include <optional>

#include "core/globals.h"
#include "engine_com/gang_steps.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "platform/strfmt.h"

std::atomic<uint32_t> g_bInfoBlk1Busy{0};

// The page's pauses are the link's, heard as a gang run's are.
using engine_com::GangPause;

namespace {

constexpr uint32_t kFrameBytes = 8;
constexpr uint32_t kBlockBufferSize = 64;
constexpr uint32_t kDefaultBaudRate = 115200;
constexpr uint32_t kSpeedChangePauseMs = 500;
constexpr uint32_t kPageErasePauseMs = 40;
const char* const kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

enum Tag : uint8_t {
    kTagRead = 0x02,
    kTagLinkStart = 0x03,
    kTagStopMcu = 0x04,
    kTagHiByte = 0x05,
    kTagData = 0x06,
    kTagPageErase = 0x0C,
    kTagFinish = 0x0D,
    kTagLeave = 0x10,
    kTagOpen = 0x15,
    kTagShut = 0x16,
    kTagCmd40 = 0x17,
};

template <class Send>
bool Step(uint8_t tag, Send send, uint32_t waitMs) {
    ComBeginStep(tag);
    send();
    return ComWaitReply(waitMs);
}

// The wait cursor goes up before the first frame.
void Begin(InfoBlk1Page& page) { page.setBusyCursor(true); }

// The link start when the target is not in ISP mode yet, then the MCU stop.
bool Opening() {
    if (!g_bInfoBlk1Busy) {
        if (!Step(kTagLinkStart, ComIspStart, 500)) return false;
        g_bInfoBlk1Busy = 1;
    }
    return Step(kTagStopMcu, ComIspStopMcu, 500);
}

// The target's memory access is opened with 0A/62 at high address byte 0.
bool OpenAccess() {
    return Step(kTagOpen, ComIspCmd0A62, 500) && Step(kTagHiByte, [] { return ComIspTransHiByte(0); }, 500);
}

bool CloseAccess() { return Step(kTagShut, ComIspCmd0A60, 500) && Step(kTagCmd40, ComIspCmd40, 500); }

// False when the port did not open again at the new speed (the operator is told) or Cancel cut
// its pause: the operation ends there.
bool SpeedChange(InfoBlk1Page& page) {
    if (g_nComBaudRate == kDefaultBaudRate) return true;
    if (!ComChangeBaudRate()) {
        page.messageBox(engine_com::kPortText, platform::MsgIcon::Error);
        return false;
    }
    return GangPause(kSpeedChangePauseMs);
}

// The let-go of the close (and Reset's own): its pauses are taken in full whatever Cancel says.
void Leave() {
    ComBeginStep(kTagLeave);
    ComIspLeave();
    for (int i = 0; i < 3; ++i) GangPause(1, PauseKind::RunEnd);
    g_bInfoBlk1Busy = 0;
}

enum class Ending { WithLeave, LeaveSent };

void Close(InfoBlk1Page& page, bool timedOut, Ending ending) {
    if (timedOut) {
        // An unanswered step leaves the target's ISP mode in doubt: the next start sends the link start.
        g_bInfoBlk1Busy = 0;
        page.messageBox(kTimeoutText, platform::MsgIcon::Error);
    }
    if (g_nComBaudRate != kDefaultBaudRate) ComReopenPort();
    g_pBlockBuf.release();
    if (ending == Ending::WithLeave) Leave();
    ComClosePort();
    page.setBusyCursor(false);
    g_bTaskWorking = false;
}

}  // namespace

void InfoBlk1ReadThread(InfoBlk1Page& page) {
    Begin(page);
    if (!g_pBlockBuf.allocate(kBlockBufferSize)) {
        page.messageBox(strfmt("Error allocating data buffer memory for %d  bytes\n", kBlockBufferSize),
                        platform::MsgIcon::Information);
        Close(page, false, Ending::WithLeave);
        return;
    }
    std::array<uint8_t, kInfoBlk1Bytes> bytes;
    bytes.fill(0xFF);
    bool timedOut = !Opening() || !OpenAccess();
    std::optional<uint32_t> shortRead;
    for (uint32_t a = 0; !timedOut && !shortRead && a < kInfoBlk1Bytes; a += kFrameBytes) {
        if (g_hStopEvent.isSet()) return Close(page, false, Ending::WithLeave);
        g_pBlockBuf.takeStoredCount();
        timedOut = !Step(kTagRead, [a] { return ComIspRead8(static_cast<uint8_t>(a)); }, 500);
        // A reply with fewer bytes than asked for is a failed read, not the bytes of the one before.
        if (!timedOut && g_pBlockBuf.takeStoredCount() < kFrameBytes) shortRead = a;
        if (!timedOut && !shortRead) std::copy_n(g_pBlockBuf.data(), kFrameBytes, bytes.begin() + a);
    }
    timedOut = timedOut || !CloseAccess();
    if (shortRead && !timedOut) page.messageBox(strfmt("Read fail at 0x%08X!", *shortRead), platform::MsgIcon::Error);
    if (!timedOut && !shortRead) page.showGridBytes(bytes);
    Close(page, timedOut, Ending::WithLeave);
}

void InfoBlk1WriteThread(InfoBlk1Page& page) {
    Begin(page);
    const std::array<uint8_t, kInfoBlk1Bytes> bytes = page.gridBytes();
    bool timedOut = !Opening() || !OpenAccess();
    // Nothing reads the bytes back: a frame the target reports as not landed ends the writes.
    std::optional<uint32_t> failedAt;
    for (uint32_t a = 0; !timedOut && !failedAt && a < kInfoBlk1Bytes; a += kFrameBytes) {
        if (g_hStopEvent.isSet()) return Close(page, false, Ending::WithLeave);
        const std::span<const uint8_t, kFrameBytes> data(bytes.data() + a, kFrameBytes);
        timedOut = !Step(kTagData, [&] { return ComIspTrans8Data(static_cast<uint8_t>(a), data); }, 800);
        const std::optional<uint8_t> status = TargetWriteStatus();
        timedOut = timedOut || !Step(kTagFinish, ComIspCmdFinish, 800);
        if (!timedOut && status && (*status & kWriteFailed)) failedAt = a;
    }
    timedOut = timedOut || !CloseAccess();
    if (failedAt && !timedOut) page.messageBox(strfmt("Program memory error at 0x%X!!!", *failedAt), platform::MsgIcon::Error);
    Close(page, timedOut, Ending::WithLeave);
}

// Cancel in a pause ends the erase there: no finish follows a cut page-erase pause, and the
// close lets the target go.
void InfoBlk1EraseThread(InfoBlk1Page& page) {
    Begin(page);
    bool timedOut = !Opening();
    if (!timedOut && SpeedChange(page)) {
        timedOut = !OpenAccess() || !Step(kTagPageErase, ComIspCmd18, 800);
        if (!timedOut && GangPause(kPageErasePauseMs))
            timedOut = !Step(kTagFinish, ComIspCmdFinish, 800) || !CloseAccess();
    }
    Close(page, timedOut, Ending::WithLeave);
}

// A Reset that ends before its own leave frame (an unanswered opening, Cancel in the speed
// change's pause) leaves the target to the close, which lets it go.
void InfoBlk1ResetThread(InfoBlk1Page& page) {
    Begin(page);
    const bool timedOut = !Opening();
    Ending ending = Ending::WithLeave;
    if (!timedOut && SpeedChange(page)) {
        Leave();
        ending = Ending::LeaveSent;
    }
    Close(page, timedOut, ending);
}
