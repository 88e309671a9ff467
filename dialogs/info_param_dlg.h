#pragma once
// "Information Block Parameter": the information-block settings the program holds, shown and
// never changed: the switches, the read-protection level, the protected area and the ISP boot
// data. Nothing the operator does in it goes anywhere.
#include "dialogs/isp_parm_dlg.h"
#include "platform/dialog_builder.h"

class CProtectArea;

// "View Detail" of the IC page and the serial-flash page: the view of the settings in use.
void RunInfoParamView(QWidget* parent);

class CInfoParamDlg : public ui::TemplateDialog {
public:
    // The boot-data fields come from the opener; the protection settings from the globals.
    explicit CInfoParamDlg(const IspParamFields& fields, QWidget* parent = nullptr);

private:
    CProtectArea* m_ProtectMap;
};
