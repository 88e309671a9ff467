#include "dialogs/tool_dialogs.h"

#include "core/page_hooks.h"
#include "dialogs/dump_dlg.h"
#include "dialogs/info_blk2_dlg.h"
#include "dialogs/info_blk_dlg.h"
#include "dialogs/info_data_dlg.h"
#include "dialogs/read_crc_dlg.h"
#include "dialogs/vosk_ver_dlg.h"
#include "res/adapter_tool_templates.h"
#include "res/vosk_ver_template.h"

namespace {

template <class Dialog>
void RunModal(QWidget* parent) {
    Dialog dialog(parent);
    dialog.exec();
}

}  // namespace

void InstallToolDialogs() {
    CreatePageWindow = [previous = CreatePageWindow](int templateId, QWidget* parent) -> QWidget* {
        if (templateId == res::kInfoBlk2Page137.id) return new CInfoBlk2Dlg(parent);
        return previous ? previous(templateId, parent) : nullptr;
    };
    RunToolDialog = [previous = RunToolDialog](int templateId, QWidget* parent) {
        if (templateId == res::kInfoBlk182.id) RunModal<CinfoBlkDlg>(parent);
        else if (templateId == res::kInfoData187.id) RunModal<CInfoDataDlg>(parent);
        else if (templateId == res::kReadCrc184.id) RunModal<CReadCRCDlg>(parent);
        else if (templateId == res::vosk_ver::kVoskVer171.id) RunModal<CVoskVerDlg>(parent);
        else if (previous) previous(templateId, parent);
    };
    RunDumpDialog = [](QWidget* parent) { RunModal<CDumpDlg>(parent); };
}
