#pragma once
// The serial-flash page: load an image, set the limited quantity, and have the adapter's own
// serial flash erased, programmed with the stand-alone image and verified (Auto.), verified,
// or erased; watch the lamp and the log; dump the serial flash.
#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <span>
#include <string>

#include "core/byte_log.h"
#include "core/control_set_page.h"
#include "core/counters.h"
#include "core/hex_key_reader.h"
#include "link/serial_port.h"
#include "platform/dialog_builder.h"

class CMacProgressCtrl;
class CProtectArea;
class QListWidget;

// Makes the main window build this page for template 161.
void InstallFlashPage();

// The page owns the COM port while it shows: a read or write failure there reaches the operator
// as the port's error report.
class CFlashISP : public ui::TemplatePage, public SerialPortOwner {
public:
    using Worker = std::function<void(WorkerPage&)>;

    explicit CFlashISP(QWidget* parent = nullptr);
    ~CFlashISP() override;

    void OnLoadFile();
    // The loader's HEX conversion: 1 when hexPath became binPath, 0 when it failed (the failure
    // has been shown).
    static int ConvertHexToBin(const std::string& hexPath, const std::string& binPath);
    // The quantity field's check: 0 when every character is a digit and the value is at most
    // limit, 1 when the text is empty or holds another character, 2 when the value is above limit.
    static int CheckQuantityText(const std::string& text, uint32_t limit);
    void RefreshSettingsView();

    // Routines that nothing in the window starts.
    // Loads the last chosen file again without a dialog; a .hex is converted first and shows
    // its size and byte sum beside the kept ones.
    void ReloadImage();
    // Empties the size and CRC fields and forgets the image.
    void ClearImageInfo();
    // The HEX record reader, one record per call: the next record from in (0 a record, 1 the
    // end-of-file record or the end of the text, 2 an extended-segment-address record, 3 a
    // malformed one), a data record at its own address.
    int ParseHexRecord(std::istream& in, HexKeyRecord& record) { return ::ParseHexRecord(in, hexUpper_, record); }
    // The same with the base added. While g_bEncry is 1 the data bytes at g_dwKeyAddr to
    // g_dwKeyAddr + 15 become the key, each at its own offset; while g_bOptionSerial is set those
    // at offsets 0xF9 to 0xFB of the option page become g_GangSerialFixed.
    int ParseHexRecordWithKey(std::istream& in, HexKeyRecord& record);
    static std::string ByteToHexChars(uint8_t byte) { return ::ByteToHexChars(byte); }
    static std::optional<uint8_t> HexPairToByte(char high, char low) { return ::HexPairToByte(high, low); }
    // The byte mixed with the key byte that the position picks; bits 6, 3 and 2 inverted.
    static uint8_t ScrambleByte(uint8_t byte, uint32_t position);
    // The 24-bit serial-number transform of the COM-link full run.
    static uint32_t EncodeSerialNumber(uint32_t serial);
    // The byte appended to the list's last line (a new line on an empty list).
    void LogAppendByte(uint8_t byte);
    void LogBytesLine(std::span<const uint8_t> bytes);
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);
    // Closes the page's log (a worker's request).
    void OnCloseLog();
    // Re-opens the COM port at the second baud rate, for this page (a run's request).
    void OnReopenComPort();

    // What the page's workers see of it.
    WorkerPage& view() { return view_; }

    // SerialPortOwner, called from the port's monitor thread.
    void serialByteReceived(uint8_t, unsigned) override {}
    void serialFailed(const std::string& report) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A key that none of the page's controls took stays on the page.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The page's key filter: Enter is swallowed (true); every other key goes on to the page's
    // controls.
    bool PreTranslateMessage(int key);

    class View final : public ControlSetPage {
    public:
        View(CFlashISP& page, CMacProgressCtrl* eraseBar);
        void setProgressMarquee(bool on) override;
        void reopenComPort() override { page_.OnReopenComPort(); }

    private:
        CFlashISP& page_;
        CMacProgressCtrl* eraseBar_;
    };

    // The window goes: the COM port is closed and marked closed.
    void OnDestroy();
    // The text colours of the page's controls, set once as the page is made.
    void OnCtlColor();

    void OnCancelTask();
    void OnClearList();
    void OnDump();
    void OnErase();
    void OnExportLog();
    void OnProgram();
    void OnAuto();
    void OnVerify();
    void OnLimitEnable();
    void OnChangeLimitQuantity();
    // Tells the operator a save of the page's settings that the store did not take.
    void TellSettingsRefusal(CountsSave saved);
    // Puts g_nLimitQuantity into its field: the page's own write, which stores nothing.
    void ShowLimitQuantity();
    void OnLevel0();
    void OnLevel1();
    void OnEnableInfoBlock();
    void OnViewDetail();
    void OnConfig();
    void OnReadInfo();
    void OnEnableParameter();

    void ShowLevels();
    // The starters' common part: takes the busy flag (nothing happens while a task runs),
    // makes the checks in the order given, and starts the worker or gives the flag back.
    enum class Check { Image, Adapter, Quantity };
    void Start(std::initializer_list<Check> checks, const std::function<Worker()>& makeWorker);
    bool Passes(Check check);

    CMacProgressCtrl* eraseBar_;
    CProtectArea* protectArea_;
    QListWidget* list_;
    View view_;  // what the workers see of the page; the marquee is the erase-wait bar
    std::string imagePath_;  // the image the next run programs
    std::string imageType_;  // the chosen file's extension, lower case
    uint64_t imageSize_ = 0;  // of the image, as the size field shows it
    uint32_t hexUpper_ = 0;   // the extended-linear-address base that the record readers keep
    bool showingQuantity_ = false;  // the page writes the quantity field
    ByteLogFile logFile_;
};
