#pragma once
// How the viewers show the option words of an information block: read protection, protected
// area and the ISP boot data (USB identifiers, PLL and serial-number words, boot pin, UART).
// Each word is a 32-bit slot whose low half holds the value.
#include <cstdint>

#include "platform/dialog_builder.h"

// BOOT_PIN_CFG: bits 15-12 0xB when the boot pin is enabled, 11-8 port, 7-4 pin, bit 1 pull
// enable, bit 0 active high.
struct BootPinConfig {
    bool enabled = false;
    int port = 0, pin = 0;
    bool pullEnable = false, activeHigh = false;
};
BootPinConfig DecodeBootPin(uint16_t word);

// UART_ISP_CFG: bit 4 set disables the USB ISP; bits 2-0 the UART position.
struct UartConfig {
    bool usbIspEnabled = false;
    int position = 0;
};
UartConfig DecodeUart(uint16_t word);

// Fills the choice lists of the boot-pin and UART groups and of SN_EN (snEnableId), leaving
// them without a selection.
void FillOptionChoices(ui::ControlSet& controls, int snEnableId);
// Clears every option field: texts emptied, lists unselected, radios and boxes unchecked.
void ClearOptionFields(ui::ControlSet& controls, int snEnableId);
// The choices of the groups; a value that has no item leaves its list without a selection.
// withSettings false shows only "Disable" for the boot pin and keeps the other four lists.
void ShowBootPin(ui::ControlSet& controls, const BootPinConfig& config, bool withSettings);
void ShowUart(ui::ControlSet& controls, const UartConfig& config);
// "%04X" of the low half of the VID, PID, PLL_L and PLL_H slots.
void ShowUsbAndPll(ui::ControlSet& controls, const uint32_t (&words)[4]);
// Selects the item of a list by index; an index outside the list selects nothing.
void SelectChoice(ui::ControlSet& controls, int id, int index);
