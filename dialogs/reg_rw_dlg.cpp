#include "dialogs/reg_rw_dlg.h"

#include <QComboBox>

#include "controls/number_text.h"
#include "core/globals.h"
#include "core/validators.h"
#include "link/hid_commands.h"
#include "link/hid_device.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/reg_rw_template.h"

using namespace res;

namespace {

constexpr uint32_t kSitePauseMs = 10;
const char* const kReadFailed = "Read Error! The adapter did not answer";
const char* const kWriteFailed = "Write Error! The adapter did not answer";

QString hexText(uint32_t value) { return QString::fromStdString(strfmt("%X", value)); }

// Gives the busy flag back at the end of a button's exchanges.
struct AdapterHold {
    ~AdapterHold() { g_bTaskWorking = false; }
};

}  // namespace

CRegRWDlg::CRegRWDlg(QWidget* parent) : ui::TemplateDialog(kRegRw188, parent) {
    auto* sockets = controls().control<QComboBox>(kIdcRegRwSocket);
    sockets->addItems({"1", "2", "3", "4"});
    sockets->setCurrentIndex(0);
    controls().setText(kIdcRegRwReadAddr, hexText(m_dwReadAddr));
    controls().setText(kIdcRegRwWriteAddr, hexText(m_dwWriteAddr));
    onChanged(kIdcRegRwReadAddr, &CRegRWDlg::OnChangeReadAddr);
    onChanged(kIdcRegRwWriteAddr, &CRegRWDlg::OnChangeWriteAddr);
    onChanged(kIdcRegRwWriteValue, &CRegRWDlg::OnChangeWriteValue);
    onSelChange(kIdcRegRwSocket, &CRegRWDlg::OnSelectSocket);
    onClicked(kIdcRegRwOpenSwd, &CRegRWDlg::OnOpenSwd);
    onClicked(kIdcRegRwRead, &CRegRWDlg::OnRead);
    onClicked(kIdcRegRwWrite, &CRegRWDlg::OnWrite);
    onClicked(1, &CRegRWDlg::accept);
}

void CRegRWDlg::CheckField(int id, uint32_t& field, const char* what) {
    const QString typed = controls().text(id).toUpper();
    const std::string text = typed.isEmpty() ? std::string("0") : typed.toStdString();
    switch (CheckHexString(text, 0xFFFFFFFF)) {
        case 0:
            field = scanHexText(text).value();
            return;
        case 1:
            MessageBox(strfmt("%s Error! %s must be HEX number", what, what), platform::MsgIcon::Error);
            break;
        default:
            MessageBox(strfmt("Out of range! %s must be <= %X", what, 0xFFFFFFFFu), platform::MsgIcon::Error);
            break;
    }
    controls().setText(id, hexText(field));
}

void CRegRWDlg::OnChangeReadAddr() { CheckField(kIdcRegRwReadAddr, m_dwReadAddr, "Address"); }
void CRegRWDlg::OnChangeWriteAddr() { CheckField(kIdcRegRwWriteAddr, m_dwWriteAddr, "Address"); }
void CRegRWDlg::OnChangeWriteValue() { CheckField(kIdcRegRwWriteValue, m_dwWriteValue, "Value"); }

void CRegRWDlg::OnSelectSocket() {
    const int index = controls().control<QComboBox>(kIdcRegRwSocket)->currentIndex();
    if (index >= 0) m_nSocket = static_cast<uint32_t>(index);
}

bool CRegRWDlg::TakeAdapter() {
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return false;
    if (OpenHidDevice()) return true;
    g_bTaskWorking = false;
    MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
    return false;
}

bool CRegRWDlg::PowerSite() {
    const bool selected = HidSelectSocket(m_nSocket) == 1;
    platform::sleepMs(kSitePauseMs);
    const bool powered = HidSetSocketPower(1) == 1;
    platform::sleepMs(kSitePauseMs);
    return selected && powered;
}

void CRegRWDlg::OnOpenSwd() {
    if (!TakeAdapter()) return;
    AdapterHold hold;
    // A refused select or power-on would leave the connect to another site or an unpowered one.
    if (!PowerSite() || HidConnectTarget() != kConnectOk) {
        MessageBox("No Target IC found!", platform::MsgIcon::Error);
        return;
    }
    HidCmdPrepare();
}

void CRegRWDlg::OnRead() {
    if (!TakeAdapter()) return;
    AdapterHold hold;
    m_abReadValue.fill(0);
    if (!PowerSite() || HidReadBytes(m_dwReadAddr, m_abReadValue) != 1) {
        controls().setText(kIdcRegRwReadValue, "");
        MessageBox(kReadFailed, platform::MsgIcon::Error);
        return;
    }
    controls().setText(kIdcRegRwReadValue, QString::fromStdString(strfmt("%02X%02X%02X%02X", m_abReadValue[3],
                                                                         m_abReadValue[2], m_abReadValue[1],
                                                                         m_abReadValue[0])));
}

void CRegRWDlg::OnWrite() {
    if (!TakeAdapter()) return;
    AdapterHold hold;
    if (!PowerSite() || HidWriteWord(m_dwWriteAddr, m_dwWriteValue) != 1)
        MessageBox(kWriteFailed, platform::MsgIcon::Error);
}
