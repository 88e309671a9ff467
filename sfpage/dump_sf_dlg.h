#pragma once
// "Dump Serial Flash": reads a range of the adapter's serial-flash pages into "Dump.txt" (a
// hexadecimal listing, then opened in the viewer) or "Dump.bin" (the raw bytes) in the
// program folder. The reading runs on a worker; Cancel stops it, and the dialog does not close
// while it runs.
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "core/control_set_page.h"
#include "platform/dialog_builder.h"
#include "core/byte_log.h"

// The most pages one dump reads (16 MB), and the end of the byte addresses it may reach.
constexpr uint32_t kDumpMaxPages = 0x10000;
constexpr uint64_t kDumpAddressEnd = 0x100000000;

struct DumpRequest {
    uint32_t fromPage = 0;
    uint32_t pageCount = 1;
    bool text = true;
};

// Reads the pages and writes the file; a serial flash that stays busy, a read failure or a set
// stop event ends it without a file. Clears g_bTaskWorking as its last step.
void DumpSFThread(WorkerPage& dialog, const DumpRequest& request);
// Writes the bytes read as the request asks: "Dump.txt", opened in the viewer, or "Dump.bin".
void WriteSfDump(WorkerPage& dialog, const DumpRequest& request, const std::vector<uint8_t>& bytes);

class CDumpSFDlg : public ui::TemplateDialog {
public:
    explicit CDumpSFDlg(QWidget* parent = nullptr);
    ~CDumpSFDlg() override;

    const DumpRequest& request() const { return request_; }
    // True while its dump worker runs.
    bool dumping() const { return dumping_; }

    void done(int result) override;

    // Byte loggers that nothing calls.
    void LogAppendByte(uint8_t byte);
    void LogBytesLine(std::span<const uint8_t> bytes);
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);
    // Closes the dialog's log (a worker's request).
    void OnCloseLog();

private:
    // The window goes: the COM port is closed and marked closed.
    void OnDestroy();
    void OnExecute();
    void OnCancel();
    void OnBinFile();
    void OnTxtFile();
    void OnChangePageCount();
    void OnChangeFromPage();
    void ShowByteRange();

    ControlSetPage view_;
    DumpRequest request_;
    std::atomic<bool> dumping_{false};
    ByteLogFile logFile_;
};
