#include "dialogs/dump_dlg.h"

#include <QComboBox>
#include <cstdio>

#include "core/dump_listing.h"
#include "core/globals.h"
#include "dialogs/info_block_workers.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/adapter_tool_templates.h"

using namespace res;
using engine_hid::Pause;

namespace {

constexpr uint32_t kBlock = 32;
constexpr int kConnectTries = 3;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The field's text read as "%X"; nothing when it does not start with a hexadecimal number. It
// is read wider than 32 bits, so a number beyond them stays above every bound instead of
// wrapping round to a small page.
std::optional<uint64_t> HexFieldValue(const QString& text) {
    unsigned long long value = 0;
    if (std::sscanf(text.toUpper().toStdString().c_str(), "%llX", &value) != 1) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadTargetPages(WorkerPage& page, uint32_t socket, uint32_t fromPage,
                                                    uint32_t pageCount) {
    const uint32_t start = fromPage * kDumpPageSize;
    const uint32_t blocks = pageCount * kDumpPageSize / kBlock;
    page.setProgressRange(0, static_cast<int>(blocks + 1));
    page.setProgressPos(0);
    // A failed select would dump the site selected before.
    if (HidSelectSocket(socket) != 1) {
        ReportReadFailure(page, kTargetFlashBase + start);
        return std::nullopt;
    }
    HidSetSocketPower(0);
    Pause(10);
    HidSetSocketPower(1);
    Pause(10);
    bool connected = false;
    for (int attempt = 0; attempt < kConnectTries && !connected; ++attempt) connected = HidConnectTarget() == kConnectOk;
    if (!connected) {
        page.messageBox("No Target IC found!", platform::MsgIcon::Error);
        return std::nullopt;
    }
    Pause(10);
    HidCmdPrepare();
    std::vector<uint8_t> bytes(static_cast<size_t>(blocks) * kBlock, 0xFF);
    std::optional<uint32_t> failed;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint32_t address = kTargetFlashBase + start + kBlock * k;
        if (HidReadBlock(address, std::span(bytes).subspan(kBlock * k, kBlock)) != 1 && !failed) failed = address;
        page.setProgressPos(static_cast<int>(k));
    }
    if (failed) ReportReadFailure(page, *failed);
    return bytes;
}

void SaveTargetDump(WorkerPage& page, const std::vector<uint8_t>& bytes, uint32_t start, bool listing) {
    const std::string path = g_strExeDir + (listing ? "Dump.txt" : "dump.bin");
    if (!SaveDumpFile(page, path, start, bytes, listing, [] { return g_hStopEvent.isSet(); })) return;
    Pause(1);
    platform::services().openInViewer(path);
}

CDumpDlg::CDumpDlg(QWidget* parent) : ToolDialog(kDump133, kIdcDumpBar, parent) {
    controls().setText(kIdcFromPage, Text(strfmt("%X", m_nFromPage)));
    controls().setText(kIdcPageCount, Text(strfmt("%X", m_nPageCount)));
    ShowRange();
    controls().enable(kIdcCancelDump, false);
    controls().setChecked(kIdcTxtFile, true);
    BindSocketCombo(controls(), kIdcSocketCombo, m_nSocket);
    controls().show(kIdcDumpBar, false);

    onChanged(kIdcFromPage, &CDumpDlg::OnChangeFromPage);
    onChanged(kIdcPageCount, &CDumpDlg::OnChangePageCount);
    onToggled(kIdcTxtFile, &CDumpDlg::OnTxtFile);
    onToggled(kIdcBinFile, &CDumpDlg::OnBinFile);
    onClicked(kIdcExecute, &CDumpDlg::OnExecute);
    onClicked(kIdcCancelDump, &CDumpDlg::OnCancelDump);
    onClicked(1, &CDumpDlg::accept);
}

void CDumpDlg::ShowRange() {
    const uint32_t start = m_nFromPage * kDumpPageSize;
    const uint32_t last = (m_nFromPage + m_nPageCount) * kDumpPageSize - 1;
    controls().setText(kIdcFirstByte, Text(strfmt("%X(%d)", start, start)));
    controls().setText(kIdcLastByte, Text(strfmt("%X(%d)", last, last)));
}

void CDumpDlg::OnChangeFromPage() {
    const std::optional<uint64_t> value = HexFieldValue(controls().text(kIdcFromPage));
    if (!value) return;
    if (*value > kDumpPageLimit - m_nPageCount) {
        MessageBox("Out of range!", platform::MsgIcon::Error);
        controls().setText(kIdcFromPage, Text(strfmt("%X", m_nFromPage)));
        return;
    }
    m_nFromPage = static_cast<uint32_t>(*value);
    ShowRange();
}

void CDumpDlg::OnChangePageCount() {
    const std::optional<uint64_t> value = HexFieldValue(controls().text(kIdcPageCount));
    if (!value) return;
    if (*value == 0 || *value > kDumpPageLimit - m_nFromPage) {
        MessageBox(*value == 0 ? "Page count must be more than 0 !" : "Out of range!", platform::MsgIcon::Error);
        controls().setText(kIdcPageCount, Text(strfmt("%X", m_nPageCount)));
        ShowRange();
        return;
    }
    m_nPageCount = static_cast<uint32_t>(*value);
    ShowRange();
}

// The file type follows the radios' state, however it changed.
void CDumpDlg::OnTxtFile() { m_bTxtFile = controls().isChecked(kIdcTxtFile) ? 1 : 0; }
void CDumpDlg::OnBinFile() { m_bTxtFile = controls().isChecked(kIdcBinFile) ? 0 : 1; }

void CDumpDlg::OnCancelDump() {
    if (task_.running()) g_hStopEvent.set();
}

void CDumpDlg::OnExecute() {
    task_.start([this, socket = m_nSocket, from = m_nFromPage, count = m_nPageCount] {
        page_.showControl(kIdcDumpBar, true);
        page_.enableControl(kIdcCancelDump, true);
        if (const auto bytes = ReadTargetPages(page_, socket, from, count))
            SaveTargetDump(page_, *bytes, from * kDumpPageSize, m_bTxtFile != 0);
        page_.showControl(kIdcDumpBar, false);
        page_.enableControl(kIdcCancelDump, false);
    });
}
