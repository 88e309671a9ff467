#pragma once
// "Read/Write Test": reads one 32-bit word from a target address and writes one to a target
// address through the programmer adapter on one of its sites, and connects the target
// ("Open SWD"). The buttons work at once on the user-interface thread; nothing opens the dialog
// but a caller that constructs and runs it.
#include <array>
#include <cstdint>

#include "platform/dialog_builder.h"

class CRegRWDlg : public ui::TemplateDialog {
public:
    explicit CRegRWDlg(QWidget* parent = nullptr);

    void OnSelectSocket();
    void OnChangeReadAddr();
    void OnChangeWriteAddr();
    void OnChangeWriteValue();
    void OnOpenSwd();
    void OnRead();
    void OnWrite();

    uint32_t m_nSocket = 0;
    uint32_t m_dwReadAddr = 0x1FF00000;
    uint32_t m_dwWriteAddr = 0x4008C000;
    uint32_t m_dwWriteValue = 0;
    std::array<uint8_t, 4> m_abReadValue{};

private:
    // Checks a hexadecimal field; a rejected text brings the message and the field's value back.
    void CheckField(int id, uint32_t& field, const char* what);
    // Holds the adapter for one button's exchanges: refused while a worker uses it, and when
    // no adapter can be opened (HidNotOpenedText()).
    bool TakeAdapter();
    // Selects the chosen site and powers it; false when a transfer failed.
    bool PowerSite();
};
