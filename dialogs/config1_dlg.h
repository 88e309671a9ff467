#pragma once
// "Configuration" (the main window's "Config."): the chip model and the serial numbering of
// burned parts. The dialog only edits its members; the main window takes them over on OK.
#include <cstdint>

#include "platform/dialog_builder.h"

class CChkGBox;

// Makes the main window's "Config." run this dialog.
void InstallConfigDialog();

class CConfig1Dlg : public ui::TemplateDialog {
public:
    explicit CConfig1Dlg(QWidget* parent = nullptr);

    uint32_t m_bSerialEnable = 0;
    uint32_t m_bAutoInc = 0;
    uint32_t m_dwSerialAddr = 0;
    uint32_t m_nNextSerial = 0;
    // The operator typed the number and it was accepted; a field put back after a refused entry
    // is as it opened.
    bool m_bNextSerialTyped = false;
    uint8_t m_nChipMode = 0;
    uint32_t m_nLocation = 0;  // 0 main code, 1 EEPROM area

    void accept() override;

private:
    void OnSelChangeChipModel();
    void OnInMainCode();
    void OnInEeprom();
    void OnAutoIncrease();
    void OnChangeAddress();
    void OnChangeSerial();

    // The largest address the field takes for the location and chip model now chosen.
    uint32_t AddressBound() const;
    // Checks the address field; a rejected entry is replaced by the address the dialog last
    // put there (at opening, or for the location or model chosen since), or, where the bound
    // now refuses that one, by the location's default kept within the bound, so that the field
    // settles after one message. False when rejected.
    bool CheckAddress();
    void ShowAddress();

    CChkGBox* m_SerialGroup;
    uint32_t m_dwDefaultAddr = 0;
    uint32_t m_dwShownAddr = 0;  // the address the dialog last put in the field
    uint32_t m_nOpenedSerial = 0;  // the number the field opened with
    bool m_bOpened = false;  // the dialog has filled its fields
};
