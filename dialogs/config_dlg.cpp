#include "dialogs/config_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "controls/number_text.h"
#include "core/counter_texts.h"
#include "core/crc16.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/protect_area.h"
#include "core/registry_settings.h"
#include "core/validators.h"
#include "controls/chk_gbox.h"
#include "dialogs/isp_parm_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "dialogs/serial_field.h"
#include "platform/registry_store.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/config_template.h"

using namespace res::config;

namespace {

// The serial number's address lies in the 2 KB information block: its last word is at 0x7FC.
constexpr uint32_t kSerialAddrBound = 0x7FC;
constexpr uint16_t kSnEnabled = 0xFFFF;
constexpr int kSnEnWord = 4;
constexpr int kStartAddrTickMs = 50;
constexpr int kStartAddrCountdown = 10;  // half a second after the last change
constexpr uint32_t kStartAddrUnit = 0x100;

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

bool RunProgrammingConfig(QWidget* parent) {
    // Settings changed under a running task would mix two configurations in one run.
    if (g_bTaskWorking) return false;
    CConfigDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    const InfoBlockSettings& info = dialog.m_Info;
    g_nRdpLevel = info.rdpLevel;
    g_nPcropType = info.pcropType;
    g_dwProtectAddr = dialog.m_dwProtectAddr;
    const CountsSave stored = FirstRefusal({dialog.m_StoreSaved, RegSavePcropType(g_nPcropType),
                                            RegSaveRdpLevel(g_nRdpLevel != 0 ? 1 : 0),
                                            RegSaveProtectAddr(g_dwProtectAddr)});
    // Each file that did not take the operator's settings is told once.
    if (stored != CountsSave::Saved)
        MessageBox(SettingsRefusalText(platform::registryStorePath(), stored), platform::MsgIcon::Error);
    if (dialog.m_IniSaved != CountsSave::Saved)
        MessageBox(SettingsRefusalText(g_strIniPath, dialog.m_IniSaved), platform::MsgIcon::Error);
    // The settings whose CRC the operator saw are the ones the next burn writes.
    g_bInfoBlockEnable = info.infoBlockEnable;
    g_wProtectMask = info.protectMask;
    g_bBootDataEnable = info.bootDataEnable;
    g_bVidPidEnable = info.vidPidEnable;
    g_bPllEnable = info.pllEnable;
    g_IspParam = info.ispParam;
    g_bParamEnable = info.paramEnable;
    g_strParam = info.paramFile;
    return true;
}

CConfigDlg::CConfigDlg(QWidget* parent)
    : ui::TemplateDialog(kConfig131, parent), m_InfoGroup(new CChkGBox(this)), m_ProtectMap(new CProtectArea(this)) {
    m_InfoGroup->setTitle(controls().control<QGroupBox>(kInfoBlockGroup)->title());
    controls().replace(kInfoBlockGroup, m_InfoGroup);
    controls().replace(kProtectMap, m_ProtectMap);

    auto* models = controls().control<QComboBox>(kChipModel);
    models->addItem(text(g_strChipName[0]));
    models->addItem(text(g_strChipName[1]));
    models->setCurrentIndex(g_nChipMode < 2 ? g_nChipMode : -1);
    controls().setText(kFlashSizeLabel, text(strfmt("%d Byte", g_dwFlashSize)));

    m_Info.rdpLevel = g_nRdpLevel;
    ShowLevel();
    m_Info.pcropType = g_nPcropType;
    ShowPcropType();
    m_dwProtectAddr = g_dwProtectAddr;
    m_Info.protectMask = g_wProtectMask;
    ShowProtectMap();

    m_InfoGroup->CreateTitleButton(CChkGBox::kCheckBoxStyle);
    m_Info.infoBlockEnable = g_bInfoBlockEnable;
    m_InfoGroup->SetCheck(m_Info.infoBlockEnable ? 1 : 0);
    m_Info.bootDataEnable = g_bBootDataEnable;
    controls().setChecked(kBootDataEnable, m_Info.bootDataEnable != 0);
    controls().setChecked(kBeepSound, g_bBeepSound != 0);
    onChanged(kStartAddr, &CConfigDlg::OnChangeStartAddr);
    controls().setText(kStartAddr, text(strfmt("%X", g_nIspStartAddr / 256)));
    m_StartAddrTimer.setInterval(kStartAddrTickMs);
    connect(&m_StartAddrTimer, &QTimer::timeout, this, &CConfigDlg::OnStartAddrTick);
    m_Info.vidPidEnable = g_bVidPidEnable;
    m_Info.pllEnable = g_bPllEnable;
    m_Info.ispParam = g_IspParam;

    // The serial-number fields are checked on every change, the program's own writes included.
    onChanged(kSerialAddr, &CConfigDlg::OnChangeSerialAddr);
    onChanged(kInitialSerial, &CConfigDlg::OnChangeInitialSerial);
    controls().setChecked(kSerialEnable, g_bSerialEnable != 0);
    OnSerialEnable();
    m_dwSerialAddr = g_dwSerialAddr;
    controls().setText(kSerialAddr, text(strfmt("%X", m_dwSerialAddr)));
    m_nOpenedSerial = m_nInitialSerial = RegFollowLastSn();
    controls().setText(kInitialSerial, text(strfmt("%u", m_nInitialSerial)));

    m_Info.paramEnable = g_bParamEnable;
    controls().setChecked(kParamEnable, m_Info.paramEnable != 0);
    controls().enable(kChooseParamFile, m_Info.paramEnable != 0);
    m_Info.paramFile = g_strParam;
    controls().setText(kParamFile, text(m_Info.paramFile));
    ShowCrc();

    onSelChange(kChipModel, &CConfigDlg::OnSelChangeChipModel);
    // The boxes follow their state, whether a click, a key or an accessibility action changed it.
    controls().onToggled(kLevel0, [this] { OnLevel(kLevel0, 1); });
    controls().onToggled(kLevel1, [this] { OnLevel(kLevel1, 0); });
    for (uint32_t type = 0; type < 3; ++type) {
        const int box = kReadWriteProtection + static_cast<int>(type);
        controls().onToggled(box, [this, box, type] { OnPcropType(box, type); });
    }
    onClicked(kProtectMap, &CConfigDlg::OnProtectMap);
    onClicked(kSetting, &CConfigDlg::OnSetting);
    onToggled(kBootDataEnable, &CConfigDlg::OnBootDataEnable);
    onToggled(kSerialEnable, &CConfigDlg::OnSerialEnable);
    onToggled(kParamEnable, &CConfigDlg::OnParamEnable);
    onClicked(kChooseParamFile, &CConfigDlg::OnChooseParamFile);
    onClicked(kCalculateCrc, &CConfigDlg::OnCalculateCrc);
    onClicked(1, &CConfigDlg::accept);
    onClicked(2, &CConfigDlg::reject);
}

uint16_t CConfigDlg::CalcConfigCRC() {
    const auto image = ComposeInfoBlockImage(m_Info);
    if (!image) {
        MessageBox("File could not be opened !", platform::MsgIcon::Error);
        return 0;
    }
    return CalcCRC16(*image, 0xFFFF, 0);
}

void CConfigDlg::ShowCrc() { controls().setText(kCrc, text(strfmt("%04X", CalcConfigCRC()))); }

void CConfigDlg::ShowLevel() {
    controls().setChecked(kLevel0, m_Info.rdpLevel != 0);
    controls().setChecked(kLevel1, m_Info.rdpLevel == 0);
}

void CConfigDlg::ShowPcropType() {
    const uint32_t shown = std::min<uint32_t>(m_Info.pcropType, 2);
    for (uint32_t type = 0; type < 3; ++type)
        controls().setChecked(kReadWriteProtection + static_cast<int>(type), type == shown);
}

void CConfigDlg::ShowProtectMap() {
    m_ProtectMap->m_dwProtectAddr = m_dwProtectAddr;
    m_ProtectMap->m_wMask = m_Info.protectMask;
    m_ProtectMap->m_nType = m_Info.pcropType;
    m_ProtectMap->update();
}

void CConfigDlg::OnSelChangeChipModel() {
    const int index = controls().control<QComboBox>(kChipModel)->currentIndex();
    if (index >= 0) controls().setText(kFlashSizeLabel, text(strfmt("%d Byte", FlashSizeOfMode(index))));
}

// The boxes act as radios: a ticked one chooses, a cleared one is ticked again.
void CConfigDlg::OnLevel(int box, uint32_t level) {
    if (controls().isChecked(box)) m_Info.rdpLevel = level;
    ShowLevel();
}

void CConfigDlg::OnPcropType(int box, uint32_t type) {
    if (controls().isChecked(box)) m_Info.pcropType = type;
    ShowPcropType();
    ShowProtectMap();
}

void CConfigDlg::OnProtectMap() {
    CProtectRangeDlg range(m_Info.protectMask, m_dwProtectAddr, this);
    if (range.exec() != QDialog::Accepted) return;
    m_Info.protectMask = range.m_wMask;
    m_dwProtectAddr = range.m_dwProtectAddr;
    ShowProtectMap();
}

void CConfigDlg::OnSetting() {
    CISPParmDlg setting(DecodeIspParams(m_Info.ispParam, m_Info.vidPidEnable, m_Info.pllEnable), this);
    if (setting.exec() != QDialog::Accepted) return;
    const IspParamFields& fields = setting.m_Fields;
    m_Info.ispParam = EncodeIspParams(fields);
    m_Info.vidPidEnable = fields.vidPidEnable;
    m_Info.pllEnable = fields.pllEnable;
    // Only the box follows SN_EN; its fields' state follows a click on it.
    controls().setChecked(kSerialEnable, m_Info.ispParam[kSnEnWord] == kSnEnabled);
}

void CConfigDlg::OnBootDataEnable() { m_Info.bootDataEnable = controls().isChecked(kBootDataEnable) ? 1 : 0; }

void CConfigDlg::OnSerialEnable() {
    const bool on = controls().isChecked(kSerialEnable);
    controls().enable(kSerialAddr, on);
    controls().enable(kInitialSerial, on);
}

void CConfigDlg::OnParamEnable() {
    m_Info.paramEnable = controls().isChecked(kParamEnable) ? 1 : 0;
    controls().enable(kChooseParamFile, m_Info.paramEnable != 0);
}

void CConfigDlg::OnChooseParamFile() {
    platform::FileDialogRequest request;
    request.filter = "data(*.data)|*.data|All Files (*.*)|*.*||";
    request.defaultExtension = "data";
    request.defaultName = strfmt("%s.data", "default");
    request.startFolder = strfmt("%sData", g_strExeDir.c_str());
    const std::string chosen = platform::services().openFileName(request);
    if (chosen.empty()) return;
    // Only the name is kept: the file is always read from the Data folder.
    const size_t slash = chosen.rfind('/');
    m_Info.paramFile = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    controls().setText(kParamFile, text(m_Info.paramFile));
}

void CConfigDlg::OnCalculateCrc() {
    m_Info.infoBlockEnable = m_InfoGroup->GetCheck() == 1 ? 1 : 0;
    ShowCrc();
}

void CConfigDlg::OnChangeSerialAddr() {
    const std::string typed = CheckedText(controls().text(kSerialAddr).toStdString());
    switch (CheckHexString(typed, kSerialAddrBound)) {
        case 0:
            m_dwSerialAddr = scanHexText(typed).value();
            return;
        case 1:
            MessageBox("Address Error! Address must be HEX number", platform::MsgIcon::Error);
            break;
        default:
            MessageBox("Out of range! Address must be <= 0x7FC", platform::MsgIcon::Error);
            break;
    }
    // A stored address beyond the bound would be rejected again: it settles on the bound.
    m_dwSerialAddr = std::min(m_dwSerialAddr, kSerialAddrBound);
    controls().setText(kSerialAddr, text(strfmt("%X", m_dwSerialAddr)));
}

void CConfigDlg::OnChangeInitialSerial() {
    CheckSerialNumberField(controls(), kInitialSerial, m_nInitialSerial, m_nOpenedSerial);
}

void CConfigDlg::OnChangeStartAddr() {
    const std::string typed = CheckedText(controls().text(kStartAddr).toStdString());
    m_StartAddrEntered.reset();
    if (CheckHexString(typed, UINT32_MAX) == 0) m_StartAddrEntered = scanHexText(typed).value();
    m_nStartAddrCountdown = kStartAddrCountdown;
}

void CConfigDlg::StartAddrCheck() {
    controls().show(kStartAddrFrame, true);
    m_StartAddrTimer.start();
}

void CConfigDlg::OnStartAddrTick() {
    if (m_nStartAddrCountdown > 0) --m_nStartAddrCountdown;
    if (m_nStartAddrCountdown > 0 && !m_bStopStartAddrCheck) return;
    m_StartAddrTimer.stop();
    controls().show(kStartAddrFrame, false);
    if (m_StartAddrEntered && *m_StartAddrEntered % kStartAddrUnit == 0) return;
    MessageBox(strfmt("ISP Start Address must be multiple of 0x%X !", kStartAddrUnit), platform::MsgIcon::Error);
    controls().setText(kStartAddr, text(strfmt("%X", g_nIspStartAddr / 256)));
}

void CConfigDlg::accept() {
    // The hidden start-address field holds the page number the dialog opened with.
    const uint32_t pages = g_dwFlashSize / 256;
    const std::string start = CheckedText(controls().text(kStartAddr).toStdString());
    if (CheckHexString(start, pages != 0 ? pages - 1 : 0) == 0) {
        g_nIspStartAddr = scanHexText(start).value() * 256;
        m_StoreSaved = RegSaveIspStartAddr();
        if (g_hwndStartAddr) g_hwndStartAddr->setText(text(strfmt("ISP Start Address From :0x%X", g_nIspStartAddr)));
    }
    g_bBeepSound = controls().isChecked(kBeepSound) ? 1 : 0;
    m_IniSaved = IniSetBeepSound(g_bBeepSound != 0, g_strIniPath);
    m_Info.infoBlockEnable = m_InfoGroup->GetCheck() == 1 ? 1 : 0;
    ui::TemplateDialog::accept();
}
