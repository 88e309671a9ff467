#pragma once
// "Dump": reads a range of one target's main flash, in 256-byte pages, and saves it in the
// program's folder as the listing "Dump.txt" (opened in the desktop's viewer) or as the raw
// file "dump.bin". Cancel stops the listing between lines.
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "dialogs/adapter_task.h"

// The dump buffer holds 16 MB, so a range ends at page 0x10000.
constexpr uint32_t kDumpPageLimit = 0x10000;
constexpr uint32_t kDumpPageSize = 256;

// Connects the site (three tries) and reads the pages; nothing when the site cannot be selected
// (reported) or no target answers. Blocks that could not be read stay 0xFF and the first is
// reported.
std::optional<std::vector<uint8_t>> ReadTargetPages(WorkerPage& page, uint32_t socket, uint32_t fromPage,
                                                    uint32_t pageCount);
// Writes "Dump.txt" (and opens it in the viewer) or "dump.bin"; a file that cannot be created
// is reported. A listing stopped by the stop event is left as far as written, without viewer.
void SaveTargetDump(WorkerPage& page, const std::vector<uint8_t>& bytes, uint32_t start, bool listing);

class CDumpDlg : public ToolDialog {
public:
    explicit CDumpDlg(QWidget* parent = nullptr);

    void OnExecute();
    bool workerRunning() const { return task_.running(); }

    uint32_t m_nFromPage = 0;
    uint32_t m_nPageCount = 1;
    std::atomic<uint8_t> m_bTxtFile{1};  // read by the worker once the pages are in
    uint32_t m_nSocket = 0;

private:
    void OnChangeFromPage();
    void OnChangePageCount();
    void OnTxtFile();
    void OnBinFile();
    void OnCancelDump();
    void ShowRange();
};
