#include "engine_com/gang_steps.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "core/counter_texts.h"
#include "core/counters.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/worker_page.h"
#include "engine_com/byte_steps.h"
#include "engine_com/gang_settings.h"
#include "link/com_clock.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/durable_file.h"
#include "platform/services.h"
#include "platform/strfmt.h"

namespace engine_com {

using namespace engine_hid;

namespace {

constexpr uint32_t kCompareWaitMs = 1000;
// After a judging step timed out: the quiet that ends the let-go, and the most it may last.
constexpr uint32_t kJudgeQuietWaits = 2;
constexpr uint32_t kJudgeLetGoWaits = 10;
constexpr uint32_t kErasePage = 256;
constexpr int kReopenAttempts = 35;

constexpr uint8_t kTagPowerOn = 0x36;
constexpr uint8_t kTagPowerOff = 0x35;
constexpr uint8_t kTagChipId = 0x37;
constexpr uint8_t kTagReadBack = 0x01;

std::mutex notesLock;
std::function<void(const std::string&)> notesListener;

// The text is only made when someone listens.
template <class... Args>
void Note(const char* format, Args... args) {
    std::function<void(const std::string&)> listener;
    {
        std::lock_guard lock(notesLock);
        if (!notesListener) return;
        listener = notesListener;
    }
    listener(strfmt(format, args...));
}

using LineFrame = bool (*)(int on);
constexpr LineFrame kSwitch[kSocketCount] = {ComSet4066A, ComSet4066B, ComSet4066C, ComSet4066D};
constexpr LineFrame kLed[8] = {ComSetLed1, ComSetLed2, ComSetLed3, ComSetLed4,
                               ComSetLed5, ComSetLed6, ComSetLed7, ComSetLed8};
constexpr char kSwitchLetter[kSocketCount] = {'A', 'B', 'C', 'D'};

constexpr uint8_t kTagHelperSwitch = 0x3D;
constexpr uint8_t kTagHelperLed = 0x3E;

std::string SwitchText(int socket) { return strfmt("ISP_4066%c timeout!", kSwitchLetter[socket]); }

bool IsWindows61or62() { return g_dwOsMajor == 6 && (g_dwOsMinor == 1 || g_dwOsMinor == 2); }

bool OpenPortAgain() {
    return g_SerialPort.InitPort(g_SerialPort.Owner(), g_nComPort, g_nComBaudRate, g_chComParity, g_nComDataBits,
                                 g_nComStopBits, g_dwComEventMask, g_nComWriteBufSize);
}

}  // namespace

ComStep LedStep(int n, bool on, Timeout kind, LineTags tags) {
    const uint8_t tag = tags == LineTags::Helper ? kTagHelperLed : static_cast<uint8_t>(on ? 24 + 2 * n : 23 + 2 * n);
    return {tag, [n, on] { return kLed[n - 1](on ? 1 : 0); }, kBoardWaitMs, kind, strfmt("ISP_LED%d timeout!", n)};
}

ComStep SwitchStep(int socket, bool on, Timeout kind, LineTags tags) {
    const uint8_t tag = tags == LineTags::Helper ? kTagHelperSwitch : static_cast<uint8_t>(0x2C + 2 * socket);
    return {tag, [socket, on] { return kSwitch[socket](on ? 1 : 0); }, kBoardWaitMs, kind, SwitchText(socket)};
}

// Where the system loses the port after an unanswered handshake or a released socket, it is
// opened again, in a bounded number of attempts. False when it stays closed.
bool ReopenLostPort() {
    if (!IsWindows61or62()) return true;
    for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
        g_SerialPort.ClosePort();
        Note("%s", "reopen");
        GangPause(2 * g_nDelayCount, PauseKind::RunEnd);
        const bool opened = OpenPortAgain();
        GangPause(g_nDelayCount, PauseKind::RunEnd);
        if (opened && g_SerialPort.StartMonitoring() && g_SerialPort.IsOpen()) break;
    }
    GangPause(g_nDelayCount, PauseKind::RunEnd);
    return g_SerialPort.IsOpen();
}

namespace {

// Progress divisor: the least d from 1 with n / d below limit (whole numbers).
uint32_t LeastDivisor(uint64_t n, uint64_t limit) {
    uint32_t d = 1;
    while (n / d >= limit) ++d;
    return d;
}

void ShowSocketFound(WorkerPage& page, int socket, bool found) {
    page.setControlIcon(ctl::kSiteIcon1 + socket, found ? icon::kWorking : icon::kIdle);
    page.setControlIcon(ctl::kIndicator1 + socket, found ? icon::kTargetPresent[socket] : icon::kNoTarget[socket]);
}

}  // namespace

bool GivesSerialNumbers() { return g_bOptionSerial && g_bGangSerialEnable; }

uint32_t NumbersPerPart() { return g_bSerialAutoInc ? 1 : 0; }

