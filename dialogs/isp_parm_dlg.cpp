#include "dialogs/isp_parm_dlg.h"

#include <QComboBox>

#include "controls/number_text.h"
#include "core/validators.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/icons.h"
#include "res/isp_parm_template.h"

using namespace res::isp_parm;

namespace {

enum Word { kWordVid, kWordPid, kWordPllL, kWordPllH, kWordSnEn, kWordSn1, kWordSn2, kWordSn3, kWordBootPin, kWordUart };

constexpr uint16_t kBootPinEnabledMark = 0xB;
constexpr uint16_t kUsbIspDisabledBit = 0x10;
constexpr uint32_t kMaxUartPosition = 7;

// A hexadecimal word field: what it holds, the switch under which it is taken, its messages.
struct WordField {
    int id;
    uint16_t IspParamFields::*word;
    uint32_t IspParamFields::*enable;
    const char* notHex;
    const char* tooLarge;
};

const WordField kWordFields[] = {
    {kVid, &IspParamFields::vid, &IspParamFields::vidPidEnable, "VID Error! VID must be HEX number",
     "Out of range! VID must be <= 0xFFFF"},
    {kPid, &IspParamFields::pid, &IspParamFields::vidPidEnable, "PID Error! PID must be HEX number",
     "Out of range! PID must be <= 0xFFFF"},
    {kPllL, &IspParamFields::pllL, &IspParamFields::pllEnable, "PLL Error! PLL must be HEX number",
     "Out of range! PLL must be <= 0xFFFF"},
    {kPllH, &IspParamFields::pllH, &IspParamFields::pllEnable, "PLL Error! PLL must be HEX number",
     "Out of range! PLL must be <= 0xFFFF"},
    {kSn[0], &IspParamFields::sn1, &IspParamFields::snEnable,
     "Serial Number Error! Serial Number must be HEX number", "Out of range! Serial Number must be <= 0xFFFF"},
    {kSn[1], &IspParamFields::sn2, &IspParamFields::snEnable,
     "Serial Number Error! Serial Number must be HEX number", "Out of range! Serial Number must be <= 0xFFFF"},
    {kSn[2], &IspParamFields::sn3, &IspParamFields::snEnable,
     "Serial Number Error! Serial Number must be HEX number", "Out of range! Serial Number must be <= 0xFFFF"},
};

const char* const kDisableEnable[] = {"Disable", "Enable"};
const char* const kPorts[] = {"PA", "PB", "PC", "PD"};
const char* const kLevels[] = {"Low", "High"};
const char* const kUartPositions[] = {"UART0_DEF_PA9PA10", "UART0_ALT_PB6PB7", "UART1_DEF_PA2PA3", "UART1_ALT_PB8PB9"};

QString hex(const char* format, uint16_t value) { return QString::fromStdString(strfmt(format, value)); }

QComboBox* list(ui::ControlSet& controls, int id) { return controls.control<QComboBox>(id); }

template <size_t N>
void fill(ui::ControlSet& controls, int id, const char* const (&items)[N]) {
    for (const char* item : items) list(controls, id)->addItem(QString::fromLatin1(item));
}

// A value beyond the list's items leaves it without selection.
void select(ui::ControlSet& controls, int id, uint32_t index) {
    QComboBox* box = list(controls, id);
    box->setCurrentIndex(index < static_cast<uint32_t>(box->count()) ? static_cast<int>(index) : -1);
}

uint32_t selected(ui::ControlSet& controls, int id) {
    const int index = list(controls, id)->currentIndex();
    return index < 0 ? 0 : static_cast<uint32_t>(index);
}

// A switched-off pair shows "FFFF" and cannot be edited; the fields keep their words.
void showSwitchedPair(ui::ControlSet& controls, int switchId, bool on, const int (&ids)[2], const uint16_t (&words)[2]) {
    controls.setIcon(switchId, on ? res::kIconSwitchOn : res::kIconSwitchOff);
    for (int i = 0; i < 2; ++i) {
        controls.setText(ids[i], on ? hex("%04X", words[i]) : QStringLiteral("FFFF"));
        controls.enable(ids[i], on);
    }
}

void showVidPid(ui::ControlSet& controls, const IspParamFields& f) {
    showSwitchedPair(controls, kVidPidSwitch, f.vidPidEnable != 0, {kVid, kPid}, {f.vid, f.pid});
}

void showPll(ui::ControlSet& controls, const IspParamFields& f) {
    showSwitchedPair(controls, kPllSwitch, f.pllEnable != 0, {kPllL, kPllH}, {f.pllL, f.pllH});
}

void showSerialWords(ui::ControlSet& controls, const IspParamFields& f) {
    const uint16_t words[3] = {f.sn1, f.sn2, f.sn3};
    for (int i = 0; i < 3; ++i) {
        controls.setText(kSn[i], f.snEnable ? hex("%X", words[i]) : QStringLiteral("FFFF"));
        controls.enable(kSn[i], f.snEnable != 0);
    }
}

void selectBootPinLists(ui::ControlSet& controls, const IspParamFields& f) {
    select(controls, kPort, f.port);
    select(controls, kPin, f.pin);
    select(controls, kPullEnable, f.pullEnable ? 1 : 0);
    select(controls, kActive, f.activeHigh ? 1 : 0);
}

void enableBootPinLists(ui::ControlSet& controls, bool enable) {
    for (int id : {kPort, kPin, kPullEnable, kActive}) controls.enable(id, enable);
}

void showUartPosition(ui::ControlSet& controls, const IspParamFields& f) {
    select(controls, kUartPosition, f.uartPosition);
    controls.enable(kUartPosition, !f.usbIspEnable);
}

}  // namespace

