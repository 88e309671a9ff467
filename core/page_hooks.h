#pragma once
// Where the pages and dialogs built below the main window plug into it. The main window and
// the IC page call these; the pages and dialogs set them when they are installed. While one is
// unset its command does nothing (and a page's place stays empty).
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

// The six values the serial-number configuration dialog answers with on OK, and whether the
// operator typed the serial number there.
struct ConfigAnswer {
    uint8_t chipMode = 0;
    uint32_t serialEnable = 0;
    uint32_t serialAutoInc = 0;
    uint32_t serialAddr = 0;
    uint32_t lastSerial = 0;
    uint32_t serialLocation = 0;
    bool lastSerialTyped = false;
};

// "Config.": runs CConfig1Dlg modally; its answer on OK, nothing on any other end.
extern std::function<std::optional<ConfigAnswer>(QWidget* parent)> RunConfigDialog;
// Makes the window of a page from its template (130 IC page, 161 serial-flash page, 137
// information-block page) as a child of parent; called once per page, on first showing.
extern std::function<QWidget*(int templateId, QWidget* parent)> CreatePageWindow;
// The IC page's Burn (CISPDlg::OnBurn on g_pISPDlg), which the B key runs.
extern std::function<void()> BurnFromKey;
// Runs a device tool dialog modally by its template (182, 187, 171, 184).
extern std::function<void(int templateId, QWidget* parent)> RunToolDialog;
// The target flash dump dialog, run modally by the IC page's Dump while no task runs.
extern std::function<void(QWidget* parent)> RunDumpDialog;
// Shows the stored programming settings again on the IC page, when it exists.
extern std::function<void()> RefreshIcPageSettings;