bool TakeSerialNumber(GangRun& run, uint32_t count) {
    TakeRefusal why = TakeRefusal::None;
    const std::optional<uint32_t> taken = IniTakeSerialNo(g_strIniPath, count, &why);
    const char* const ini = g_strIniPath.c_str();
    // No dialog sets "Serial No": a copy started anew reads the file as it then stands.
    if (why == TakeRefusal::HeldBack)
        return Refuse(run, strfmt("Another copy of the program set Serial No in %s below the numbers this copy gave: "
                                  "start this copy again to go on !",
                                  ini));
    if (why == TakeRefusal::OutOfDate)
        return Refuse(run, strfmt("Another copy of the program may have given numbers from Serial No in %s since this "
                                  "copy last read it: start this copy again to go on !",
                                  ini));
    if (why == TakeRefusal::LockNotOpened)
        return Refuse(run, strfmt("Can not write Serial No to %s : %s can not be opened !", ini,
                                  platform::lockFileOf(g_strIniPath).c_str()));
    if (!taken) return Refuse(run, strfmt("Can not write Serial No to %s !", ini));
    // Above 24 bits the number would repeat from 000000 on the parts.
    if (*taken > kLastSerialNo) return Refuse(run, strfmt("Serial numbers are used up at %06X!", kLastSerialNo));
    g_nGangSerial = *taken;
    g_nGangSerialNext = *taken + count;
    return true;
}

void SetGangNotesForTests(std::function<void(const std::string&)> listener) {
    std::lock_guard lock(notesLock);
    notesListener = std::move(listener);
}

bool GangPause(uint32_t ms, PauseKind kind) {
    if (ms > 0) Note("pause %u", ms);
    return ComPause(ms, kind);
}

GangRun::GangRun(WorkerPage& p) : page(p) {}

bool GangRun::step(const ComStep& s) {
    Note("step %02X %u", s.tag, s.waitMs);
    ComBeginStep(s.tag);
    if (!s.frame() && s.onTimeout != Timeout::End && endsOnStop()) return false;
    if (ComWaitReply(s.waitMs)) {
        unansweredInRow = 0;
        return true;
    }
    ++unansweredInRow;
    Note("%s", "timeout");
    // The pass goes on with steps of the same kind, whose frames a late reply to this one
    // could answer: it is let go by first, and the next frame's write discards it. The next
    // socket's handshake could take a late one as its own target's.
    if (s.onTimeout == Timeout::Verify || s.onTimeout == Timeout::Handshake) ComLetGo(s.waitMs, s.waitMs);
    // A "matched" let through here would pass the next socket's block, whatever it holds.
    if (s.onTimeout == Timeout::Judge && !ComLetGo(kJudgeQuietWaits * s.waitMs, kJudgeLetGoWaits * s.waitMs))
        timedOut = true;
    // One reply lost in a verify fails one part; a board lost there ends the run by time-out, as
    // at every other step. The end's steps and the socket helpers leave that to their caller.
    if (s.onTimeout != Timeout::End && boardLost()) timedOut = true;
    if (s.onTimeout == Timeout::Message || s.onTimeout == Timeout::End)
        page.messageBox(s.message, platform::MsgIcon::Error);
    if (s.onTimeout == Timeout::Message || s.onTimeout == Timeout::Silent) timedOut = true;
    return false;
}

void GangRun::leave() {
    Note("send %02X", kNoWaitTag);
    g_byReplyTag = kNoWaitTag;
    ComIspLeave();
}

void GangRun::sendUnanswered(const std::function<bool()>& frame) {
    Note("send %02X", g_byReplyTag.load());
    frame();
}

void GangRun::noteTag(uint8_t tag) {
    Note("tag %02X", tag);
    g_byReplyTag = tag;
}

void GangRun::log(const std::string& line) {
    if (g_bLogSteps) LogAndScroll(page, line);
}

bool GangRun::boardLost() const { return !g_SerialPort.IsOpen() || unansweredInRow > 1; }

bool GangRun::pause(uint32_t ms) {
    if (GangPause(ms)) return true;
    running = false;
    return false;
}

bool GangRun::stopRequested() const {
    return g_hStopEvent.wait(std::chrono::milliseconds(0)) == platform::WaitResult::Signalled;
}

bool GangRun::endsOnStop() {
    if (!stopRequested()) return false;
    running = false;
    return true;
}

bool GangRun::found(int socket) const { return g_bSocketFound[socket] == 1; }

bool Refuse(GangRun& run, const std::string& text) {
    run.page.messageBox(text, platform::MsgIcon::Error);
    run.running = false;
    return false;
}

namespace {

constexpr uint32_t kOptionBlockBytes = 8;
constexpr uint32_t kOptionPage = 256;

}  // namespace

std::string OptionBeyondFlashRefusal(uint32_t optionAddr, uint64_t flashSize) {
    if (uint64_t{optionAddr} + kOptionBlockBytes <= flashSize) return {};
    return strfmt("Option address 0x%X lies beyond the flash of 0x%X bytes!", optionAddr, static_cast<uint32_t>(flashSize));
}

std::string NoCodeBeforeOptionRefusal(uint32_t optionAddr, uint32_t codeLength) {
    if (codeLength != 0) return {};
    return strfmt("Option address 0x%X leaves no code to program!", optionAddr);
}

