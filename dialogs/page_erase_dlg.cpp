#include "dialogs/page_erase_dlg.h"

#include <QKeyEvent>
#include <algorithm>
#include <string>

#include "controls/number_text.h"
#include "core/validators.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/eeprom_template.h"

using namespace res;

namespace {

QString inBase(uint32_t value, bool hex) { return QString::fromStdString(strfmt(hex ? "%X" : "%d", value)); }

QString byteText(uint32_t byte) { return QString::fromStdString(strfmt("%X(%d)", byte, byte)); }

}  // namespace

CPageEraseDlg::CPageEraseDlg(QWidget* parent) : ui::TemplateDialog(kPageErase134, parent) {
    DoDataExchange();
    onChanged(kIdcPageEraseFrom, &CPageEraseDlg::OnChangeFromPage);
    onChanged(kIdcPageEraseCount, &CPageEraseDlg::OnChangePageCount);
    onClicked(1, &CPageEraseDlg::accept);
    onClicked(2, &CPageEraseDlg::reject);
    for (int id : {kIdcPageEraseFrom, kIdcPageEraseCount, 1, 2}) control(id)->installEventFilter(this);
}

// Both number fields start in hexadecimal mode.
void CPageEraseDlg::DoDataExchange() {
    DDX_wcHexButton(controls(), kIdcPageEraseFrom, m_editFromPage);
    DDX_wcHexButton(controls(), kIdcPageEraseCount, m_editPageCount);
}

int CPageEraseDlg::exec() {
    OnInitDialog();
    return ui::TemplateDialog::exec();
}

// A value outside the ranges would be refused by its own check and put back again and again.
void CPageEraseDlg::OnInitDialog() {
    m_nFromPage = std::min(m_nFromPage, kMaxPages);
    m_nPageCount = std::clamp<uint32_t>(m_nPageCount, 1, kMaxPages);
    controls().setText(kIdcPageEraseFrom, inBase(m_nFromPage, true));
    controls().setText(kIdcPageEraseCount, inBase(m_nPageCount, true));
    ShowBytes();
}

uint32_t CPageEraseDlg::CheckDecText(const std::string& text, uint32_t limit) {
    return text.empty() ? 1 : CheckDecString(text, limit);
}

uint32_t CPageEraseDlg::CheckHexText(const std::string& text, uint32_t limit) {
    return text.empty() ? 1 : CheckHexString(text, limit);
}

void CPageEraseDlg::ShowBytes() {
    controls().setText(kIdcPageEraseFirstByte, byteText(m_nFromPage * 256));
    controls().setText(kIdcPageEraseLastByte, byteText((m_nFromPage + m_nPageCount) * 256 - 1));
}

std::optional<uint32_t> CPageEraseDlg::ReadPageField(wcHexButton& field, uint32_t current, const char* what) {
    const bool hex = field.IsHex() != 0;
    const std::string text = field.text().toUpper().toStdString();
    switch (hex ? CheckHexText(text, kMaxPages) : CheckDecText(text, kMaxPages)) {
        case 0:
            return hex ? scanHexText(text).value() : static_cast<uint32_t>(std::stoul(text));
        case 1:
            MessageBox(strfmt("Code Error! Page %s must be digital number", what), platform::MsgIcon::Error);
            break;
        default:
            MessageBox(strfmt("Out of range! Page %s must be <= 1000", what), platform::MsgIcon::Error);
            break;
    }
    field.setText(inBase(current, hex));
    return std::nullopt;
}

void CPageEraseDlg::OnChangeFromPage() {
    const std::optional<uint32_t> page = ReadPageField(m_editFromPage, m_nFromPage, "number");
    if (!page) return;
    m_nFromPage = *page;
    ShowBytes();
}

void CPageEraseDlg::OnChangePageCount() {
    const std::optional<uint32_t> count = ReadPageField(m_editPageCount, m_nPageCount, "count");
    if (!count) return;
    if (*count == 0) {
        MessageBox("Page count must be more than 0 !", platform::MsgIcon::Error);
        m_editPageCount.setText(inBase(m_nPageCount, m_editPageCount.IsHex() != 0));
    } else {
        m_nPageCount = *count;
    }
    ShowBytes();
}

bool CPageEraseDlg::PreTranslateMessage(QObject* target, int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (target == control(1))
                accept();
            else
                focusNextChild();
            return true;
        case Qt::Key_Escape:
            return true;
        case Qt::Key_Up:
            focusPreviousChild();
            return true;
        case Qt::Key_Down:
            focusNextChild();
            return true;
        default:
            return false;
    }
}

bool CPageEraseDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && PreTranslateMessage(watched, static_cast<QKeyEvent*>(event)->key()))
        return true;
    return ui::TemplateDialog::eventFilter(watched, event);
}

void CPageEraseDlg::keyPressEvent(QKeyEvent* event) {
    if (!PreTranslateMessage(this, event->key())) ui::TemplateDialog::keyPressEvent(event);
}
