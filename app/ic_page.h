#pragma once
// The IC programming page: load an image, watch the four sites, Burn (or the B key), read
// the counters and the yield, export the operation list. Workers talk to it only through
// WorkerPage; every call runs on the user-interface thread and waits until it is done.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "core/byte_log.h"
#include "core/counter_texts.h"
#include "core/counters.h"
#include "core/hex_key_reader.h"
#include "core/worker_page.h"
#include "link/serial_port.h"
#include "platform/dialog_builder.h"

class CProtectArea;
class QListWidget;

// Makes the main window build this page for template 130 and Burn it on the B key.
void InstallIcPage();

// The page owns the COM port it opens: a read or write failure there reaches the operator as
// the port's error report.
class CISPDlg : public ui::TemplatePage, public WorkerPage, public SerialPortOwner {
public:
    using Worker = std::function<void(WorkerPage&)>;
    // The workers Burn and Auto. start; tests put in their own, and one left empty starts
    // nothing.
    struct Workers {
        Worker siteProgram, siteVerify, gangProgram, gangVerify, infoBlock;
    };

    explicit CISPDlg(QWidget* parent = nullptr);
    ~CISPDlg() override;

    void setWorkers(Workers workers) { workers_ = std::move(workers); }

    void OnLoadFile();
    // The loader's HEX conversion: 1 when hexPath became binPath, 0 when it failed (the failure
    // has been shown).
    static int ConvertHexToBin(const std::string& hexPath, const std::string& binPath);
    void OnBurn();
    void RefreshSettingsView();

    // Page operations that nothing in the window calls.
    // The byte appended to the list's last line (a new line on an empty list).
    void LogAppendByte(uint8_t byte);
    void LogBytesLine(std::span<const uint8_t> bytes);
    // To the step log, while a task runs; nothing opens the step log.
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);
    // Empties the size and CRC fields and forgets the image.
    void ClearImageInfo();
    // Closes the step log (a worker's request).
    void OnCloseLog();
    // Re-opens the COM port at the second baud rate, for this page (a gang run's request).
    void OnReopenComPort();

    // Loader variants that nothing in the window starts.
    // Loads the last chosen file again without a dialog; shows its size and 16-bit byte sum, a
    // converted .hex's beside the kept ones, and selects the new list line.
    void ReloadImage();
    // Converts a text of one hexadecimal byte per line into binPath; false when it failed (the
    // failure has been shown).
    bool ConvertTextToBin(const std::string& textPath, const std::string& binPath);
    // The HEX record reader, one record per call: the next record from in (0 a record, 1 the
    // end, 2 an extended-segment-address record, 3 a malformed one), a data record at its own
    // address.
    int ParseHexRecord(std::istream& in, HexKeyRecord& record) { return ::ParseHexRecord(in, hexUpper_, record); }
    // The same with the base added; while g_bEncry is 1 the data bytes at g_dwKeyAddr to
    // g_dwKeyAddr + 15 become the key, each at its own offset, and the key is listed.
    int ParseHexRecordWithKey(std::istream& in, HexKeyRecord& record);
    static std::string ByteToHexChars(uint8_t byte) { return ::ByteToHexChars(byte); }
    static std::optional<uint8_t> HexPairToByte(char high, char low) { return ::HexPairToByte(high, low); }

    // WorkerPage, callable from any thread.
    void appendLog(const std::string& line) override;
    void scrollLog() override;
    void setProgressRange(int lower, int upper) override;
    void setProgressPos(int pos) override;
    void setProgressMarquee(bool on) override;
    void showControl(int controlId, bool show) override;
    void enableControl(int controlId, bool enable) override;
    void setControlText(int controlId, const std::string& text) override;
    void setControlIcon(int controlId, int iconId) override;
    int messageBox(const std::string& text, platform::MsgIcon icon) override;
    int stopPrompt(int kind, uint32_t address) override;
    int warnPrompt(int kind, uint32_t address) override;
    std::string imagePath() const override;
    void reopenComPort() override;

    // The page's answers to a worker's prompt requests: the prompt runs modally on the
    // user-interface thread. The stop prompt answers 0. The warning prompt copies its answer
    // into g_bWarnProtect / g_bProtectContinue (kinds 1 to 4) or g_bWarnCodeOption /
    // g_bCodeOptionContinue (kind 5), continuing only on OK, and answers 1 after OK, else 3
    // (Abort).
    static int OnStopPrompt(uint32_t kind, uint32_t address);
    static int OnWarnPrompt(uint32_t kind, uint32_t address);

    // SerialPortOwner, called from the port's monitor thread.
    void serialByteReceived(uint8_t byte, unsigned port) override;
    void serialFailed(const std::string& report) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnVerifyMode();
    void OnResetCount();
    void OnClearList();
    void OnDump();
    void OnExportLog();
    void OnLevel0();
    void OnLevel1();
    void OnEnableInfoBlock();
    void OnEnableParameter();
    void OnConfig();
    void OnViewDetail();
    void OnAuto();
    void OnProgramTest();
    void OnVerifyTest();
    void OnCancelTask();
    // A click on the protection map: it only shows the settings, so nothing happens.
    void OnProtectAreaClick() {}
    // Erase (hidden): the page erases nothing of its own; a burn erases each target first.
    void OnErase() {}

    void ShowCounters(const Counts& counts);
    void ShowLevels();
    // Sets the busy flag and starts worker on its own thread; false (flag untouched or
    // cleared again) when a task runs already, the worker does not exist or no thread starts.
    bool StartWorker(const Worker& worker, int runningIcon);

    CProtectArea* protectArea_;
    QListWidget* list_;
    mutable std::mutex imageMutex_;  // Load is allowed while a worker reads the path
    std::string imagePath_;
    std::string imageExtension_;
    uint64_t imageSize_ = 0;  // kept by a load or a reload of a binary
    uint16_t imageSum_ = 0;   // 16-bit sum of its bytes
    uint32_t hexUpper_ = 0;   // the extended-linear-address base that the record readers keep
    uint8_t programMode_ = 1;  // 1 program, 0 verify only
    Workers workers_;
    ByteLogFile logFile_;  // the step log
};
