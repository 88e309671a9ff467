#include "sfpage/dump_sf_dlg.h"

#include <vector>

#include "core/dump_listing.h"
#include "core/globals.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_commands.h"
#include "link/hid_device.h"
#include "link/run_clock.h"
#include "link/serial_flash_status.h"
#include "platform/strfmt.h"
#include "res/dump_sf_template.h"
#include "sfpage/adapter_image.h"

using namespace res::dump_sf;

namespace {

bool stopped() { return g_hStopEvent.isSet(); }

// Reads the pages into bytes; false, after a message, when a read fails, and false when
// the stop event is set.
bool readPages(WorkerPage& dialog, const DumpRequest& request, std::vector<uint8_t>& bytes) {
    for (uint32_t i = 0; i < request.pageCount; ++i) {
        if (stopped()) return false;
        const uint32_t page = request.fromPage + i;
        const std::span<uint8_t> into = std::span(bytes).subspan(uint64_t{i} * g_nSFPageSize, g_nSFPageSize);
        if (!HidSfReadPage(page) || !HidSfReadPageBuffer(0, into)) {
            dialog.messageBox(strfmt("Serial flash read failed at page %X!", page), platform::MsgIcon::Error);
            return false;
        }
        dialog.setProgressPos(static_cast<int>(i));
    }
    return true;
}

}  // namespace

void WriteSfDump(WorkerPage& dialog, const DumpRequest& request, const std::vector<uint8_t>& bytes) {
    const std::string path = g_strExeDir + (request.text ? "Dump.txt" : "Dump.bin");
    if (SaveDumpFile(dialog, path, request.fromPage * g_nSFPageSize, bytes, request.text, stopped)) {
        serial_flash::runClock().pause(1);
        platform::services().openInViewer(path);
    }
}

void DumpSFThread(WorkerPage& dialog, const DumpRequest& request) {
    dialog.showControl(kIdcProgress, true);
    dialog.enableControl(kIdcCancel, true);
    std::vector<uint8_t> bytes(uint64_t{request.pageCount} * g_nSFPageSize);
    dialog.setProgressRange(0, static_cast<int>(request.pageCount));
    dialog.setProgressPos(0);
    serial_flash::runClock().pause(1);
    serial_flash::runClock().pause(1);
    if (serial_flash::waitWhileBusy(dialog, stopped) && readPages(dialog, request, bytes)) WriteSfDump(dialog, request, bytes);
    dialog.showControl(kIdcProgress, false);
    dialog.enableControl(kIdcCancel, false);
    serial_flash::runClock().pause(1);
    serial_flash::runClock().pause(1);
    g_bTaskWorking = false;
}

CDumpSFDlg::CDumpSFDlg(QWidget* parent)
    : ui::TemplateDialog(res::kDumpSf169, parent), view_(controls(), res::kNoId, kIdcProgress) {
    onClicked(kIdcExecute, &CDumpSFDlg::OnExecute);
    onClicked(kIdcCancel, &CDumpSFDlg::OnCancel);
    onToggled(kIdcBinFile, &CDumpSFDlg::OnBinFile);
    onToggled(kIdcTxtFile, &CDumpSFDlg::OnTxtFile);
    onChanged(kIdcPageCount, &CDumpSFDlg::OnChangePageCount);
    onChanged(kIdcFromPage, &CDumpSFDlg::OnChangeFromPage);
    onClicked(kIdcClose, &CDumpSFDlg::accept);

    controls().setText(kIdcFromPage, QString::number(request_.fromPage, 16).toUpper());
    controls().setText(kIdcPageCount, QString::number(request_.pageCount, 16).toUpper());
    ShowByteRange();
    controls().enable(kIdcCancel, false);
    controls().setChecked(kIdcTxtFile, true);
    controls().show(kIdcProgress, false);
}

// Close, Esc and the close box wait for the dump: the worker still writes to the dialog.
CDumpSFDlg::~CDumpSFDlg() { OnDestroy(); }