IspParamFields DecodeIspParams(const IspParamWords& w, uint32_t vidPidEnable, uint32_t pllEnable) {
    IspParamFields f;
    f.vid = w[kWordVid];
    f.pid = w[kWordPid];
    f.pllL = w[kWordPllL];
    f.pllH = w[kWordPllH];
    f.snEnable = w[kWordSnEn] == 0xFFFF ? 1 : 0;
    f.sn1 = w[kWordSn1];
    f.sn2 = w[kWordSn2];
    f.sn3 = w[kWordSn3];
    const uint16_t boot = w[kWordBootPin];
    f.bootPinEnable = (boot >> 12) == kBootPinEnabledMark ? 1 : 0;
    f.port = static_cast<uint8_t>((boot >> 8) & 0xF);
    f.pin = static_cast<uint8_t>((boot >> 4) & 0xF);
    f.pullEnable = (boot >> 1) & 1;
    f.activeHigh = boot & 1;
    const uint16_t uart = w[kWordUart];
    f.usbIspEnable = (uart & kUsbIspDisabledBit) ? 0 : 1;
    f.uartPosition = static_cast<uint8_t>(uart & 0x7);
    f.vidPidEnable = vidPidEnable;
    f.pllEnable = pllEnable;
    return f;
}

IspParamWords EncodeIspParams(const IspParamFields& f) {
    const auto boot = static_cast<uint16_t>((f.bootPinEnable ? kBootPinEnabledMark << 12 : 0) | (f.port & 0xF) << 8 |
                                            (f.pin & 0xF) << 4 | (f.pullEnable ? 2 : 0) | (f.activeHigh ? 1 : 0));
    const auto uart = static_cast<uint16_t>((f.usbIspEnable ? 0 : kUsbIspDisabledBit) | (f.uartPosition & 0x7));
    return {f.vid, f.pid, f.pllL, f.pllH, static_cast<uint16_t>(f.snEnable ? 0xFFFF : 0), f.sn1, f.sn2, f.sn3, boot, uart};
}

void ShowIspParamFields(ui::ControlSet& controls, const IspParamFields& f) {
    showVidPid(controls, f);
    showPll(controls, f);
    fill(controls, kSnEnable, kDisableEnable);
    select(controls, kSnEnable, f.snEnable ? 1 : 0);
    showSerialWords(controls, f);
    fill(controls, kBootPinEnable, kDisableEnable);
    fill(controls, kPort, kPorts);
    for (int pin = 0; pin < 16; ++pin) list(controls, kPin)->addItem(QString::number(pin));
    fill(controls, kPullEnable, kDisableEnable);
    fill(controls, kActive, kLevels);
    select(controls, kBootPinEnable, f.bootPinEnable ? 1 : 0);
    selectBootPinLists(controls, f);
    enableBootPinLists(controls, f.bootPinEnable != 0);
    fill(controls, kUsbIsp, kDisableEnable);
    select(controls, kUsbIsp, f.usbIspEnable ? 1 : 0);
    fill(controls, kUartPosition, kUartPositions);
    showUartPosition(controls, f);
}

