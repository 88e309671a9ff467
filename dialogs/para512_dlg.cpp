#include "dialogs/para512_dlg.h"

#include "controls/bind_control.h"
#include "res/write_protect_template.h"

using namespace res;

// The grid draws as many cells as its holder sets: 512 bytes, 16 to a row.
CPara512Dlg::CPara512Dlg(QWidget* parent) : ui::TemplateDialog(kPara512Dlg183, parent) {
    bindControl(controls(), kIdcPara512Grid, m_grid);
    m_grid.m_nCols = 16;
    m_grid.m_nRows = 32;
    onClicked(1, &CPara512Dlg::accept);
}
