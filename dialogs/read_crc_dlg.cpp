#include "dialogs/read_crc_dlg.h"

#include <QComboBox>
#include <vector>

#include "core/crc16.h"
#include "core/globals.h"
#include "dialogs/info_block_workers.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "platform/strfmt.h"
#include "res/adapter_tool_templates.h"

using namespace res;
using engine_hid::Pause;

namespace {

constexpr uint32_t kBlock = 32;
constexpr uint32_t kInfoBlockSize = 2048;
constexpr uint32_t kUncountedBytes = 16;  // at the start of each 1 KB page

}  // namespace

TargetCrcs ReadTargetCrcs(WorkerPage& page, uint32_t socket, uint32_t flashSize) {
    TargetCrcs crcs;
    std::vector<uint8_t> buffer(flashSize, 0xFF);
    const uint32_t blocks = flashSize / kBlock;
    page.setProgressRange(0, static_cast<int>(blocks));
    page.setProgressPos(0);
    page.showControl(kIdcCrcBar, true);
    // A failed select would read the site selected before.
    if (HidSelectSocket(socket) != 1) {
        ReportReadFailure(page, kTargetFlashBase);
        page.showControl(kIdcCrcBar, false);
        return crcs;
    }
    HidSetSocketPower(1);
    if (HidConnectTarget() != kConnectOk) {
        page.messageBox(strfmt("Socket %d No Target IC found!", static_cast<int>(socket + 1)), platform::MsgIcon::Error);
        page.showControl(kIdcCrcBar, false);
        return crcs;
    }
    HidCmdPrepare();
    Pause(200);

    std::optional<uint32_t> failed;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint32_t address = kTargetFlashBase + kBlock * k;
        if (HidReadBlock(address, std::span(buffer).subspan(kBlock * k, kBlock)) != 1 && !failed) failed = address;
        page.setProgressPos(static_cast<int>(k));
    }
    if (failed) {
        ReportReadFailure(page, *failed);
    } else {
        crcs.mainCode = CalcCRC16(buffer.data(), flashSize, 0xFFFF, 0);
        page.setControlText(kIdcMainCrc, strfmt("Main Code CRC : %04X", *crcs.mainCode));
    }

    std::vector<uint8_t> info(kInfoBlockSize, 0xFF);
    page.setProgressRange(0, static_cast<int>(kInfoBlockSize / kBlock));
    page.setProgressPos(0);
    if (ReadByteBlocks(page, kTargetInfoBase, info)) {
        std::fill_n(info.begin(), kUncountedBytes, 0xFF);
        std::fill_n(info.begin() + kInfoPageSize, kUncountedBytes, 0xFF);
        crcs.infoBlock = CalcCRC16(info.data(), kInfoBlockSize, 0xFFFF, 0);
        page.setControlText(kIdcInfoCrc, strfmt("Information block CRC : %04X", *crcs.infoBlock));
    }
    page.showControl(kIdcCrcBar, false);
    return crcs;
}

CReadCRCDlg::CReadCRCDlg(QWidget* parent) : ToolDialog(kReadCrc184, kIdcCrcBar, parent) {
    FillSocketCombo(controls(), kIdcSocketCombo);
    onSelChange(kIdcSocketCombo, &CReadCRCDlg::OnSelchangeSocket);
    onClicked(kIdcReadCrc, &CReadCRCDlg::OnReadCrc);
    onClicked(1, &CReadCRCDlg::accept);
}

void ReadCRCThread(CReadCRCDlg& dialog, uint32_t socket, uint32_t flashSize) {
    ReadTargetCrcs(dialog.page_, socket, flashSize);
}

void CReadCRCDlg::OnSelchangeSocket() { ReadSocketCombo(controls(), kIdcSocketCombo, m_nSocket); }

void CReadCRCDlg::OnReadCrc() {
    if (!AdapterTask::claim()) return;
    if (g_nChipMode > 1) {
        AdapterTask::release();
        return;
    }
    // The texts of an earlier target go before this one is read.
    controls().setText(kIdcMainCrc, "Main Code CRC : ");
    controls().setText(kIdcInfoCrc, "Information Block CRC : ");
    task_.run([this, socket = m_nSocket, size = FlashSizeOfMode(g_nChipMode)] { ReadCRCThread(*this, socket, size); });
}
