#pragma once
// "Write Protect": warns that the chosen option locks the target against any later ISP action,
// with a red headline that blinks every 400 ms while the dialog is open; answers OK or Cancel.
#include <QTimer>
#include <cstdint>

#include "platform/dialog_builder.h"

class CWriteProtectDlg : public ui::TemplateDialog {
public:
    static constexpr int kBlinkMs = 400;

    explicit CWriteProtectDlg(QWidget* parent = nullptr);

    void done(int result) override;
    bool blinking() const { return m_timer.isActive(); }

    uint32_t m_bTitleShown = 1;

private:
    void OnCtlColor();
    void OnTimer();

    QTimer m_timer;
};