namespace {

// The refusals of the gate. Each gives the text the operator reads, or nothing for an image and
// settings it has no quarrel with.

// The block goes to P whether the image reaches it or not.
std::string OptionPastFlashRefusal(const GangRun& run) {
    return OptionBeyondFlashRefusal(run.optionAddr, FlashSizeOfMode(g_nChipMode));
}

std::string CodeBeyondFlashRefusal(const GangRun& run) {
    const uint64_t flash = FlashSizeOfMode(g_nChipMode);
    if (uint64_t{run.startAddr} + run.dataLength <= flash) return {};
    return strfmt("Start address 0x%X and 0x%X bytes of code lie beyond the flash of 0x%X bytes!", run.startAddr,
                  run.dataLength, static_cast<uint32_t>(flash));
}

// A verify-only run too: with no code to compare every part would pass unchecked.
std::string NoCodeRefusal(const GangRun& run) {
    if (run.image.size == 0) return {};
    return NoCodeBeforeOptionRefusal(run.optionAddr, run.dataLength);
}

// The option block would be written over programmed code, and the guard would have looked at
// other bytes than those that land there.
std::string CodeOverOptionRefusal(const GangRun& run) {
    if (run.dataLength == 0 || uint64_t{run.startAddr} + run.dataLength <= run.optionAddr) return {};
    return strfmt("Start address 0x%X and 0x%X bytes of code reach the option block at 0x%X!", run.startAddr,
                  run.dataLength, run.optionAddr);
}

// The block goes out under one high address byte: across a page its last bytes would land at
// the start of the same page, over code.
std::string OptionPageRefusal(const GangRun& run) {
    if (run.optionAddr % kOptionPage <= kOptionPage - kOptionBlockBytes) return {};
    return strfmt("Option address 0x%X puts the option block across two 256-byte pages!", run.optionAddr);
}

// No frame programs or compares bytes after the option block; the erased value is what every
// part holds there.
std::string PastOptionRefusal(const GangRun& run) {
    const uint8_t* image = run.image.buffer.data();
    const uint8_t* end = image + run.image.size;
    const uint8_t* past = image + std::min<uint64_t>(run.image.size, uint64_t{run.optionAddr} + kOptionBlockBytes);
    const uint8_t* kept = std::find_if(past, end, [](uint8_t b) { return b != 0xFF; });
    if (kept == end) return {};
    return strfmt("The image holds bytes from 0x%X on, past the option block at 0x%X!",
                  static_cast<uint32_t>(kept - image), run.optionAddr);
}

// In the order the operator meets them; a refusal added here reaches every engine.
constexpr std::string (*kGate[])(const GangRun&) = {OptionPastFlashRefusal, CodeBeyondFlashRefusal, NoCodeRefusal,
                                                    CodeOverOptionRefusal, OptionPageRefusal, PastOptionRefusal};

}  // namespace

bool StartRun(GangRun& run, bool serialNumbers, platform::MsgIcon refusalIcon, int startButton) {
    g_bTaskWorking = true;
    run.page.enableControl(ctl::kCancel, true);
    run.page.enableControl(startButton, false);
    run.page.showControl(ctl::kProgress, true);
    run.page.setProgressPos(0);
    // The end counts only what this run found and passed.
    g_bSocketFound.fill(0);
    for (auto& pass : g_bSocketPass) pass = 0;
    LoadGangSettings();
    // Before the look at the INI file: a number another copy moved on since this copy's last run
    // shows at the end, also when the run fails before any part takes one.
    run.serialAtStart = g_nGangSerialNext;
    if (serialNumbers && GivesSerialNumbers() && !TakeSerialNumber(run, 0)) return false;
    run.optionAddr = g_dwOptionAddr;
    run.startAddr = g_nIspStartAddr;
    std::optional<RunImage> image = LoadRunImage(run.page, 0xFF, refusalIcon, refusalIcon);
    if (!image) {
        run.running = false;
        return false;
    }
    // The image's own refusals (no code, larger than the flash) are behind; the gate's follow.
    run.image = std::move(*image);
    run.dataLength = static_cast<uint32_t>(std::min<uint64_t>(run.image.size, run.optionAddr));
    for (const auto refusal : kGate) {
        const std::string text = refusal(run);
        if (!text.empty()) return Refuse(run, text);
    }
    return true;
}

bool AllocateBlockBuffer(GangRun& run, uint32_t size) {
    run.holdsBlockBuffer = g_pBlockBuf.allocate(size);
    if (run.holdsBlockBuffer) return true;
    return Refuse(run, strfmt("Error allocating data buffer memory for %d  bytes\n", static_cast<int>(size)));
}

bool ProtectionGuard(GangRun& run, CodeOptionPrompt codeOption, std::span<const ProtectionValue> locking) {
    const uint32_t p = run.optionAddr;
    if (run.image.size < p) return true;
    const uint8_t* option = run.image.buffer.data() + p;
    const bool enabled = (option[0] >> 4) == 0xA;
    const auto locks = std::find_if(locking.begin(), locking.end(), [&](const ProtectionValue& v) { return v.value == option[4]; });
    if (locks != locking.end()) {
        const int kind = locks->kind;
        if (!enabled) {
            run.page.stopPrompt(kind, p + 4);
            return false;
        }
        if (g_bWarnProtect == 1) {
            if (run.page.warnPrompt(kind, p + 4) == 3) return false;
        } else if (g_bProtectContinue == 0) {
            return false;
        }
    }
    if (codeOption == CodeOptionPrompt::Asked && enabled && option[5] == 0xFF && option[6] == 0xFF &&
        option[7] == 0xFF) {
        if (g_bWarnCodeOption == 1) {
            if (run.page.warnPrompt(5, p) == 3) return false;
        } else if (g_bCodeOptionContinue == 0) {
            return false;
        }
    }
    return true;
}

bool OpenBoardPort(GangRun& run) {
    if (ComOpenPort(g_pComPageOwner)) return true;
    return Refuse(run, kPortText);
}

bool PortOpenedAgain(GangRun& run, bool opened) {
    if (opened) return true;
    run.portLost = true;
    return Refuse(run, kPortText);
}

SocketHandshake StandardHandshake() { return {ComIspStart, ComIspStopMcu}; }

