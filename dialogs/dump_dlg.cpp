#include "dialogs/dump_dlg.h"

#include <QComboBox>
#include <cstdio>

#include "core/dump_listing.h"
#include "core/globals.h"
#include "dialogs/info_block_workers.h"
#include "engine_com/gang_steps.h"
#include "engine_com/socket_helpers.h"
#include "engine_hid/pause.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/hid_commands.h"
#include "link/port_failure.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/adapter_tool_templates.h"

using namespace res;
using namespace engine_com;
using engine_hid::Pause;

namespace {

constexpr uint32_t kBlock = 32;
constexpr int kConnectTries = 3;

constexpr uint8_t kTagPowerOn = '6';
constexpr uint8_t kTagPowerOff = '5';
constexpr uint8_t kTagChipHandshake = 0x39;
constexpr uint8_t kTagRead = 0x01;
constexpr uint32_t kReplyBufferSize = 64;
constexpr const char* kSwitchText = "ISP_WAKEUP!";

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The field's text read as "%X"; nothing unless it is one hexadecimal number and nothing after
// it but spaces: "1G" would dump page 1 under a field that shows no such number. It is read
// wider than 32 bits, so a number beyond them stays above every bound instead of wrapping
// round to a small page.
std::optional<uint64_t> HexFieldValue(const QString& text) {
    const std::string digits = text.toUpper().trimmed().toStdString();
    unsigned long long value = 0;
    int used = 0;
    if (std::sscanf(digits.c_str(), "%llX%n", &value, &used) != 1 || used != std::ssize(digits)) return std::nullopt;
    return value;
}

// Modes 7 to 12 greet their targets with their own handshake and stop them with the second
// command set; the others with the link start and the first.
bool HasChipHandshake() { return g_nChipMode >= 7 && g_nChipMode <= 12; }

// Socket power, the multiplexer and the socket's switch alone, the handshake and the stop.
// greeted: the target answered the handshake and is in ISP mode.
bool EnterTarget(GangRun& run, uint32_t socket, bool& greeted) {
    if (!run.step({kTagPowerOn, [] { return ComSet2501(1); }, kBoardWaitMs, Timeout::Message, "ISP_2501!"})) return false;
    if (!run.step({kTagMultiplexer, [] { return ComSet4053(0); }, kBoardWaitMs, Timeout::Message, kSwitchText}))
        return false;
    for (int line = 0; line < kSocketCount; ++line) {
        ComStep s = SwitchStep(line, static_cast<uint32_t>(line) == socket, Timeout::Message);
        s.message = kSwitchText;
        if (!run.step(s)) return false;
    }
    const bool byMode = HasChipHandshake();
    const ComStep handshake = byMode ? ComStep{kTagChipHandshake, [] { return SendChipHandshake() != 0; }, kBoardWaitMs,
                                               Timeout::Silent}
                                     : ComStep{kTagLinkStart, ComIspStart, kBoardWaitMs, Timeout::Silent};
    if (!run.step(handshake)) return false;
    greeted = true;
    return run.step({kTagStopMcu, byMode ? ComIsp2StopMcu : ComIspStopMcu, kBoardWaitMs, Timeout::Silent});
}

// Reads out from target address start, 32 bytes a read, the high address byte only when it
// changes. False when a step timed out, the operator stopped the dump, or a reply came short:
// its missing bytes must not pass for flash contents.
bool ReadBlocks(GangRun& run, uint32_t start, std::span<uint8_t> out) {
    uint16_t sentHi = 0x100;  // none yet
    for (uint32_t offset = 0; offset < out.size(); offset += kBlock) {
        if (run.stopRequested()) return false;
        const uint32_t address = start + offset;
        const auto hi = static_cast<uint8_t>(address >> 8);
        const auto lo = static_cast<uint8_t>(address);
        if (hi != sentHi) {
            sentHi = hi;
            if (!run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Silent}))
                return false;
        }
        g_pBlockBuf.takeStoredCount();
        if (!run.step({kTagRead, [lo] { return ComIspReadN(lo, kBlock); }, kTargetWaitMs, Timeout::Silent})) return false;
        if (g_pBlockBuf.takeStoredCount() < kBlock) {
            ReportReadFailure(run.page, address);
            return false;
        }
        std::copy_n(g_pBlockBuf.data(), kBlock, out.begin() + offset);
        run.page.setProgressPos(static_cast<int>(offset / kBlock));
    }
    return true;
}

