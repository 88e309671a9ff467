#pragma once
// "Information Block" (the menu's "Info. Blk1"): reads, edits, writes and erases page 1 or 2
// of a target's information block as 256 words on one site; "Back Info1 Sicurity to Info2"
// runs the register sequence that copies the security words.
#include <QTimer>
#include <cstdint>

#include "dialogs/adapter_task.h"

class CGridBoxW;

class CinfoBlkDlg : public ToolDialog {
public:
    explicit CinfoBlkDlg(QWidget* parent = nullptr);

    CGridBoxW& grid() const { return *m_Grid; }
    bool workerRunning() const { return task_.running(); }

    void OnRead();
    void OnWrite();
    void OnErase();
    void OnCopySecurity();
    void OnOpenDebug();

private:
    void OnSelchangePage();
    // "Erase Finish ..." for two seconds.
    void ShowEraseFinish();

    CGridBoxW* m_Grid;
    uint32_t m_nSocket = 0;
    uint32_t m_nPage = 0;
    QTimer m_FinishTimer;
};
