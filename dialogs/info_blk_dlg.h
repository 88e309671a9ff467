#pragma once
// "Information Block" (the menu's "Info. Blk1"): reads, edits, writes and erases page 1 or 2
// of a target's information block as 256 words on one site; "Back Info1 Sicurity to Info2"
// runs the register sequence that copies the security words.
#include <QTimer>
#include <cstdint>

#include "dialogs/adapter_task.h"
#include "dialogs/info_block_workers.h"

class CGridBoxW;
class CinfoBlkDlg;

// The dialog's workers, each on the site and page chosen when it was started. Erase and the
// copy of the security words show "Erase Finish ..." when they went through.
void InfoBlkReadThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex);
void InfoBlkWriteThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex, const InfoPageWords& words);
void InfoBlkEraseThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex);
void InfoBlkCopySecurityThread(CinfoBlkDlg& dialog, uint32_t socket);

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
    friend void InfoBlkReadThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex);
    friend void InfoBlkWriteThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex, const InfoPageWords& words);
    friend void InfoBlkEraseThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex);
    friend void InfoBlkCopySecurityThread(CinfoBlkDlg& dialog, uint32_t socket);

    void OnSelchangePage();
    // Starts InfoBlkEraseThread on pageIndex.
    void StartErase(uint32_t pageIndex);
    // "Erase Finish ..." for two seconds.
    void ShowEraseFinish();

    CGridBoxW* m_Grid;
    uint32_t m_nSocket = 0;
    uint32_t m_nPage = 0;
    QTimer m_FinishTimer;
};