void DumpOverBoard(GangRun& run, const TargetDumpRequest& request) {
    WorkerPage& dialog = run.page;
    const uint32_t start = request.fromPage * kDumpPageSize;
    std::vector<uint8_t> bytes(request.pageCount * kDumpPageSize);
    dialog.setProgressRange(0, static_cast<int>(bytes.size() / kBlock + 1));
    dialog.setProgressPos(0);
    bool greeted = false;
    // Cancel in the speed change's pause ends the dump there: no read follows it.
    const bool read = EnterTarget(run, request.socket, greeted) && ChangeLineSpeed(run) && ReadBlocks(run, start, bytes);
    if (greeted && g_SerialPort.IsOpen()) run.leave();
    if (read) SaveTargetDump(dialog, bytes, start, request.listing, false);
    // The message comes once, before the power goes off, also when only the power-off went
    // unanswered.
    bool told = false;
    const auto tellTimeout = [&] {
        if (!run.timedOut || told) return;
        told = true;
        dialog.messageBox(kTimeoutText, platform::MsgIcon::Error);
    };
    tellTimeout();
    if (g_SerialPort.IsOpen()) run.step({kTagPowerOff, [] { return ComSet2501(0); }, kBoardWaitMs, Timeout::Silent});
    tellTimeout();
}

}  // namespace

void DumpFlashComThread(WorkerPage& dialog, const TargetDumpRequest& request) {
    g_bTaskWorking = true;
    dialog.showControl(kIdcDumpBar, true);
    dialog.enableControl(kIdcCancelDump, true);
    if (request.pageCount == 0 || uint64_t{request.fromPage} + request.pageCount > kComDumpPageLimit) {
        dialog.messageBox("From Page + Page Count is beyond the 64 KB that the COM link reaches !",
                          platform::MsgIcon::Error);
    } else if (!g_pBlockBuf.allocate(kReplyBufferSize)) {
        dialog.messageBox(strfmt("Error allocating data buffer memory for %d  bytes\n", kReplyBufferSize),
                          platform::MsgIcon::None);
    } else {
        GangRun run(dialog);
        DumpOverBoard(run, request);
        g_pBlockBuf.release();
    }
    ReleaseBoardPort(true);
    dialog.showControl(kIdcDumpBar, false);
    dialog.enableControl(kIdcCancelDump, false);
    g_bTaskWorking = false;
}

void DumpFlashComThread(CDumpDlg& dialog) {
    DumpFlashComThread(dialog.page_, {dialog.m_nSocket, dialog.m_nFromPage, dialog.m_nPageCount, dialog.m_bTxtFile != 0});
}

std::optional<std::vector<uint8_t>> ReadTargetPages(WorkerPage& page, uint32_t socket, uint32_t fromPage,
                                                    uint32_t pageCount) {
    const uint32_t start = fromPage * kDumpPageSize;
    const uint32_t blocks = pageCount * kDumpPageSize / kBlock;
    page.setProgressRange(0, static_cast<int>(blocks + 1));
    page.setProgressPos(0);
    // A failed select would dump the site selected before.
    if (HidSelectSocket(socket) != 1) {
        ReportReadFailure(page, kTargetFlashBase + start);
        return std::nullopt;
    }
    HidSetSocketPower(0);
    Pause(10);
    HidSetSocketPower(1);
    Pause(10);
    bool connected = false;
    for (int attempt = 0; attempt < kConnectTries && !connected; ++attempt) connected = HidConnectTarget() == kConnectOk;
    if (!connected) {
        page.messageBox("No Target IC found!", platform::MsgIcon::Error);
        return std::nullopt;
    }
    Pause(10);
    HidCmdPrepare();
    std::vector<uint8_t> bytes(static_cast<size_t>(blocks) * kBlock);
    std::optional<uint32_t> failed;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint32_t address = kTargetFlashBase + start + kBlock * k;
        if (HidReadBlock(address, std::span(bytes).subspan(kBlock * k, kBlock)) != 1 && !failed) failed = address;
        page.setProgressPos(static_cast<int>(k));
    }
    // A block that was not read must not pass for flash contents in a dump.
    if (failed) {
        ReportReadFailure(page, *failed);
        return std::nullopt;
    }
    return bytes;
}

void SaveTargetDump(WorkerPage& page, const std::vector<uint8_t>& bytes, uint32_t start, bool listing,
                    bool cancellable) {
    const std::string path = g_strExeDir + (listing ? "Dump.txt" : "dump.bin");
    const auto stop = [cancellable] { return cancellable && g_hStopEvent.isSet(); };
    if (!SaveDumpFile(page, path, start, bytes, listing, stop)) return;
    Pause(1);
    platform::services().openInViewer(path);
}

