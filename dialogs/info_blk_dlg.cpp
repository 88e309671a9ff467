#include "dialogs/info_blk_dlg.h"

#include <QComboBox>
#include <QLabel>

#include "core/globals.h"
#include "controls/grid_box.h"
#include "dialogs/info_block_workers.h"
#include "link/hid_commands.h"
#include "platform/ui.h"
#include "res/info_block_templates.h"

using namespace res;

namespace {
constexpr int kFinishShownMs = 2000;
}

CinfoBlkDlg::CinfoBlkDlg(QWidget* parent) : ToolDialog(kInfoBlk182, kIdcInfoBar, parent), m_Grid(new CGridBoxW(this)) {
    controls().replace(kIdcWordGrid, m_Grid);
    BindSocketCombo(controls(), kIdcSocketCombo, m_nSocket);
    auto* pages = controls().control<QComboBox>(kIdcPageCombo);
    pages->addItems({"Page 1", "Page 2"});
    pages->setCurrentIndex(0);

    auto* finish = controls().control<QLabel>(kIdcEraseFinish);
    QPalette palette = finish->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    finish->setPalette(palette);
    m_FinishTimer.setSingleShot(true);
    connect(&m_FinishTimer, &QTimer::timeout, this, [this] { controls().show(kIdcEraseFinish, false); });

    onClicked(kIdcRead, &CinfoBlkDlg::OnRead);
    onClicked(kIdcWrite, &CinfoBlkDlg::OnWrite);
    onClicked(kIdcEraseInfo, &CinfoBlkDlg::OnErase);
    onClicked(kIdcCopySecurity, &CinfoBlkDlg::OnCopySecurity);
    onClicked(kIdcOpenDebugBlk, &CinfoBlkDlg::OnOpenDebug);
    onSelChange(kIdcPageCombo, &CinfoBlkDlg::OnSelchangePage);
    onClicked(1, &CinfoBlkDlg::accept);
}

void CinfoBlkDlg::OnSelchangePage() {
    const int index = controls().control<QComboBox>(kIdcPageCombo)->currentIndex();
    if (index >= 0) m_nPage = index != 0 ? 1 : 0;
}

void CinfoBlkDlg::ShowEraseFinish() {
    ui::sendToUi([this] {
        controls().show(kIdcEraseFinish, true);
        m_FinishTimer.start(kFinishShownMs);
    });
}

void InfoBlkReadThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex) {
    const InfoPageWords words = ReadInfoPage(dialog.page_, socket, pageIndex);
    ui::sendToUi([&] {
        dialog.m_Grid->m_dwData = words;
        dialog.m_Grid->m_edit.hide();
        dialog.m_Grid->update();
    });
}

void InfoBlkWriteThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex, const InfoPageWords& words) {
    WriteInfoPage(dialog.page_, socket, pageIndex, words);
}

// Erases the page keeping page 1's security words.
void InfoBlkEraseThread(CinfoBlkDlg& dialog, uint32_t socket, uint32_t pageIndex) {
    if (EraseInfoPageKeepingSecurity(dialog.page_, socket, pageIndex)) dialog.ShowEraseFinish();
}

void InfoBlkCopySecurityThread(CinfoBlkDlg& dialog, uint32_t socket) {
    if (CopySecurityToPage2(dialog.page_, socket)) dialog.ShowEraseFinish();
}

void CinfoBlkDlg::OnRead() {
    task_.start([this, socket = m_nSocket, pageIndex = m_nPage] { InfoBlkReadThread(*this, socket, pageIndex); });
}

void CinfoBlkDlg::OnWrite() {
    task_.start([this, socket = m_nSocket, pageIndex = m_nPage, words = m_Grid->m_dwData] {
        InfoBlkWriteThread(*this, socket, pageIndex, words);
    });
}

void CinfoBlkDlg::StartErase(uint32_t pageIndex) {
    task_.start([this, socket = m_nSocket, pageIndex] { InfoBlkEraseThread(*this, socket, pageIndex); });
}

void CinfoBlkDlg::OnErase() { StartErase(m_nPage); }

void CinfoBlkDlg::OnErasePage2() { StartErase(1); }

void CinfoBlkDlg::OnCopySecurity() {
    task_.start([this, socket = m_nSocket] { InfoBlkCopySecurityThread(*this, socket); });
}

void CinfoBlkDlg::OnOpenDebug() { OpenDebugSite(m_nSocket); }
