#pragma once
// The program's only top-level window: the menu, the title with the chip model, one working
// page at a time in its client area, and the notice text.
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/dialog_builder.h"

// The six values the serial-number configuration dialog answers with on OK.
struct ConfigAnswer {
    uint8_t chipMode = 0;
    uint32_t serialEnable = 0;
    uint32_t serialAutoInc = 0;
    uint32_t serialAddr = 0;
    uint32_t lastSerial = 0;
    uint32_t serialLocation = 0;
};

// Where the pages and dialogs built elsewhere plug in. While one is unset its command does
// nothing (and a page's place stays empty).
// "Config.": runs CConfig1Dlg modally; the six values on OK, nothing on any other end.
extern std::function<std::optional<ConfigAnswer>(QWidget* parent)> RunConfigDialog;
// Makes the window of a page from its template (130 IC page, 161 serial-flash page, 137
// information-block page) as a child of parent; called once per page, on first showing.
extern std::function<QWidget*(int templateId, QWidget* parent)> CreatePageWindow;
// The IC page's Burn (CISPDlg::OnBurn on g_pISPDlg), which the B key runs.
extern std::function<void()> BurnFromKey;
// Runs a device tool dialog modally by its template (182, 187, 171, 184).
extern std::function<void(int templateId, QWidget* parent)> RunToolDialog;

class CUart_ISPDlg : public QMainWindow {
public:
    enum class Page { IspIc, IspSf, InfoBlock, EepromTable };

    explicit CUart_ISPDlg(QWidget* parent = nullptr);
    ~CUart_ISPDlg() override;

    // The notices in the notice text, for two seconds each; while one shows no other starts.
    void ShowBusyNotice();
    // "Delay Count:%d"; while this notice shows, its number follows g_nDelayCount.
    void ShowDelayCount();

    // The window of a page once it has been shown, else nullptr.
    QWidget* page(Page which) const { return pages_[static_cast<size_t>(which)]; }
    ui::TemplatePage* client() const { return client_; }

    // The EEPROM table page's command, whose menu item the window removes at start.
    void OnEepromPage();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Notice { None, Busy, DelayCount };

    void OnCommand(int command);
    void OnIspIc();
    void OnIspSf();
    void OnEeprom();
    void OnConfig();
    void OnAbout();

    // Refuses a page switch while a task runs, with the busy notice.
    bool RefusedWhileBusy();
    void ShowPage(Page which);
    void ResizeClient(int extraWidth, int extraHeight);
    void UpdateTitle();
    bool StartNotice(Notice kind);

    ui::TemplatePage* client_;
    std::array<QWidget*, 4> pages_{};
    QSize compact_;
    QTimer noticeTimer_;
    Notice notice_ = Notice::None;
};

// The About box: the program's icon and version.
class CAboutDlg : public ui::TemplateDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
