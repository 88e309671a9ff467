#pragma once
// "Read Security/Boot Data" (the menu's "Security/Boot Data"): reads page 1 of a target's
// information block on one site and shows its option words. It only reads the target; a click
// on the protect-area map redraws it from the Protect Range dialog.
#include <array>
#include <cstdint>

#include "dialogs/adapter_task.h"

class CProtectArea;
class CInfoDataDlg;

// The dialog's worker: reads information page 1 on the site connected at the start, shows its
// option words and gives Read back.
void InfoDataReadThread(CInfoDataDlg& dialog, uint32_t socket);

class CInfoDataDlg : public ToolDialog {
public:
    explicit CInfoDataDlg(QWidget* parent = nullptr);

    void OnRead();
    // Shows the option words of an information page as read.
    void ShowOptionWords(const std::array<uint8_t, 1024>& page);
    bool workerRunning() const { return task_.running(); }
    const CProtectArea& protectMap() const { return *m_Map; }

    uint32_t m_nProtectType = 2;  // 0 read and write, 1 write, 2 none
    uint32_t m_nProtectMask = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend void InfoDataReadThread(CInfoDataDlg& dialog, uint32_t socket);

    void OnProtectArea();
    void ClearFields();
    void ShowProtection();

    CProtectArea* m_Map;
    uint32_t m_nSocket = 0;
};