bool PowerOnBoard(GangRun& run) {
    run.log("IC socket power on!");
    if (!run.step({kTagPowerOn, [] { return ComSet2501(1); }, kBoardWaitMs, Timeout::Message, "2501 Hi Timeout!"}))
        return false;
    if (!run.pause(g_dwWaitMs) || !run.pause(70)) return false;
    if (!run.step({kTagMultiplexer, [] { return ComSet4053(0); }, kBoardWaitMs, Timeout::Message,
                   "ISP_4053 timeout!"}))
        return false;
    return run.pause(g_dwWaitMs);
}

bool SelectSocket(GangRun& run, int socket, Timeout kind) {
    for (int line = 0; line < kSocketCount; ++line) {
        if (run.step(SwitchStep(line, line == socket, kind))) continue;
        if (line == 0 && kind == Timeout::Message) DebugTrace(strfmt("ISP_4066A %d timeout!", socket + 1));
        return false;
    }
    return true;
}

Reach ConnectSocket(GangRun& run, int socket, const SocketHandshake& handshake) {
    if (!SelectSocket(run, socket, Timeout::Message) || !run.pause(g_dwWaitMs)) return Reach::Ended;
    if (!run.step({handshake.tags[socket], handshake.send, kBoardWaitMs, Timeout::Handshake})) {
        if (!run.running || run.timedOut) return Reach::Ended;
        g_bSocketFound[socket] = 0;
        run.state[socket] = kEmpty;
        return PortOpenedAgain(run, ReopenLostPort()) ? Reach::Empty : Reach::Ended;
    }
    g_bSocketFound[socket] = 1;
    if (handshake.stop && !run.step({kTagStopMcu, handshake.stop, kBoardWaitMs, Timeout::Message, "ISP_STOPMCU!"}))
        return Reach::Ended;
    return Reach::Target;
}

bool ScanSockets(GangRun& run, const SocketHandshake& handshake) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        const Reach reach = ConnectSocket(run, socket, handshake);
        // A target that answered counts, also when the run ends at its stop step.
        run.counted[socket] = run.found(socket);
        if (reach == Reach::Ended) return false;
        if (!run.pause(g_nComExtraDelay) || (socket == 0 && !run.pause(g_dwWaitMs))) return false;
    }
    if (AnySiteFound()) return true;
    return Refuse(run, "No Target IC found!");
}

bool ShowSockets(GangRun& run) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        const bool found = run.found(socket);
        if (!run.step(SwitchStep(socket, found, Timeout::Message))) return false;
        if (!run.step(LedStep(2 * socket + 1, found, Timeout::Message))) return false;
        if (!run.step(LedStep(2 * socket + 2, found, Timeout::Message))) return false;
        ShowSocketFound(run.page, socket, found);
    }
    return true;
}

void SetProgramProgressScale(GangRun& run) {
    const uint32_t segments = 1 + static_cast<uint32_t>(std::count(run.counted.begin(), run.counted.end(), true));
    run.divisor = LeastDivisor(run.image.size, 256 / segments);
    run.page.setProgressRange(0, static_cast<int>(run.image.size / run.divisor * segments));
    run.page.setProgressPos(0);
}

bool ChangeLineSpeed(GangRun& run) {
    if (g_nComBaudRate == 115200) return true;
    Note("%s", "speed");
    return PortOpenedAgain(run, ComChangeBaudRate()) && run.pause(500);
}

ErasePlan LandedErase() {
    return {ComIsp2EraseChip, 0, 40, [](GangRun& run) { return PortOpenedAgain(run, ReopenPortAfterErase()); }};
}

bool EraseTargets(GangRun& run, const ErasePlan& plan) {
    if (!ChangeLineSpeed(run)) return false;
    const double start = platform::wallSeconds();
    if (run.startAddr == 0) {
        run.log("Begin erase chip all data.............");
        if (!run.step({kTagErase, plan.chipErase, kBoardWaitMs, Timeout::Message, "ISP_ERASECHIP!"})) return false;
        // Cancel ends the pause an erase needs: no finish follows it, and the run ends there.
        if (!run.pause(plan.finishPause) ||
            !run.step({kTagFinish, ComIsp2CmdFinish, kBoardWaitMs, Timeout::Message, "ISP_CMDFINISH!"}))
            return false;
    } else {
        const uint32_t first = run.startAddr / kErasePage;
        const uint32_t end = FlashSizeOfMode(g_nChipMode) / kErasePage;
        run.page.setProgressRange(0, static_cast<int>(end > first ? end - first : 0));
        run.page.setProgressPos(0);
        run.log("Begin erase chip page data.............");
        for (uint32_t page = first; page < end; ++page) {
            // Waited for no longer than the page's other steps, and ended by time-out as they are.
            if (!run.step({kTagHiByte, [page] { return ComIsp2TransHiByte(static_cast<uint8_t>(page)); },
                           kTargetWaitMs, Timeout::Silent}))
                return false;
            if (!run.step({kTagPageErase, ComIsp2Cmd1C, kTargetWaitMs, Timeout::Silent})) return false;
            if (!run.pause(plan.pagePause) || !run.step({kTagFinish, ComIsp2CmdFinish, kTargetWaitMs, Timeout::Silent}))
                return false;
            run.page.setProgressPos(static_cast<int>(page - first + 1));
        }
    }
    run.leave();
    run.log(strfmt("erase chip elapsed time : %2.1f seconds\n", SecondsSince(start)));
    // The port is opened again whatever Cancel says; the run then ends there.
    return plan.reopen(run) && !run.endsOnStop();
}

