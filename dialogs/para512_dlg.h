#pragma once
// "Parameter": a byte grid of 16 columns and 32 rows, and Close. Nothing fills the grid.
#include "controls/grid_box.h"
#include "platform/dialog_builder.h"

class CPara512Dlg : public ui::TemplateDialog {
public:
    explicit CPara512Dlg(QWidget* parent = nullptr);

    CGridBox512 m_grid;
};
