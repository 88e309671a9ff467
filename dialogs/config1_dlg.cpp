#include "dialogs/config1_dlg.h"

#include <QComboBox>
#include <algorithm>

#include "core/globals.h"
#include "core/page_hooks.h"
#include "core/registry_settings.h"
#include "core/validators.h"
#include "controls/chk_gbox.h"
#include "controls/number_text.h"
#include "dialogs/serial_field.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/config1_template.h"

using namespace res;

namespace {

QString hexText(uint32_t value) { return QString::fromStdString(strfmt("%X", value)); }

constexpr uint32_t kMainCodeBoundMode0 = 0xFFFC;
constexpr uint32_t kMainCodeBound = 0x7FFC;
constexpr uint32_t kEepromBound = 0x1FC;

}  // namespace

CConfig1Dlg::CConfig1Dlg(QWidget* parent)
    : ui::TemplateDialog(kConfig186, parent), m_SerialGroup(new CChkGBox(this)) {
    m_SerialGroup->setTitle(controls().control<QGroupBox>(kIdcSerialGroup)->title());
    controls().replace(kIdcSerialGroup, m_SerialGroup);

    auto* models = controls().control<QComboBox>(kIdcChipModel);
    models->addItem(QString::fromStdString(g_strChipName[0]));
    models->addItem(QString::fromStdString(g_strChipName[1]));
    m_nChipMode = g_nChipMode;
    models->setCurrentIndex(m_nChipMode < 2 ? m_nChipMode : -1);
    controls().setText(kIdcFlashSizeLabel, QString::fromStdString(strfmt("%d Byte", g_dwFlashSize)));

    m_bSerialEnable = g_bSerialEnable;
    m_SerialGroup->CreateTitleButton(CChkGBox::kCheckBoxStyle);
    m_SerialGroup->SetCheck(m_bSerialEnable ? 1 : 0);

    m_nLocation = g_nSerialLocation;
    m_dwSerialAddr = g_dwSerialAddr;
    controls().setChecked(kIdcInMainCode, m_nLocation == 0);
    controls().setChecked(kIdcInEeprom, m_nLocation != 0);
    // An address that cannot be the serial number's is replaced at once, also in the global.
    if (m_nLocation == 0) {
        m_dwDefaultAddr = g_dwFlashSize / 2;
        if (m_dwSerialAddr <= 0x10) g_dwSerialAddr = m_dwSerialAddr = m_dwDefaultAddr;
    } else {
        m_dwDefaultAddr = 0;
        if (m_dwSerialAddr >= 0x3FC) g_dwSerialAddr = m_dwSerialAddr = 0;
    }

    // The edits are checked on every change, the program's own writes included.
    onChanged(kIdcSerialAddr, &CConfig1Dlg::OnChangeAddress);
    onChanged(kIdcInitialSerial, &CConfig1Dlg::OnChangeSerial);
    ShowAddress();
    // The number the next part gets. Another running copy may give numbers while the dialog is
    // open: OK stores only a number typed.
    m_nOpenedSerial = m_nNextSerial = RegFollowLastSn();
    controls().setText(kIdcInitialSerial, QString::number(m_nNextSerial));
    m_bAutoInc = g_bSerialAutoInc;
    controls().setChecked(kIdcAutoIncrease, m_bAutoInc != 0);

    onSelChange(kIdcChipModel, &CConfig1Dlg::OnSelChangeChipModel);
    onToggled(kIdcInMainCode, &CConfig1Dlg::OnInMainCode);
    onToggled(kIdcInEeprom, &CConfig1Dlg::OnInEeprom);
    onToggled(kIdcAutoIncrease, &CConfig1Dlg::OnAutoIncrease);
    onClicked(1, &CConfig1Dlg::accept);
    onClicked(2, &CConfig1Dlg::reject);
    m_bOpened = true;
}

uint32_t CConfig1Dlg::AddressBound() const {
    if (m_nLocation != 0) return kEepromBound;
    return m_nChipMode == 0 ? kMainCodeBoundMode0 : kMainCodeBound;
}

void CConfig1Dlg::ShowAddress() {
    m_dwShownAddr = m_dwSerialAddr;
    controls().setText(kIdcSerialAddr, hexText(m_dwSerialAddr));
}

bool CConfig1Dlg::CheckAddress() {
    const std::string text = CheckedText(controls().text(kIdcSerialAddr).toStdString());
    const uint32_t bound = AddressBound();
    switch (CheckHexString(text, bound)) {
        case 0:
            m_dwSerialAddr = scanHexText(text).value();
            return true;
        case 1:
            MessageBox("Address Error! Address must be HEX number", platform::MsgIcon::Error);
            break;
        default:
            MessageBox(strfmt("Out of range! Address must be <= %X", bound), platform::MsgIcon::Error);
            break;
    }
    // The put-back is no address of the operator's: OK hands back the one the field held before.
    m_dwSerialAddr = m_dwShownAddr <= bound ? m_dwShownAddr : std::min(m_dwDefaultAddr, bound);
    ShowAddress();
    return false;
}

void CConfig1Dlg::OnChangeAddress() { CheckAddress(); }

// The put-back after a refused entry comes through here too, accepted, while the refusal is
// being handled: the refusal's own call, which returns after it, leaves the field untyped.
void CConfig1Dlg::OnChangeSerial() {
    const bool accepted = CheckSerialNumberField(controls(), kIdcInitialSerial, m_nNextSerial, m_nOpenedSerial);
    m_bNextSerialTyped = accepted && m_bOpened;
}

void CConfig1Dlg::OnSelChangeChipModel() {
    const int index = controls().control<QComboBox>(kIdcChipModel)->currentIndex();
    if (index < 0) return;
    m_nChipMode = static_cast<uint8_t>(index);
    controls().setText(kIdcFlashSizeLabel,
                       QString::fromStdString(strfmt("%d Byte", FlashSizeOfMode(m_nChipMode))));
    // The bound follows the model: an address taken for the other model is checked again.
    CheckAddress();
}

void CConfig1Dlg::OnInMainCode() {
    controls().setChecked(kIdcInMainCode, true);
    controls().setChecked(kIdcInEeprom, false);
    m_nLocation = 0;
    m_dwDefaultAddr = m_nChipMode == 0 ? kMainCodeBoundMode0 : kMainCodeBound;
    m_dwSerialAddr = m_dwDefaultAddr;
    ShowAddress();
}

void CConfig1Dlg::OnInEeprom() {
    controls().setChecked(kIdcInMainCode, false);
    controls().setChecked(kIdcInEeprom, true);
    m_nLocation = 1;
    m_dwDefaultAddr = kEepromBound;
    m_dwSerialAddr = kEepromBound;
    ShowAddress();
}

void CConfig1Dlg::OnAutoIncrease() {
    m_bAutoInc = controls().isChecked(kIdcAutoIncrease) ? 1 : 0;
}

void CConfig1Dlg::accept() {
    // What OK hands back must pass the check of the model and location chosen last.
    if (!CheckAddress()) return;
    m_bSerialEnable = m_SerialGroup->GetCheck() == 1 ? 1 : 0;
    ui::TemplateDialog::accept();
}

void InstallConfigDialog() {
    RunConfigDialog = [](QWidget* parent) -> std::optional<ConfigAnswer> {
        CConfig1Dlg dialog(parent);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return ConfigAnswer{dialog.m_nChipMode, dialog.m_bSerialEnable, dialog.m_bAutoInc,
                            dialog.m_dwSerialAddr, dialog.m_nNextSerial, dialog.m_nLocation,
                            dialog.m_bNextSerialTyped};
    };
}
