#pragma once
// "Read CRC": reads back the whole main flash and the whole information block of the target on
// one site and shows a CRC-16 of each, to compare with the CRCs the programming pages show.
#include <cstdint>
#include <optional>

#include "dialogs/adapter_task.h"

struct TargetCrcs {
    std::optional<uint16_t> mainCode, infoBlock;  // empty when that region could not be read
};

// The worker: main flash (flashSize bytes from 0x10000000, 32-byte block reads; a partial last
// block stays 0xFF), then the 2048-byte information block read byte by byte with the first 16
// bytes of each 1 KB page taken as 0xFF. Shows each CRC in its static as it is known.
TargetCrcs ReadTargetCrcs(WorkerPage& page, uint32_t socket, uint32_t flashSize);

class CReadCRCDlg;
// The dialog's worker: ReadTargetCrcs on the site and flash size taken when it was started.
void ReadCRCThread(CReadCRCDlg& dialog, uint32_t socket, uint32_t flashSize);

class CReadCRCDlg : public ToolDialog {
public:
    explicit CReadCRCDlg(QWidget* parent = nullptr);

    void OnReadCrc();
    void OnSelchangeSocket();
    bool workerRunning() const { return task_.running(); }

private:
    friend void ReadCRCThread(CReadCRCDlg& dialog, uint32_t socket, uint32_t flashSize);

    uint32_t m_nSocket = 0;
};