CDumpDlg::CDumpDlg(QWidget* parent) : ToolDialog(kDump133, kIdcDumpBar, parent) {
    controls().setText(kIdcFromPage, Text(strfmt("%X", m_nFromPage)));
    controls().setText(kIdcPageCount, Text(strfmt("%X", m_nPageCount)));
    ShowRange();
    controls().enable(kIdcCancelDump, false);
    controls().setChecked(kIdcTxtFile, true);
    FillSocketCombo(controls(), kIdcSocketCombo);
    controls().show(kIdcDumpBar, false);

    onChanged(kIdcFromPage, &CDumpDlg::OnChangeFromPage);
    onChanged(kIdcPageCount, &CDumpDlg::OnChangePageCount);
    onToggled(kIdcTxtFile, &CDumpDlg::OnTxtFile);
    onToggled(kIdcBinFile, &CDumpDlg::OnBinFile);
    onSelChange(kIdcSocketCombo, &CDumpDlg::OnSelectSocket);
    onClicked(kIdcExecute, &CDumpDlg::OnExecute);
    onClicked(kIdcCancelDump, &CDumpDlg::OnCancelDump);
    onClicked(1, &CDumpDlg::accept);
}

CDumpDlg::~CDumpDlg() {
    if (g_SerialPort.Owner() == this) g_SerialPort.SetOwner(nullptr);
}

void CDumpDlg::OnSelectSocket() { ReadSocketCombo(controls(), kIdcSocketCombo, m_nSocket); }

void CDumpDlg::ShowRange() {
    const uint32_t start = m_nFromPage * kDumpPageSize;
    const uint32_t last = (m_nFromPage + m_nPageCount) * kDumpPageSize - 1;
    controls().setText(kIdcFirstByte, Text(strfmt("%X(%d)", start, start)));
    controls().setText(kIdcLastByte, Text(strfmt("%X(%d)", last, last)));
}

void CDumpDlg::OnChangeFromPage() {
    const std::optional<uint64_t> value = HexFieldValue(controls().text(kIdcFromPage));
    fromPageRead_ = value.has_value();
    if (!value) return;
    if (*value > kDumpPageLimit - m_nPageCount) {
        MessageBox("Out of range!", platform::MsgIcon::Error);
        controls().setText(kIdcFromPage, Text(strfmt("%X", m_nFromPage)));
        return;
    }
    m_nFromPage = static_cast<uint32_t>(*value);
    ShowRange();
}

void CDumpDlg::OnChangePageCount() {
    const std::optional<uint64_t> value = HexFieldValue(controls().text(kIdcPageCount));
    pageCountRead_ = value.has_value();
    if (!value) return;
    if (*value == 0 || *value > kDumpPageLimit - m_nFromPage) {
        MessageBox(*value == 0 ? "Page count must be more than 0 !" : "Out of range!", platform::MsgIcon::Error);
        controls().setText(kIdcPageCount, Text(strfmt("%X", m_nPageCount)));
        ShowRange();
        return;
    }
    m_nPageCount = static_cast<uint32_t>(*value);
    ShowRange();
}

// The file type follows the radios' state, however it changed.
void CDumpDlg::OnTxtFile() { m_bTxtFile = controls().isChecked(kIdcTxtFile) ? 1 : 0; }
void CDumpDlg::OnBinFile() { m_bTxtFile = controls().isChecked(kIdcBinFile) ? 0 : 1; }

void CDumpDlg::OnCancelDump() {
    if (task_.running()) g_hStopEvent.set();
}

void DumpFlashThread(CDumpDlg& dialog, uint32_t socket, uint32_t fromPage, uint32_t pageCount) {
    WorkerPage& page = dialog.page_;
    page.showControl(kIdcDumpBar, true);
    page.enableControl(kIdcCancelDump, true);
    if (const auto bytes = ReadTargetPages(page, socket, fromPage, pageCount))
        SaveTargetDump(page, *bytes, fromPage * kDumpPageSize, dialog.m_bTxtFile != 0, true);
    page.showControl(kIdcDumpBar, false);
    page.enableControl(kIdcCancelDump, false);
}

bool CDumpDlg::RangeRead() {
    if (fromPageRead_ && pageCountRead_) return true;
    MessageBox("Out of range!", platform::MsgIcon::Error);
    return false;
}

void CDumpDlg::OnExecute() {
    if (!RangeRead()) return;
    task_.start([this, socket = m_nSocket, from = m_nFromPage, count = m_nPageCount] {
        DumpFlashThread(*this, socket, from, count);
    });
}

void CDumpDlg::OnCloseLog() { logFile_.close(); }

void CDumpDlg::OnReopenComPort() { ComReopenPort(this); }

void CDumpDlg::LogAppendByte(uint8_t) {}
void CDumpDlg::LogBytesLine(std::span<const uint8_t>) {}
void CDumpDlg::FileLogByte(uint8_t byte) { logFile_.write(strfmt("%02x\r\n", byte)); }
void CDumpDlg::FileLogBytesLine(std::span<const uint8_t> bytes) { logFile_.write(BytesLineText(bytes) + "\r\n"); }

void CDumpDlg::serialFailed(const std::string& report) { PostPortFailure(this, report); }