void CDumpSFDlg::OnDestroy() {
    ComClosePort();
    g_bComPortOpen = 0;
}

void CDumpSFDlg::OnCloseLog() { logFile_.close(); }

void CDumpSFDlg::done(int result) {
    if (!dumping_) ui::TemplateDialog::done(result);
}

void CDumpSFDlg::ShowByteRange() {
    const uint64_t first = uint64_t{request_.fromPage} * g_nSFPageSize;
    const uint64_t last = (uint64_t{request_.fromPage} + request_.pageCount) * g_nSFPageSize - 1;
    controls().setText(kIdcFirstByte, QString::fromStdString(strfmt("%llX(%llu)", static_cast<unsigned long long>(first),
                                                                    static_cast<unsigned long long>(first))));
    controls().setText(kIdcLastByte, QString::fromStdString(strfmt("%llX(%llu)", static_cast<unsigned long long>(last),
                                                                   static_cast<unsigned long long>(last))));
}

void CDumpSFDlg::OnChangeFromPage() {
    bool ok = false;
    const uint32_t page = controls().text(kIdcFromPage).toUInt(&ok, 16);
    if (ok) request_.fromPage = page;
    ShowByteRange();
}

void CDumpSFDlg::OnChangePageCount() {
    bool ok = false;
    const uint32_t count = controls().text(kIdcPageCount).toUInt(&ok, 16);
    if (!ok) return;
    const char* refusal = count == 0              ? "Page count must be more than 0 !"
                          : count > kDumpMaxPages ? "Page count must be 10000 or less !"
                                                  : nullptr;
    if (refusal) {
        MessageBox(refusal, platform::MsgIcon::Error);
        controls().setText(kIdcPageCount, QString::number(request_.pageCount, 16).toUpper());
    } else {
        request_.pageCount = count;
    }
    ShowByteRange();
}

// The file type follows the radios' state, however it changed.
void CDumpSFDlg::OnBinFile() { request_.text = !controls().isChecked(kIdcBinFile); }
void CDumpSFDlg::OnTxtFile() { request_.text = controls().isChecked(kIdcTxtFile); }

// The dialog's template has no operation list: the list loggers have nowhere to write.
void CDumpSFDlg::LogAppendByte(uint8_t) {}
void CDumpSFDlg::LogBytesLine(std::span<const uint8_t>) {}
void CDumpSFDlg::FileLogByte(uint8_t byte) { logFile_.write(strfmt("%02x\r\n", byte)); }
void CDumpSFDlg::FileLogBytesLine(std::span<const uint8_t> bytes) { logFile_.write(BytesLineText(bytes) + "\r\n"); }

void CDumpSFDlg::OnCancel() {
    if (dumping_) g_hStopEvent.set();
}

void CDumpSFDlg::OnExecute() {
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return;
    // A field that does not read as a number has left the range before it in use: other pages
    // than the fields show would be dumped.
    bool fromRead = false, countRead = false;
    controls().text(kIdcFromPage).toUInt(&fromRead, 16);
    controls().text(kIdcPageCount).toUInt(&countRead, 16);
    if (!fromRead || !countRead) {
        g_bTaskWorking = false;
        MessageBox("From Page and Page Count must be hexadecimal numbers !", platform::MsgIcon::Error);
        return;
    }
    // Byte addresses are 32 bits wide.
    if ((uint64_t{request_.fromPage} + request_.pageCount) * g_nSFPageSize > kDumpAddressEnd) {
        g_bTaskWorking = false;
        MessageBox("From Page + Page Count is beyond the serial flash address range !", platform::MsgIcon::Error);
        return;
    }
    if (!OpenHidDevice()) {
        g_bTaskWorking = false;
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    g_hStopEvent.reset();
    dumping_ = true;
    const bool started = StartWorkThread([this, request = request_] {
        DumpSFThread(view_, request);
        dumping_ = false;
    });
    if (!started) {
        dumping_ = false;
        g_bTaskWorking = false;
    }
}
