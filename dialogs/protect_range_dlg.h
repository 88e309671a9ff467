#pragma once
// "Protect Range": which 4 KB blocks of the first 64 KB of target flash are protected, one
// check box per bit of the protection mask. The caller sets the mask (and the protection
// address it carries along) before running the dialog and reads them back after OK.
#include <cstdint>

#include "platform/dialog_builder.h"

class CProtectRangeDlg : public ui::TemplateDialog {
public:
    CProtectRangeDlg(uint16_t mask, uint32_t protectAddr, QWidget* parent = nullptr);

    uint32_t m_dwProtectAddr;  // carried for the caller, never read here
    uint16_t m_wMask;          // bit i: block i protected

private:
    void OnBlock(int box, int block);
};
