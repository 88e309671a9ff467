#include "dialogs/info_param_dlg.h"

#include "core/globals.h"
#include "core/protect_area.h"
#include "res/info_param_template.h"

using namespace res::info_param;

void RunInfoParamView(QWidget* parent) {
    CInfoParamDlg view(DecodeIspParams(g_IspParam, g_bVidPidEnable, g_bPllEnable), parent);
    view.exec();
}

CInfoParamDlg::CInfoParamDlg(const IspParamFields& fields, QWidget* parent)
    : ui::TemplateDialog(kInfoParam185, parent), m_ProtectMap(new CProtectArea(this)) {
    controls().replace(kProtectMap, m_ProtectMap);
    if (g_bInfoBlockEnable) controls().setChecked(kInfoBlockEnable, true);
    controls().setChecked(kBootDataEnable, g_bBootDataEnable != 0);
    controls().setChecked(kLevel0, g_nRdpLevel != 0);
    controls().setChecked(kLevel1, g_nRdpLevel == 0);
    m_ProtectMap->m_nType = g_nPcropType;
    m_ProtectMap->m_dwProtectAddr = g_dwProtectAddr;
    m_ProtectMap->m_wMask = g_wProtectMask;
    m_ProtectMap->update();
    ShowIspParamFields(controls(), fields);
    onClicked(1, &CInfoParamDlg::accept);
}
