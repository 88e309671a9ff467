#pragma once
// The information-block page over the COM link: reads, writes and erases the first 256 bytes of
// a target's memory through the gang board's single-target wiring, and takes the target out of
// ISP mode. The main window holds no command that shows it; a caller constructs it as a child.
#include <span>

#include "controls/grid_box.h"
#include "core/byte_log.h"
#include "dialogs/info_blk1_workers.h"
#include "link/serial_port.h"
#include "platform/dialog_builder.h"

class CInfoBlk1Dlg : public ui::TemplatePage, public InfoBlk1Page, public SerialPortOwner {
public:
    explicit CInfoBlk1Dlg(QWidget* parent = nullptr);
    ~CInfoBlk1Dlg() override;

    void OnRead();
    void OnWrite();
    void OnErase();
    void OnReset();

    // InfoBlk1Page, callable from the worker thread.
    std::array<uint8_t, kInfoBlk1Bytes> gridBytes() override;
    void showGridBytes(std::span<const uint8_t, kInfoBlk1Bytes> bytes) override;
    int messageBox(const std::string& text, platform::MsgIcon icon) override;
    void setBusyCursor(bool busy) override;

    // SerialPortOwner: replies reach the link's receive side; the page only reports failures.
    void serialByteReceived(uint8_t, unsigned) override {}
    void serialFailed(const std::string& report) override;

    CGridBox m_grid;  // bytes 0 to 255 travel; the rest is the grid's own

    // Members that nothing in the window drives: the log's close (a worker's request) and the
    // byte loggers, which write while a task runs; nothing opens the log.
    void OnCloseLog();
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);

private:
    ByteLogFile logFile_;

    // Takes the busy flag, opens the port and starts the worker; refuses while a task runs.
    void Start(void (*worker)(InfoBlk1Page&));
};
