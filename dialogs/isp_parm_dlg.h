#pragma once
// "ISP Parameter Setting": the ISP boot-data words of the information block, edited as fields
// (switches, flags, port, pin, position). The opener decodes the words into fields before the
// dialog runs and encodes them again after OK; the parameter view shows the same fields.
#include <array>
#include <cstdint>

#include "platform/dialog_builder.h"

// VID, PID, PLL_L, PLL_H, SN_EN, SN1, SN2, SN3, BOOT_PIN_CFG, UART_ISP_CFG.
using IspParamWords = std::array<uint16_t, 10>;

struct IspParamFields {
    uint16_t vid = 0, pid = 0, pllL = 0, pllH = 0;
    uint32_t snEnable = 0;  // SN_EN is 0xFFFF
    uint16_t sn1 = 0, sn2 = 0, sn3 = 0;
    uint32_t bootPinEnable = 0;
    uint8_t port = 0;  // 0 "PA" to 3 "PD"; the word holds up to 15
    uint8_t pin = 0;
    uint32_t pullEnable = 0;
    uint32_t activeHigh = 0;
    uint32_t usbIspEnable = 0;
    uint8_t uartPosition = 0;  // 0 to 3 offered; the word holds up to 7
    uint32_t vidPidEnable = 0;
    uint32_t pllEnable = 0;

    bool operator==(const IspParamFields&) const = default;
};

IspParamFields DecodeIspParams(const IspParamWords& words, uint32_t vidPidEnable, uint32_t pllEnable);
// SN_EN comes back as 0xFFFF or 0; port, pin and position go back as they are, also while the
// boot pin is disabled.
IspParamWords EncodeIspParams(const IspParamFields& fields);

// Fills the boot-data controls (res::isp_parm) of a dialog with the fields: switch pictures,
// words (or "FFFF" and disabled while switched off), list items and selections.
void ShowIspParamFields(ui::ControlSet& controls, const IspParamFields& fields);

class CISPParmDlg : public ui::TemplateDialog {
public:
    explicit CISPParmDlg(const IspParamFields& fields, QWidget* parent = nullptr);

    IspParamFields m_Fields;

private:
    void OnVidPidSwitch();
    void OnPllSwitch();
    void OnSnEnable();
    void OnBootPinEnable();
    void OnPort();
    void OnPin();
    void OnPullEnable();
    void OnActive();
    void OnUsbIsp();
    void OnUartPosition();
    void OnChangeWord(int id);
    void OnChangeHiddenPosition();
};
