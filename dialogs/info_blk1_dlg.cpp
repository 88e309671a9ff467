#include "dialogs/info_blk1_dlg.h"

#include <algorithm>

#include "core/control_set_page.h"
#include "core/globals.h"
#include "controls/bind_control.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/port_failure.h"
#include "platform/strfmt.h"
#include "platform/ui.h"
#include "res/info_blk1_template.h"

using namespace res;

namespace {
constexpr uint8_t kIdleReplyTag = 0x3C;
}

CInfoBlk1Dlg::CInfoBlk1Dlg(QWidget* parent) : ui::TemplatePage(kInfoBlk1Page136, parent) {
    bindControl(controls(), kIdcInfo1Grid, m_grid);
    m_grid.m_byData.fill(0xFF);
    g_pInfoBlk1Dlg = this;
    // No step pending; a running task's step keeps its tag.
    if (!g_bTaskWorking) g_byReplyTag = kIdleReplyTag;
    onClicked(kIdcInfo1Read, &CInfoBlk1Dlg::OnRead);
    onClicked(kIdcInfo1Write, &CInfoBlk1Dlg::OnWrite);
    onClicked(kIdcInfo1Erase, &CInfoBlk1Dlg::OnErase);
    onClicked(kIdcInfo1Reset, &CInfoBlk1Dlg::OnReset);
}

CInfoBlk1Dlg::~CInfoBlk1Dlg() {
    if (g_SerialPort.Owner() == this) g_SerialPort.SetOwner(nullptr);
    if (g_pInfoBlk1Dlg == this) g_pInfoBlk1Dlg = nullptr;
}

void CInfoBlk1Dlg::OnRead() { Start(InfoBlk1ReadThread); }
void CInfoBlk1Dlg::OnWrite() { Start(InfoBlk1WriteThread); }
void CInfoBlk1Dlg::OnErase() { Start(InfoBlk1EraseThread); }
void CInfoBlk1Dlg::OnReset() { Start(InfoBlk1ResetThread); }

// The port belongs to the running task: it is opened only once the busy flag is ours.
void CInfoBlk1Dlg::Start(void (*worker)(InfoBlk1Page&)) {
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return;
    if (!ComOpenPort(this)) {
        g_bTaskWorking = false;
        MessageBox("Com port not found!", platform::MsgIcon::Error);
        return;
    }
    g_hStopEvent.reset();
    if (!StartWorkThread([this, worker] { worker(*this); })) {
        ComClosePort();
        g_bTaskWorking = false;
    }
}

std::array<uint8_t, kInfoBlk1Bytes> CInfoBlk1Dlg::gridBytes() {
    std::array<uint8_t, kInfoBlk1Bytes> bytes{};
    ui::sendToUi([&] {
        m_grid.commitEditorText();
        std::copy_n(m_grid.m_byData.begin(), bytes.size(), bytes.begin());
    });
    return bytes;
}

void CInfoBlk1Dlg::showGridBytes(std::span<const uint8_t, kInfoBlk1Bytes> bytes) {
    ui::sendToUi([&] {
        std::copy(bytes.begin(), bytes.end(), m_grid.m_byData.begin());
        m_grid.update();
    });
}

int CInfoBlk1Dlg::messageBox(const std::string& text, platform::MsgIcon icon) {
    int answer = 0;
    ui::sendToUi([&] { answer = MessageBox(text, icon); });
    return answer;
}

void CInfoBlk1Dlg::setBusyCursor(bool busy) {
    ui::sendToUi([&] {
        if (busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    });
}

void CInfoBlk1Dlg::OnCloseLog() { logFile_.close(); }

void CInfoBlk1Dlg::FileLogByte(uint8_t byte) { logFile_.write(strfmt(" %02x", byte)); }

void CInfoBlk1Dlg::FileLogBytesLine(std::span<const uint8_t> bytes) {
    logFile_.write(BytesLineText(bytes, " %02x") + "\r\n");
}

void CInfoBlk1Dlg::serialFailed(const std::string& report) { PostPortFailure(this, report); }