bool ReopenPortAfterErase(const ReopenPauses& pauses) {
    GangPause(pauses.beforeClose, PauseKind::RunEnd);
    g_SerialPort.ClosePort();
    Note("%s", "reopen");
    GangPause(pauses.afterClose, PauseKind::RunEnd);
    if (!OpenPortAgain()) return false;
    GangPause(pauses.afterOpen, PauseKind::RunEnd);
    g_SerialPort.StartMonitoring();
    GangPause(pauses.afterMonitor, PauseKind::RunEnd);
    return true;
}

bool CheckChipIds(GangRun& run, const SocketHandshake& handshake) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (!run.found(socket)) continue;
        const Reach reach = ConnectSocket(run, socket, handshake);
        if (reach == Reach::Ended) return false;
        if (reach == Reach::Target) {
            // A reply without its id byte must not pass on the byte of an earlier one.
            g_byReplyData[1] = 0xFF;
            if (!run.step({kTagChipId, ComIspCmd49, kBoardWaitMs, Timeout::Silent})) return false;
            const int expected = g_nChipMode == 2 ? 0x57 : g_nChipMode == 3 ? 0x5A : -1;
            if (expected >= 0 && g_byReplyData[1] != expected) {
                run.leave();
                run.state[socket] = kWrongChip;
                if (!run.pause(1)) return false;
                run.page.messageBox("Wrong Chip ID !", platform::MsgIcon::Error);
            }
        }
        if (!run.pause(g_nComExtraDelay) || (socket == 0 && !run.pause(g_dwWaitMs))) return false;
    }
    if (!AnySiteFound()) return Refuse(run, "No Target IC found!");
    if (std::none_of(run.state.begin(), run.state.end(), [](uint8_t s) { return s == kGood; })) {
        run.running = false;
        return false;
    }
    return ShowSockets(run);
}

bool ProgramBlocks(GangRun& run, uint32_t blockSize, const BlockPlan& plan) {
    if (plan.scaleFirst) SetProgramProgressScale(run);
    run.log("Begin programming.............");
    const double start = platform::wallSeconds();
    const uint32_t blocks = run.dataLength / blockSize;
    const uint32_t tail = run.dataLength % blockSize;
    uint32_t address = run.startAddr;
    uint32_t offset = 0;
    uint16_t cachedHi = 0xFF;  // no address of these chips has this high byte
    const auto sendHiByte = [&](Timeout kind) {
        const uint8_t hi = static_cast<uint8_t>(address >> 8);
        if (hi == cachedHi) return true;
        cachedHi = hi;
        return run.step({kTagHiByte, [hi] { return ComIsp2TransHiByte(hi); }, kTargetWaitMs, kind, "ISP_TRANSHIBYTE!"});
    };
    const auto sendData = [&](uint32_t count, Timeout kind) {
        const std::span<const uint8_t> data(run.image.buffer.data() + offset, count);
        const uint8_t lo = static_cast<uint8_t>(address);
        return run.step({kTagData, [lo, data] { return ComIsp2TransData(lo, data); }, kTargetWaitMs, kind,
                         "ISP_TRANS8DATA!"}) &&
               run.step({kTagFinish, ComIsp2CmdFinish, kTargetWaitMs, kind, "ISP_CMDFINISH!"});
    };
    for (uint32_t b = 0; b < blocks; ++b) {
        if (run.stopRequested()) {
            run.running = false;
            return false;
        }
        const bool last = blocks - b < 2;
        if (last || b % 10 == 0 || b % 10 == 5) {
            const bool on = last || b % 10 == 0;
            for (int socket = 0; socket < kSocketCount; ++socket) {
                if (run.found(socket) && !run.step(LedStep(2 * socket + 2, on, Timeout::Message, plan.blink))) return false;
            }
        }
        if (!sendHiByte(Timeout::Message) || !sendData(blockSize, Timeout::Message)) return false;
        offset += blockSize;
        address += blockSize;
        run.page.setProgressPos(static_cast<int>((plan.progress == Progress::ByOffset ? offset : b) / run.divisor));
    }
    if (tail != 0) {
        if (!sendHiByte(Timeout::Silent) || !sendData(tail, Timeout::Silent)) return false;
        run.noteTag(kIdleTag);
    }
    run.log(strfmt("program successful, elapsed time : %2.1f seconds\n", SecondsSince(start)));
    return true;
}

namespace {

enum class Compare { Matched, Differed, Failed };

// One compare on the target: the high byte when it changed, frameBytes bytes (the image's,
// 0xFF past count), the result.
Compare CompareBlock(GangRun& run, uint32_t address, uint32_t offset, uint32_t count, uint32_t frameBytes,
                     uint16_t& cachedHi, uint32_t dataWaitMs) {
    const uint8_t hi = static_cast<uint8_t>(address >> 8);
    if (hi != cachedHi) {
        cachedHi = hi;
        if (!run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Verify}))
            return Compare::Failed;
    }
    std::array<uint8_t, kVerifyBlock> block;
    block.fill(0xFF);
    std::copy_n(run.image.buffer.begin() + offset, count, block.begin());
    const uint8_t lo = static_cast<uint8_t>(address);
    const auto send = [lo, block, frameBytes] { return ComIspCmd3A(lo, std::span(block).first(frameBytes)); };
    if (!run.step({kTagCompare, send, dataWaitMs, Timeout::Verify}))
        return Compare::Failed;
    if (!run.step({kTagCompareResult, ComIspCmd0B, kCompareWaitMs, Timeout::Judge})) return Compare::Failed;
    return g_bSkipBlockErase == 0 ? Compare::Differed : Compare::Matched;
}

