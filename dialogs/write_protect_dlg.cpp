#include "dialogs/write_protect_dlg.h"

#include <QFont>
#include <QPalette>

#include "res/write_protect_template.h"

using namespace res;

namespace {

QFont WarningFont(bool italic) {
    QFont font("Arial");
    font.setPixelSize(16);
    font.setBold(true);
    font.setItalic(italic);
    return font;
}

}  // namespace

CWriteProtectDlg::CWriteProtectDlg(QWidget* parent) : ui::TemplateDialog(kWriteProtect141, parent) {
    QWidget* headline = control(kIdcWriteProtectHeadline);
    headline->setFont(WarningFont(true));
    control(kIdcWriteProtectDeclare)->setFont(WarningFont(false));
    OnCtlColor();

    connect(&m_timer, &QTimer::timeout, this, &CWriteProtectDlg::OnTimer);
    m_timer.start(kBlinkMs);
    onClicked(1, &CWriteProtectDlg::accept);
    onClicked(2, &CWriteProtectDlg::reject);
}

// The headline's text is red; every other control keeps the style's colours.
void CWriteProtectDlg::OnCtlColor() {
    QWidget* headline = control(kIdcWriteProtectHeadline);
    QPalette palette = headline->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    headline->setPalette(palette);
}

void CWriteProtectDlg::OnTimer() {
    m_bTitleShown = m_bTitleShown ? 0 : 1;
    controls().show(kIdcWriteProtectHeadline, m_bTitleShown != 0);
}

// The blinking ends with the dialog, however it is closed.
void CWriteProtectDlg::done(int result) {
    m_timer.stop();
    ui::TemplateDialog::done(result);
}