CISPParmDlg::CISPParmDlg(const IspParamFields& fields, QWidget* parent)
    : ui::TemplateDialog(kIspParm176, parent), m_Fields(fields) {
    // The word checks run on every change, the program's own writes included.
    for (const WordField& field : kWordFields) controls().onChanged(field.id, [this, id = field.id] { OnChangeWord(id); });
    onChanged(kHiddenPosition, &CISPParmDlg::OnChangeHiddenPosition);
    ShowIspParamFields(controls(), m_Fields);

    onClicked(kVidPidSwitch, &CISPParmDlg::OnVidPidSwitch);
    onClicked(kPllSwitch, &CISPParmDlg::OnPllSwitch);
    onSelChange(kSnEnable, &CISPParmDlg::OnSnEnable);
    onSelChange(kBootPinEnable, &CISPParmDlg::OnBootPinEnable);
    onSelChange(kPort, &CISPParmDlg::OnPort);
    onSelChange(kPin, &CISPParmDlg::OnPin);
    onSelChange(kPullEnable, &CISPParmDlg::OnPullEnable);
    onSelChange(kActive, &CISPParmDlg::OnActive);
    onSelChange(kUsbIsp, &CISPParmDlg::OnUsbIsp);
    onSelChange(kUartPosition, &CISPParmDlg::OnUartPosition);
    onClicked(1, &CISPParmDlg::accept);
    onClicked(2, &CISPParmDlg::reject);
}

void CISPParmDlg::OnVidPidSwitch() {
    m_Fields.vidPidEnable = m_Fields.vidPidEnable ? 0 : 1;
    showVidPid(controls(), m_Fields);
}

void CISPParmDlg::OnPllSwitch() {
    m_Fields.pllEnable = m_Fields.pllEnable ? 0 : 1;
    showPll(controls(), m_Fields);
}

void CISPParmDlg::OnSnEnable() {
    m_Fields.snEnable = selected(controls(), kSnEnable) == 1 ? 1 : 0;
    showSerialWords(controls(), m_Fields);
}

void CISPParmDlg::OnBootPinEnable() {
    m_Fields.bootPinEnable = selected(controls(), kBootPinEnable) == 1 ? 1 : 0;
    if (m_Fields.bootPinEnable) {
        selectBootPinLists(controls(), m_Fields);
    } else {
        for (int id : {kPort, kPin, kPullEnable, kActive}) list(controls(), id)->setCurrentIndex(-1);
    }
    enableBootPinLists(controls(), m_Fields.bootPinEnable != 0);
}

void CISPParmDlg::OnPort() { m_Fields.port = static_cast<uint8_t>(selected(controls(), kPort)); }
void CISPParmDlg::OnPin() { m_Fields.pin = static_cast<uint8_t>(selected(controls(), kPin)); }
void CISPParmDlg::OnPullEnable() { m_Fields.pullEnable = selected(controls(), kPullEnable) == 1 ? 1 : 0; }
void CISPParmDlg::OnActive() { m_Fields.activeHigh = selected(controls(), kActive) == 1 ? 1 : 0; }

void CISPParmDlg::OnUsbIsp() {
    m_Fields.usbIspEnable = selected(controls(), kUsbIsp) == 1 ? 1 : 0;
    controls().enable(kUartPosition, !m_Fields.usbIspEnable);
}

void CISPParmDlg::OnUartPosition() { m_Fields.uartPosition = static_cast<uint8_t>(selected(controls(), kUartPosition)); }

void CISPParmDlg::OnChangeWord(int id) {
    const WordField* field = nullptr;
    for (const WordField& f : kWordFields)
        if (f.id == id) field = &f;
    const std::string text = CheckedText(controls().text(id).toStdString());
    switch (CheckHexString(text, 0xFFFF)) {
        case 0:
            // A switched-off field shows "FFFF", which is no word of the operator's.
            if (m_Fields.*field->enable)
                m_Fields.*field->word = static_cast<uint16_t>(scanHexText(text).value());
            return;
        case 1: MessageBox(field->notHex, platform::MsgIcon::Error); break;
        default: MessageBox(field->tooLarge, platform::MsgIcon::Error); break;
    }
    controls().setText(id, hex("%04X", m_Fields.*field->word));
}

// The hidden position field: a UART position typed there becomes the dialog's.
void CISPParmDlg::OnChangeHiddenPosition() {
    const std::string text = CheckedText(controls().text(kHiddenPosition).toStdString());
    switch (CheckHexString(text, kMaxUartPosition)) {
        case 0:
            m_Fields.uartPosition = static_cast<uint8_t>(scanHexText(text).value());
            return;
        case 1: MessageBox("PLL Error! PLL must be HEX number", platform::MsgIcon::Error); break;
        default: MessageBox("Out of range! UART POSy must be <= 0x0007", platform::MsgIcon::Error); break;
    }
    controls().setText(kHiddenPosition, hex("%04X", m_Fields.uartPosition));
}
