#pragma once
// The prompts a gang-board worker raises through its page before it programs a protection
// byte or the code-option bytes: the stop prompt (the run ends) and the warning prompt
// (continue or abort, answered through the answer globals).
#include <cstdint>

#include "platform/dialog_builder.h"

// The warning prompt's kind for the code option; kinds 1 to 4 are protection values.
constexpr uint32_t kCodeOptionKind = 5;

class CStopDlg : public ui::TemplateDialog {
public:
    // kind 1 to 4: which protection value the image holds; address: that byte's address.
    CStopDlg(uint32_t kind, uint32_t address, QWidget* parent = nullptr);
};

class CWarnDlg : public ui::TemplateDialog {
public:
    // kind 1 to 4: a protection value, kind 5: the code option; address: the byte's address.
    CWarnDlg(uint32_t kind, uint32_t address, QWidget* parent = nullptr);

    // 2 until the prompt ends, then 1 after OK and 3 after Abort, Esc or the close box.
    uint32_t choice() const { return choice_; }
    // 0 while "Don't warning again." is checked.
    uint32_t askAgain() const { return askAgain_; }

    void reject() override;

private:
    void OnDontWarnAgain();
    void OnOK();

    uint32_t choice_ = 2;
    uint32_t askAgain_ = 1;
};