// A program run erases a part that differs, so that no half-right part leaves the board. Cancel
// in the pause the erase needs ends the run there, without the finish.
void EraseDifferingPart(GangRun& run, const std::function<bool()>& erase, const std::function<bool()>& finish) {
    if (!run.step({kTagErase, erase, kBoardWaitMs, Timeout::Verify}) || !run.pause(30) ||
        !run.step({kTagFinish, finish, kBoardWaitMs, Timeout::Verify}))
        return;
    run.leave();
    run.pause(1);
}

// Connects socket s alone. False: the socket is skipped; ended is set when the run must end.
bool ConnectForVerify(GangRun& run, int socket, bool& ended) {
    for (int line = 0; line < kSocketCount; ++line) {
        const bool on = line == socket;
        const bool fatal = socket == 3 && line == 2;
        if (run.step(SwitchStep(line, on, fatal ? Timeout::Message : Timeout::Verify))) continue;
        ended = fatal || run.timedOut;
        return false;
    }
    ended = !run.pause(g_dwWaitMs);
    return !ended;
}

}  // namespace

bool VerifySockets(GangRun& run, const VerifyPlan& plan) {
    const uint32_t blocks = run.dataLength / kVerifyBlock;
    const uint32_t tail = run.dataLength % kVerifyBlock;
    uint32_t segment = 1;
    for (int socket = 0; socket < kSocketCount; ++socket) {
        g_bSocketPass[socket] = 0;
        if (!run.found(socket)) continue;
        const uint32_t base = plan.programRun ? static_cast<uint32_t>(uint64_t{run.image.size} * segment / run.divisor) : 0;
        ++segment;
        run.log(strfmt("Begin verifying IC%d ........", socket + 1));
        uint16_t cachedHi = 0xFF;
        run.page.setProgressPos(0);
        uint32_t address = run.startAddr;
        uint32_t offset = 0;
        const double start = platform::wallSeconds();
        bool ended = false;
        if (!ConnectForVerify(run, socket, ended)) {
            if (ended) return false;
            continue;
        }
        uint8_t& state = run.state[socket];
        for (uint32_t b = 0; b < blocks && state != kVerifyFailed; ++b) {
            if (run.stopRequested()) {
                run.running = false;
                return false;
            }
            const bool last = blocks - b < 2;
            if ((last || b % 10 == 0 || b % 10 == 5) &&
                !run.step(LedStep(2 * socket + 2, last || b % 10 == 0, Timeout::Verify))) {
                if (run.timedOut) return false;
                // A block left uncompared must not let the part pass.
                state = kVerifyFailed;
                break;
            }
            const Compare result = CompareBlock(run, address, offset, kVerifyBlock, kVerifyBlock, cachedHi, kTargetWaitMs);
            if (run.timedOut) return false;
            if (result != Compare::Matched) {
                state = kVerifyFailed;
                if (result == Compare::Differed && plan.programRun) EraseDifferingPart(run, ComIsp2EraseChip, ComIsp2CmdFinish);
                break;
            }
            offset += kVerifyBlock;
            address += kVerifyBlock;
            run.page.setProgressPos(static_cast<int>(plan.programRun ? base + offset / run.divisor : b / run.divisor));
            run.noteTag(kIdleTag);
        }
        if (!run.running || run.timedOut) return false;
        if (tail != 0 && state != kVerifyFailed) {
            // A finished part holds its option block at P: the padding of a verify-only run's
            // last block stops short of it. A program run compares before the block is written.
            const uint32_t frame = plan.programRun ? kVerifyBlock : std::min(kVerifyBlock, run.optionAddr - address);
            const Compare result = CompareBlock(run, address, offset, tail, frame, cachedHi, kCompareWaitMs);
            if (run.timedOut) return false;
            if (result != Compare::Matched) state = kVerifyFailed;
            // A differing last block ends the pass over the sockets; an unanswered one fails its
            // part alone, as in any other block.
            if (result == Compare::Differed) {
                if (plan.programRun) EraseDifferingPart(run, ComIspEraseChip, ComIspCmdFinish);
                return true;
            }
        }
        if (plan.programRun && state == kGood && !WriteOptionBlock(run, socket)) return false;
        run.leave();
        if (!run.pause(1)) return false;
        if (!PortOpenedAgain(run, ReopenLostPort())) return false;
        if (state == kGood) g_bSocketPass[socket] = 1;
        run.log(state == kGood ? strfmt("Verify IC%d successful, elapsed time : %2.1f seconds\n", socket + 1,
                                        SecondsSince(start))
                               : strfmt("Verify IC%d failure!!!\n", socket + 1));
    }
    return true;
}

std::array<uint8_t, 8> BuildOptionBlock(const GangRun& run, OptionRule rule) {
    std::array<uint8_t, 8> block;
    block.fill(0xFF);
    const uint32_t p = run.optionAddr;
    if (run.image.size > p) std::copy_n(run.image.buffer.begin() + p, block.size(), block.begin());
    block[0] = g_bEncry ? block[0] & 0xFA : block[0] | 0x0F;
    if (rule != OptionRule::ByteWise && (g_bCodeOption || (rule == OptionRule::Landed && g_bOptionSerial))) block[0] &= 0xAF;
    if (g_bOptionSerial) {
        if (g_bGangSerialEnable) {
            block[1] = static_cast<uint8_t>(g_nGangSerial >> 16);
            block[2] = static_cast<uint8_t>(g_nGangSerial >> 8);
            block[3] = static_cast<uint8_t>(g_nGangSerial);
            if (g_bSerialAutoInc) ++g_nGangSerial;
        } else {
            std::copy(g_GangSerialFixed.begin(), g_GangSerialFixed.end(), block.begin() + 1);
        }
    }
    const bool tailWanted = rule != OptionRule::Variant || (block[0] & 0xF0) == 0xA0;
    if (tailWanted && block[5] == 0xFF && block[6] == 0xFF && block[7] == 0xFF)
        std::copy_n(g_OptionTailByMode[g_nChipMode].begin() + 1, 3, block.begin() + 5);
    return block;
}

