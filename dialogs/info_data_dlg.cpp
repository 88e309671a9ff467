#include "dialogs/info_data_dlg.h"

#include <QComboBox>
#include <QEvent>

#include "core/globals.h"
#include "core/protect_area.h"
#include "dialogs/info_block_workers.h"
#include "dialogs/option_words_view.h"
#include "dialogs/protect_range_dlg.h"
#include "link/hid_commands.h"
#include "platform/byte_order.h"
#include "platform/strfmt.h"
#include "platform/ui.h"
#include "res/info_block_templates.h"

using namespace res;


namespace {

constexpr size_t kSecurityWord = 0x10;
constexpr size_t kProtectMaskWord = 0x18;
constexpr size_t kVidWord = 0x40;
constexpr size_t kSnEnableWord = 0x50;
constexpr size_t kSn1Word = 0x54;
constexpr size_t kBootPinWord = 0x60;
constexpr size_t kUartWord = 0x64;

}  // namespace

CInfoDataDlg::CInfoDataDlg(QWidget* parent) : ToolDialog(kInfoData187, kNoId, parent), m_Map(new CProtectArea(this)) {
    controls().replace(kIdcProtectMap, m_Map);
    m_Map->installEventFilter(this);
    BindSocketCombo(controls(), kIdcSocketCombo, m_nSocket);
    FillOptionChoices(controls(), kIdcSnEnableData);
    ShowProtection();

    onClicked(kIdcRead, &CInfoDataDlg::OnRead);
    onClicked(1, &CInfoDataDlg::accept);
}

bool CInfoDataDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Map && event->type() == QEvent::MouseButtonPress) {
        OnProtectArea();
        return true;
    }
    return ToolDialog::eventFilter(watched, event);
}

void CInfoDataDlg::ShowProtection() {
    m_Map->m_wMask = static_cast<uint16_t>(m_nProtectMask);
    m_Map->m_nType = m_nProtectType;
    m_Map->update();
}

void CInfoDataDlg::OnProtectArea() {
    CProtectRangeDlg range(static_cast<uint16_t>(m_nProtectMask), 0, this);
    if (range.exec() != QDialog::Accepted) return;
    m_nProtectMask = range.m_wMask;
    ShowProtection();
}

// A second target must never show what the first one held.
void CInfoDataDlg::ClearFields() {
    ClearOptionFields(controls(), kIdcSnEnableData);
    m_nProtectMask = 0;
    m_nProtectType = 2;
    ShowProtection();
}

void CInfoDataDlg::OnRead() {
    // The connect runs here, before the worker, so the flag is taken first.
    if (!AdapterTask::claim()) return;
    ClearFields();
    if (PowerAndConnect(m_nSocket) != kConnectOk) {
        AdapterTask::release();
        MessageBox("No Target IC found!", platform::MsgIcon::Error);
        return;
    }
    if (g_nChipMode > 1) {
        AdapterTask::release();
        return;
    }
    controls().enable(kIdcRead, false);
    task_.run([this, socket = m_nSocket] { InfoDataReadThread(*this, socket); });
}

void InfoDataReadThread(CInfoDataDlg& dialog, uint32_t socket) {
    const auto bytes = ReadInfoPageBytes(dialog.page_, socket, 0);
    ui::sendToUi([&] {
        dialog.ShowOptionWords(bytes);
        dialog.controls().enable(kIdcRead, true);
    });
}

void CInfoDataDlg::ShowOptionWords(const std::array<uint8_t, 1024>& page) {
    const uint32_t security = LittleEndianAt(page, kSecurityWord);
    const bool level0 = (security & 0xFF) == 0xAA;
    controls().setChecked(kIdcLevel0, level0);
    controls().setChecked(kIdcLevel1, !level0);

    m_nProtectMask = LittleEndianAt(page, kProtectMaskWord) & 0xFFFF;
    if (security & 0x100) m_nProtectType = 0;
    else m_nProtectType = m_nProtectMask != 0 ? 1 : 2;
    const int typeRadio[] = {kIdcReadWriteProtect, kIdcWriteProtect, kIdcNoneProtect};
    controls().setChecked(typeRadio[m_nProtectType], true);
    ShowProtection();

    const uint32_t usbAndPll[4] = {LittleEndianAt(page, kVidWord), LittleEndianAt(page, kVidWord + 4), LittleEndianAt(page, kVidWord + 8),
                                   LittleEndianAt(page, kVidWord + 12)};
    ShowUsbAndPll(controls(), usbAndPll);
    SelectChoice(controls(), kIdcSnEnableData, LittleEndianAt(page, kSnEnableWord) == 0x0000FFFF ? 1 : 0);
    const int serialIds[] = {kIdcSn1, kIdcSn2, kIdcSn3};
    for (int i = 0; i < 3; ++i)
        controls().setText(serialIds[i], QString::fromStdString(strfmt("%X", LittleEndianAt(page, kSn1Word + 4 * i) & 0xFFFF)));

    const BootPinConfig boot = DecodeBootPin(static_cast<uint16_t>(LittleEndianAt(page, kBootPinWord)));
    ShowBootPin(controls(), boot, boot.enabled);
    if (boot.enabled) ShowUart(controls(), DecodeUart(static_cast<uint16_t>(LittleEndianAt(page, kUartWord))));
}
