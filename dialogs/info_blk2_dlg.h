#pragma once
// The information-block page (the menu's "EEPROM"): reads, edits, writes and erases the
// 512-byte parameter area at the end of a target's information block on one site, and saves
// or loads it as a ".data" parameter file. Read, Write and Erase run on a worker thread; Open
// Debug powers and connects the chosen site, which the three expect.
#include <cstdint>
#include <span>

#include "core/byte_log.h"
#include "dialogs/adapter_task.h"
#include "dialogs/info_block_workers.h"
#include "platform/dialog_builder.h"

class CGridBox;
class CInfoBlk2Dlg;

// The page's workers, each on the site chosen when it was started: Read shows the area in the
// grid, Write sends the area as it was at the start, Erase empties information page 2 keeping
// page 1's security words.
void InfoBlk2ReadThread(CInfoBlk2Dlg& dialog, uint32_t socket);
void InfoBlk2WriteThread(CInfoBlk2Dlg& dialog, uint32_t socket, const ParameterArea& area);
void InfoBlk2EraseThread(CInfoBlk2Dlg& dialog, uint32_t socket);

class CInfoBlk2Dlg : public ui::TemplatePage {
public:
    explicit CInfoBlk2Dlg(QWidget* parent = nullptr);
    ~CInfoBlk2Dlg() override;

    CGridBox& grid() const { return *m_Grid; }
    uint32_t socket() const { return m_nSocket; }
    bool workerRunning() const { return task_.running(); }

    void OnRead();
    void OnWrite();
    void OnErase();
    void OnReset() {}
    void OnSaveData();
    void OnLoadData();
    void OnOpenDebug();
    void OnSelchangeSocket();

    // Members that nothing in the window drives: the log's close (a worker's request), the
    // byte loggers (while a task runs; nothing opens the log), and the cursor, the wait cursor
    // while m_bBusyCursor is set, which nothing sets.
    void OnCloseLog();
    void FileLogByte(uint8_t byte);
    void FileLogBytesLine(std::span<const uint8_t> bytes);
    void OnSetCursor();
    uint32_t m_bBusyCursor = 0;

protected:
    bool event(QEvent* event) override;

private:
    friend void InfoBlk2ReadThread(CInfoBlk2Dlg& dialog, uint32_t socket);
    friend void InfoBlk2WriteThread(CInfoBlk2Dlg& dialog, uint32_t socket, const ParameterArea& area);
    friend void InfoBlk2EraseThread(CInfoBlk2Dlg& dialog, uint32_t socket);

    CGridBox* m_Grid;
    uint32_t m_nSocket = 0;
    AdapterTask task_;
    ControlSetPage page_;
    ByteLogFile logFile_;
};
