#pragma once
// "Flash Information": shows the configuration block that the serial-flash page stores in the
// adapter's own serial flash for stand-alone burning. It reads the adapter only, never a
// target, and starts reading as it opens.
//
// The block, in 256-byte serial-flash pages (multi-byte values little-endian):
//   0x100: +0 image length - 1, +2 image CRC-16, +4 0xAA = ISP boot data enabled
//   0x101: +0 limited quantity (0xFFFF none), +2 0xAA = information block enabled, +3 chip
//          mode, +4..+6 serial-number address, +7 serial flags (0x80 in the EEPROM area, 0x40
//          increase after each burn; 0xFF when serial numbering is off)
//   0x105: +0x10 read protection (0xAA = level 0), +0x11 bit 0 protect type (set: type 0),
//          +0x18 protect mask, +0x28.. ten option-word slots VID ... UART_ISP_CFG
//   0x130: +0 the last serial number, when serial numbering is on
#include <array>
#include <cstdint>

#include "dialogs/adapter_task.h"

class CProtectArea;

using SerialFlashPage = std::array<uint8_t, 256>;

struct FlashInfoPages {
    SerialFlashPage image, limits, options, serial;  // 0x100, 0x101, 0x105, 0x130
};

// Reads the block's pages (0x130 only when serial numbering is on); pages start at 0xFF and a
// failed read is reported. A serial flash that stays busy is reported and read not at all.
FlashInfoPages ReadFlashInfoPages(WorkerPage& page);

class CReadInfoDlg;
// The dialog's worker, started as it opens: reads the block and shows it.
void ReadInfoThread(CReadInfoDlg& dialog);

class CReadInfoDlg : public ToolDialog {
public:
    explicit CReadInfoDlg(QWidget* parent = nullptr);

    void ShowFlashInfo(const FlashInfoPages& pages);
    bool workerRunning() const { return task_.running(); }
    const CProtectArea& protectMap() const { return *m_Map; }

private:
    friend void ReadInfoThread(CReadInfoDlg& dialog);

    CProtectArea* m_Map;
};
