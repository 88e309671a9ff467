#include "dialogs/info_blk2_dlg.h"

#include <QComboBox>
#include <QEvent>

#include "core/globals.h"
#include "core/parameter_file.h"
#include "controls/grid_box.h"
#include "dialogs/info_block_workers.h"
#include "link/hid_commands.h"
#include "platform/paths.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "platform/ui.h"
#include "res/info_block_templates.h"

using namespace res;

namespace {

platform::FileDialogRequest DataFileRequest() {
    platform::FileDialogRequest request;
    request.filter = "data(*.data)|*.data|All Files (*.*)|*.*||";
    request.defaultExtension = "data";
    request.defaultName = strfmt("%s.data", "default");
    request.startFolder = strfmt("%sData", g_strExeDir.c_str());
    return request;
}

}  // namespace

CInfoBlk2Dlg::CInfoBlk2Dlg(QWidget* parent)
    : ui::TemplatePage(kInfoBlk2Page137, parent), m_Grid(new CGridBox(this)), page_(controls(), 0, kIdcInfoBar) {
    controls().replace(kIdcAreaGrid, m_Grid);
    g_pInfoBlk2Dlg = this;
    m_Grid->m_nBaseAddr = 0;
    FillSocketCombo(controls(), kIdcSocketCombo);
    onSelChange(kIdcSocketCombo, &CInfoBlk2Dlg::OnSelchangeSocket);

    onClicked(kIdcRead, &CInfoBlk2Dlg::OnRead);
    onClicked(kIdcWrite, &CInfoBlk2Dlg::OnWrite);
    onClicked(kIdcEraseInfo, &CInfoBlk2Dlg::OnErase);
    onClicked(kIdcResetArea, &CInfoBlk2Dlg::OnReset);
    onClicked(kIdcSaveData, &CInfoBlk2Dlg::OnSaveData);
    onClicked(kIdcLoadData, &CInfoBlk2Dlg::OnLoadData);
    onClicked(kIdcOpenDebug, &CInfoBlk2Dlg::OnOpenDebug);
}

CInfoBlk2Dlg::~CInfoBlk2Dlg() {
    if (g_pInfoBlk2Dlg == this) g_pInfoBlk2Dlg = nullptr;
}

void CInfoBlk2Dlg::OnCloseLog() { logFile_.close(); }

void CInfoBlk2Dlg::FileLogByte(uint8_t byte) { logFile_.write(strfmt(" %02x", byte)); }

void CInfoBlk2Dlg::FileLogBytesLine(std::span<const uint8_t> bytes) {
    logFile_.write(BytesLineText(bytes, " %02x") + "\r\n");
}

void CInfoBlk2Dlg::OnSetCursor() {
    if (m_bBusyCursor)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

// The pointer entering the page asks for its cursor.
bool CInfoBlk2Dlg::event(QEvent* event) {
    if (event->type() == QEvent::Enter) OnSetCursor();
    return ui::TemplatePage::event(event);
}

void InfoBlk2ReadThread(CInfoBlk2Dlg& dialog, uint32_t socket) {
    const ParameterArea area = ReadParameterArea(dialog.page_, socket);
    ui::sendToUi([&] {
        dialog.m_Grid->m_byData = area;
        dialog.m_Grid->m_edit.hide();
        dialog.m_Grid->update();
    });
}

void InfoBlk2WriteThread(CInfoBlk2Dlg& dialog, uint32_t socket, const ParameterArea& area) {
    WriteParameterArea(dialog.page_, socket, area);
}

void InfoBlk2EraseThread(CInfoBlk2Dlg& dialog, uint32_t socket) {
    EraseInfoPageKeepingSecurity(dialog.page_, socket, 1);
}

void CInfoBlk2Dlg::OnSelchangeSocket() { ReadSocketCombo(controls(), kIdcSocketCombo, m_nSocket); }

void CInfoBlk2Dlg::OnRead() {
    task_.start([this, socket = m_nSocket] { InfoBlk2ReadThread(*this, socket); });
}

void CInfoBlk2Dlg::OnWrite() {
    // The area goes out as the grid holds it now.
    task_.start([this, socket = m_nSocket, area = m_Grid->m_byData] { InfoBlk2WriteThread(*this, socket, area); });
}

void CInfoBlk2Dlg::OnErase() {
    task_.start([this, socket = m_nSocket] { InfoBlk2EraseThread(*this, socket); });
}

void CInfoBlk2Dlg::OnOpenDebug() { OpenDebugSite(m_nSocket); }

void CInfoBlk2Dlg::OnSaveData() {
    const platform::FileDialogRequest request = DataFileRequest();
    platform::makeFolders(request.startFolder);
    const std::string path = platform::services().saveFileName(request);
    if (path.empty()) return;
    if (!SaveParameterFile(path, m_Grid->m_byData))
        MessageBox(strfmt("File could not be created !\r\n%s", path.c_str()), platform::MsgIcon::Error);
}

void CInfoBlk2Dlg::OnLoadData() {
    const std::string path = platform::services().openFileName(DataFileRequest());
    if (path.empty()) return;
    if (LoadParameterFile(path, m_Grid->m_byData) != 0) {
        MessageBox("File could not be opened !");
        return;
    }
    m_Grid->update();
}
