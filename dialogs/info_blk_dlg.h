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
    // Erase of page 2 whatever page is chosen; no control starts it.
    void OnErasePage2();
    void OnCopySecurity();
    void OnOpenDebug();

private:
    void OnSelchangePage();
    // Erases the page keeping page 1's security words, then "Erase Finish ...".
    void StartErase(uint32_t pageIndex);
    // "Erase Finish ..." for two seconds.
    void ShowEraseFinish();

    CGridBoxW* m_Grid;
    uint32_t m_nSocket = 0;
    uint32_t m_nPage = 0;
    QTimer m_FinishTimer;
};
