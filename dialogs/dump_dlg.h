#pragma once
// "Dump": reads a range of one target's main flash, in 256-byte pages, and saves it in the
// program's folder as the listing "Dump.txt" (opened in the desktop's viewer) or as the raw
// file "dump.bin". Cancel stops the listing between lines and keeps the earlier file. The same
// dump over the gang board's COM link is there too, though nothing in the window starts it.
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/byte_log.h"
#include "dialogs/adapter_task.h"
#include "link/serial_port.h"

// The dump buffer holds 16 MB, so a range ends at page 0x10000.
constexpr uint32_t kDumpPageLimit = 0x10000;
constexpr uint32_t kDumpPageSize = 256;

// Connects the site (three tries) and reads the pages; nothing when the site cannot be selected
// (reported), no target answers, or a block could not be read (the first is reported, after
// all were tried), so no earlier dump is replaced by bytes that were never read.
std::optional<std::vector<uint8_t>> ReadTargetPages(WorkerPage& page, uint32_t socket, uint32_t fromPage,
                                                    uint32_t pageCount);
// Writes "Dump.txt" (and opens it in the viewer) or "dump.bin", each replacing the earlier file
// whole or, on a failure, not at all; a file that cannot be created or written is reported. With
// cancellable, the stop event stops the listing between lines: the earlier file stays, and no
// viewer opens.
void SaveTargetDump(WorkerPage& page, const std::vector<uint8_t>& bytes, uint32_t start, bool listing,
                    bool cancellable);

// The COM dump reaches target addresses of 16 bits: 256 pages.
constexpr uint32_t kComDumpPageLimit = 0x100;

struct TargetDumpRequest {
    uint32_t socket = 0;  // 0 to 3
    uint32_t fromPage = 0;
    uint32_t pageCount = 1;
    bool listing = true;  // "Dump.txt", else "dump.bin"
};

// The dump over the gang board's COM link, on the port its starter opened: board power on, the
// multiplexer and the chosen socket's switch, the chip mode's handshake and the stop of the
// target's program, the speed change, then per 32-byte block the high address byte when it
// changes and a read at the low byte; the target leaves ISP mode and the files are those of the
// adapter's dump. Files are written only for a whole dump: a time-out ("Wait COM port timeout,
// pls check MCU and COM port status!"), a reply short of its bytes or Cancel leaves the old
// ones. Once the last block is in, the dump is whole and its file is written whole, a Cancel
// meanwhile notwithstanding. On every path the board power goes off, the port is opened again at the board's speed
// and closed, and g_bTaskWorking is cleared last.
void DumpFlashComThread(WorkerPage& dialog, const TargetDumpRequest& request);

class CDumpDlg;
// The same for the dialog's fields.
void DumpFlashComThread(CDumpDlg& dialog);
// Execute's worker: ReadTargetPages over the adapter for the range chosen at the start, then
// SaveTargetDump in the file type chosen when the pages are in.
void DumpFlashThread(CDumpDlg& dialog, uint32_t socket, uint32_t fromPage, uint32_t pageCount);

class CDumpDlg : public ToolDialog, public SerialPortOwner {
public:
    explicit CDumpDlg(QWidget* parent = nullptr);
    ~CDumpDlg() override;

    void OnExecute();
    bool workerRunning() const { return task_.running(); }

    // WM_USER+11: closes the byte log stream (which nothing opens).
    void OnCloseLog();
    // WM_USER+12: the port opened again at the second baud rate, with this dialog as its owner.
    void OnReopenComPort();

    // Byte loggers that nothing calls. The template has no operation list, so the list
    // loggers have nowhere to write.
    void LogAppendByte(uint8_t byte);
    void LogBytesLine(std::span<const uint8_t> bytes);
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);

    // SerialPortOwner: replies reach the link's receive side; the dialog only reports failures.
    void serialByteReceived(uint8_t, unsigned) override {}
    void serialFailed(const std::string& report) override;

    uint32_t m_nFromPage = 0;
    uint32_t m_nPageCount = 1;
    std::atomic<uint8_t> m_bTxtFile{1};  // read by the worker once the pages are in
    uint32_t m_nSocket = 0;

private:
    void OnChangeFromPage();
    void OnChangePageCount();
    void OnTxtFile();
    void OnBinFile();
    void OnSelectSocket();
    void OnCancelDump();
    void ShowRange();
    // False, after the range message, while a field's text is not read as a number: the range
    // in use is then not the one the fields show.
    bool RangeRead();

    friend void DumpFlashComThread(CDumpDlg& dialog);
    friend void DumpFlashThread(CDumpDlg& dialog, uint32_t socket, uint32_t fromPage, uint32_t pageCount);

    ByteLogFile logFile_;
    bool fromPageRead_ = true, pageCountRead_ = true;
};
