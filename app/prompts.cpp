#include "app/prompts.h"

#include <QLabel>
#include <QStyle>

#include "platform/strfmt.h"
#include "res/prompt_templates.h"

namespace {

const char* const kStopMessages[] = {
    "0X%X=0x10, error code, To enable memory protection 0X%X=0x10, also need to set 0X%X-bit7: 4 to 'A'",
    "0X%X=0x00, error code, To enable memory protection 0X%X=0x00, also need to set 0X%X-bit7: 4 to 'A'",
    "0X%X=0x5A, error code, To enable memory protection 0X%X=0x5A, also need to set 0X%X-bit7: 4 to 'A'",
    "0X%X=0xA5, error code, To enable memory protection 0X%X=0xA5, also need to set 0X%X-bit7: 4 to 'A'",
};

struct WarnText {
    const char* message;
    const char* prompt;
};

const WarnText kWarnTexts[] = {
    {"0x%X=0x10 will enable memory protection,flash memory can't be read after burn!!!", "Cotinue or Abort ?"},
    {"0x%X=0x00 will enable memory protection,flash memory can't be program and read after burn !!!",
     "Cotinue or Abort ?"},
    {"0x%X=0x5A will enable memory protection,flash memory can't be read after burn!!!", "Cotinue or Abort?"},
    {"0x%X=0xA5 will enable memory protection,flash memory can't be program and read after burn !!!",
     "Cotinue or Abort?"},
    {"0x%X bit7: 4 = 'A' will be enable code option,0x%X=0xFF, 0x%X=0xFF and 0x%X=0xFF will be caused by "
     "unexpect result!!!",
     "Cotinue or Abort?"},
};

// The prompts' emphasis: 16-pixel bold italic Arial.
QFont emphasisFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    font.setBold(true);
    font.setItalic(true);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void setSystemIcon(QWidget* control, QStyle::StandardPixmap which) {
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setPixmap(control->style()->standardIcon(which).pixmap(32, 32));
}

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

CStopDlg::CStopDlg(uint32_t kind, uint32_t address, QWidget* parent)
    : ui::TemplateDialog(res::kStopPrompt173, parent) {
    control(res::kIdcStopTitle)->setFont(emphasisFont());
    if (kind >= 1 && kind <= 4) {
        controls().setText(res::kIdcStopTitle, QStringLiteral("error code, ISP will terminate!!!"));
        controls().setText(res::kIdcStopMessage, text(strfmt(kStopMessages[kind - 1], address, address, address - 4)));
    }
    setSystemIcon(control(res::kIdcStopIcon), QStyle::SP_MessageBoxCritical);
    onClicked(1, &CStopDlg::accept);
}

CWarnDlg::CWarnDlg(uint32_t kind, uint32_t address, QWidget* parent)
    : ui::TemplateDialog(res::kWarnPrompt174, parent) {
    control(res::kIdcWarnPrompt)->setFont(emphasisFont());
    if (kind >= 1 && kind <= 5) {
        const WarnText& warn = kWarnTexts[kind - 1];
        const std::string message = kind == kCodeOptionKind
                                        ? strfmt(warn.message, address, address + 5, address + 6, address + 7)
                                        : strfmt(warn.message, address);
        controls().setText(res::kIdcWarnMessage, text(message));
        controls().setText(res::kIdcWarnPrompt, QString::fromLatin1(warn.prompt));
    }
    setSystemIcon(control(res::kIdcWarnIcon), QStyle::SP_MessageBoxWarning);
    onToggled(res::kIdcDontWarnAgain, &CWarnDlg::OnDontWarnAgain);
    onClicked(1, &CWarnDlg::OnOK);
    onClicked(2, &CWarnDlg::reject);
}

void CWarnDlg::OnDontWarnAgain() { askAgain_ = controls().isChecked(res::kIdcDontWarnAgain) ? 0 : 1; }

void CWarnDlg::OnOK() {
    choice_ = 1;
    accept();
}

// Abort, Esc and the close box all end here.
void CWarnDlg::reject() {
    choice_ = 3;
    QDialog::reject();
}