bool OptionBlockWanted(const GangRun& run, const OptionPlan& plan) {
    const bool imageAsks = plan.forImageReachingIt && run.image.size > run.optionAddr;
    return g_bEncry || g_bCodeOption || g_bOptionSerial || imageAsks;
}

namespace {

// The bytes just written at address, read back into the socket still good: a part that holds
// other bytes fails, the operator is told what holds them, and it is erased with the byte-wise
// runs' erase, so that no later run keeps a number given before. A read that goes unanswered
// fails the part alone, and erases it too: what it holds is not known. False when the run ends.
bool ReadBackWritten(GangRun& run, int socket, uint32_t address, std::span<const uint8_t> written, const char* what) {
    if (run.state[socket] != kGood) return true;
    const uint8_t hi = static_cast<uint8_t>(address >> 8);
    const uint8_t lo = static_cast<uint8_t>(address);
    const auto count = static_cast<uint8_t>(written.size());
    const bool read = run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Verify}) &&
                      run.step({kTagReadBack, [lo, count] { return ComIspReadN(lo, count); }, kTargetWaitMs, Timeout::Judge});
    if (run.timedOut) return false;
    if (read && g_nReplyDataSize >= count && std::equal(written.begin(), written.end(), g_pBlockBuf.data())) return true;
    run.state[socket] = kVerifyFailed;
    if (read)
        run.page.messageBox(strfmt("IC%d %s at 0x%X does not hold what was written!!!", socket + 1, what, address),
                            platform::MsgIcon::Error);
    EraseDifferingPart(run, ComIsp2EraseChip, ComIsp2CmdFinish);
    return !run.timedOut;
}

}  // namespace

bool WriteOptionBlock(GangRun& run, int socket, const OptionPlan& plan) {
    if (!OptionBlockWanted(run, plan)) return true;
    if (GivesSerialNumbers() && !TakeSerialNumber(run, NumbersPerPart())) return false;
    const uint8_t hi = static_cast<uint8_t>(run.optionAddr >> 8);
    const uint8_t lo = static_cast<uint8_t>(run.optionAddr);
    const auto hiFrame = plan.hiByte ? plan.hiByte : ComIspTransHiByte;
    if (!run.step({kTagHiByte, [hi, hiFrame] { return hiFrame(hi); }, kTargetWaitMs, Timeout::Silent})) return false;
    const std::array<uint8_t, 8> block = BuildOptionBlock(run, plan.rule);
    const bool polled = plan.frames == OptionFrames::BytesPolled;
    if (polled) {
        if (!WriteOptionBytesPolled(run, socket, block)) return false;
    } else {
        const bool second = plan.frames == OptionFrames::EightSecondSet;
        const auto data = second ? ComIsp2Trans8Data : ComIspTrans8Data;
        if (!run.step({kTagData, [lo, block, data] { return data(lo, block); }, kTargetWaitMs, Timeout::Silent}))
            return false;
        const std::optional<uint8_t> status = TargetWriteStatus();
        if (!run.step({kTagFinish, second ? ComIsp2CmdFinish : ComIspCmdFinish, kTargetWaitMs, Timeout::Silent}))
            return false;
        if (!WriteLanded(run, status, run.optionAddr, socket)) run.state[socket] = kVerifyFailed;
    }
    if (plan.readBack && !ReadBackWritten(run, socket, run.optionAddr, block, "option block")) return false;
    return WritePlannedKeyPage(run, socket, plan);
}

bool WritePlannedKeyPage(GangRun& run, int socket, const OptionPlan& plan) {
    if (run.state[socket] != kGood || !(g_bEncry && g_bKeyWrite)) return true;
    const uint32_t keyAddr = plan.keyAddr != 0 ? plan.keyAddr : g_dwKeyAddr;
    const bool polled = plan.frames == OptionFrames::BytesPolled;
    if (!WriteKeyPage(run, socket, keyAddr, polled ? ComIsp2CmdFinish : nullptr)) return false;
    return !plan.readBack || ReadBackWritten(run, socket, keyAddr, g_KeyBytes, "key page");
}

bool WriteKeyPage(GangRun& run, int socket, uint32_t keyAddr, bool (*openingFinish)()) {
    const uint8_t hi = static_cast<uint8_t>(keyAddr >> 8);
    if (!run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Silent}) ||
        !run.step({kTagPageErase, ComIspCmd18, kTargetWaitMs, Timeout::Silent}))
        return false;
    // Cancel ends the pause the page's erase needs: the key is not written over it.
    if (!run.pause(30)) return false;
    if (!run.step({kTagFinish, openingFinish ? openingFinish : ComIspCmdFinish, kTargetWaitMs, Timeout::Silent}))
        return false;
    for (uint32_t k = 0; k < g_KeyBytes.size(); ++k) {
        const uint8_t lo = static_cast<uint8_t>(keyAddr + k);
        const uint8_t value = g_KeyBytes[k];
        if (!run.step({kTagData1, [lo, value] { return ComIspTrans1Data(lo, value); }, kTargetWaitMs, Timeout::Silent}))
            return false;
        const std::optional<uint8_t> status = TargetWriteStatus();
        if (!run.step({kTagFinish, ComIspCmdFinish, kTargetWaitMs, Timeout::Silent})) return false;
        if (!WriteLanded(run, status, keyAddr + k, socket)) {
            run.state[socket] = kVerifyFailed;
            return true;
        }
    }
    return true;
}

