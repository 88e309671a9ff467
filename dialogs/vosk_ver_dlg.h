#pragma once
// "SWD Vosk Version": the programmer adapter's firmware version, its main and its sub text,
// read once by a short worker of the dialog's own when the dialog opens.
#include <optional>
#include <string>

#include "platform/dialog_builder.h"

struct FirmwareTexts {
    std::string main;  // at most 4 characters
    std::string sub;   // at most 8 characters
};

// Both texts from the adapter, each ending at its first zero byte; empty when either read fails.
std::optional<FirmwareTexts> ReadFirmwareTexts();

class CVoskVerDlg : public ui::TemplateDialog {
public:
    explicit CVoskVerDlg(QWidget* parent = nullptr);

    // Close and Esc are refused while the dialog's worker reads: it reports into the dialog.
    void done(int result) override;
    // The worker's result, on the user-interface thread.
    void ShowVersion(const std::optional<FirmwareTexts>& texts);

private:
    bool m_bReading = false;
};
