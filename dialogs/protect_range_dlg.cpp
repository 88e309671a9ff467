#include "dialogs/protect_range_dlg.h"

#include "res/protect_range_template.h"

using namespace res::protect_range;

CProtectRangeDlg::CProtectRangeDlg(uint16_t mask, uint32_t protectAddr, QWidget* parent)
    : ui::TemplateDialog(kProtectRange175, parent), m_dwProtectAddr(protectAddr), m_wMask(mask) {
    for (int block = 0; block < kBlockCount; ++block) {
        controls().setChecked(kFirstBlock + block, (m_wMask >> block) & 1);
        controls().onToggled(kFirstBlock + block, [this, block] { OnBlock(kFirstBlock + block, block); });
    }
    // The hidden box stands for the last block as well.
    controls().onToggled(kHiddenLastBlock, [this] { OnBlock(kHiddenLastBlock, kBlockCount - 1); });
    onClicked(1, &CProtectRangeDlg::accept);
    onClicked(2, &CProtectRangeDlg::reject);
}

void CProtectRangeDlg::OnBlock(int box, int block) {
    const auto bit = static_cast<uint16_t>(1u << block);
    m_wMask = static_cast<uint16_t>(controls().isChecked(box) ? m_wMask | bit : m_wMask & ~bit);
}