bool WriteLanded(GangRun& run, std::optional<uint8_t> status, uint32_t address, int socket) {
    if (!status || (*status & kWriteFailed) == 0) return true;
    run.page.messageBox(socket >= 0 ? strfmt("IC%d program memory error at 0x%X!!!", socket + 1, address)
                                    : strfmt("Program memory error at 0x%X!!!", address),
                        platform::MsgIcon::Error);
    return false;
}

namespace {

// The counted sockets (those this run found) all passed, and there was one.
bool PassedAll(const GangRun& run) {
    bool any = false;
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (!run.counted[socket]) continue;
        if (!run.running || g_bSocketPass[socket] != 1) return false;
        any = true;
    }
    return any;
}

// The result of a part counted already.
void ShowResult(GangRun& run, int socket, bool passed, LineTags lines) {
    // A run that lost its port shows the result on the page only: a closed port takes no frame.
    if (g_SerialPort.IsOpen()) {
        if (!run.step(LedStep(2 * socket + 1, !passed, Timeout::End, lines))) return;
        if (!run.step(LedStep(2 * socket + 2, passed, Timeout::End, lines))) return;
    }
    run.page.setControlIcon(ctl::kSiteIcon1 + socket, passed ? icon::kPass : icon::kFail);
    run.page.setControlIcon(ctl::kIndicator1 + socket, icon::kTargetPresent[socket]);
}

// A socket without a target, shown so after an early end: both LEDs off, its empty icons.
void ShowEmpty(GangRun& run, int socket, LineTags lines) {
    if (!run.step(LedStep(2 * socket + 1, false, Timeout::End, lines))) return;
    if (!run.step(LedStep(2 * socket + 2, false, Timeout::End, lines))) return;
    run.page.setControlIcon(ctl::kSiteIcon1 + socket, icon::kIdle);
    run.page.setControlIcon(ctl::kIndicator1 + socket, icon::kNoTarget[socket]);
}

}  // namespace

void ShowSerial(WorkerPage& page) {
    page.setControlText(ctl::kSerialLabel, strfmt("S/N Last : %06X", g_nGangSerialNext));
    page.showControl(ctl::kSerialLabel, true);
}

void ReleaseBoardPort(bool atBoardSpeed) {
    if (atBoardSpeed && g_nComBaudRate != 115200 && g_SerialPort.IsOpen()) {
        Note("%s", "speed");
        ComReopenPort();
    }
    if (g_SerialPort.IsOpen()) {
        g_SerialPort.ClosePort();
        GangPause(500, PauseKind::RunEnd);
    }
}

void EndRun(GangRun& run, const EndPlan& plan) {
    if (run.timedOut) {
        run.running = false;
        run.page.messageBox(kTimeoutText, platform::MsgIcon::Error);
    }
    if (!run.running && !run.portLost) {
        run.leave();
        ReopenLostPort();
    }
    // The parts are counted and stored before the result LEDs: a board that stops answering
    // there holds the run in its time-out boxes, and a program ended meanwhile loses no part.
    const auto passed = [&run](int socket) { return run.running && g_bSocketPass[socket] == 1; };
    for (int socket = 0; socket < kSocketCount; ++socket)
        if (run.counted[socket]) CountPart(passed(socket));
    if (plan.save == engine_hid::SaveCounters::Yes) SaveCountedParts();
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (run.counted[socket])
            ShowResult(run, socket, passed(socket), plan.lines);
        else if (!run.running && plan.emptyShownOnAbort && g_SerialPort.IsOpen())
            ShowEmpty(run, socket, plan.lines);
    }
    if (plan.serialNumbers) {
        // Each number was stored as it was taken; the label shows the next one.
        const bool advanced = g_nGangSerialNext != run.serialAtStart;
        // Without the option block's serial bytes no part gets a number, and none was read.
        if (advanced || (run.running && GivesSerialNumbers() && g_bSerialAutoInc)) ShowSerial(run.page);
    }
    // A closed port takes no frame: the end would only wait for replies that cannot come.
    if (g_SerialPort.IsOpen()) {
        for (int socket = 0; socket < kSocketCount; ++socket) run.step(SwitchStep(socket, false, Timeout::End, plan.lines));
        run.step({kTagPowerOff, [] { return ComSet2501(0); }, kBoardWaitMs, Timeout::End, "2501 Lo Timeout"});
    }
    GangPause(g_dwWaitMs, PauseKind::RunEnd);
    run.log("IC socket power off");
    run.image = {};
    if (run.holdsBlockBuffer) g_pBlockBuf.release();
    ReleaseBoardPort();
    ShowRunCounters(run.page, plan.save);
    GangPause(plan.holdMs, PauseKind::RunEnd);
    GiveBackButtons(run.page, plan.burnIcon);
    if (g_bBeepSound) {
        // The pass tone only when some part passed and none failed or was left unverified.
        if (PassedAll(run)) {
            Beep(784, 900);
        } else {
            Beep(800, 100);
            GangPause(20, PauseKind::RunEnd);
            Beep(800, 100);
        }
    }
    g_bTaskWorking = false;
}

}  // namespace engine_com
