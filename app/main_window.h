#pragma once
// The program's only top-level window: the menu, the title with the chip model, one working
// page at a time in its client area, and the notice text.
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/page_hooks.h"
#include "platform/dialog_builder.h"

class CUart_ISPDlg : public QMainWindow {
public:
    enum class Page { IspIc, IspSf, InfoBlock, EepromTable };
    enum class Notice { None, Busy, DelayCount };

    explicit CUart_ISPDlg(QWidget* parent = nullptr);
    ~CUart_ISPDlg() override;

    // The notices in the notice text, for two seconds each, ended by a timer on this thread;
    // while one shows no other starts.
    void ShowBusyNoticeThread();
    // "Delay Count:%d"; while this notice shows, its number follows g_nDelayCount.
    void ShowDelayCountThread();

    // The window of a page once it has been shown, else nullptr.
    QWidget* page(Page which) const { return pages_[static_cast<size_t>(which)]; }
    ui::TemplatePage* client() const { return client_; }

    // The EEPROM table page's command, whose menu item the window removes at start.
    void OnEepromPage();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A key that no page took.
    void PreTranslateMessage(int key);
    void OnCommand(int command);
    void OnIspIc();
    void OnIspSf();
    void OnEeprom();
    void OnConfig();
    void TakeConfigAnswer(const ConfigAnswer& answer);
    void OnAbout();
    // The tool dialogs of the menu, each run modally.
    void OnInfoBlk1();
    void OnSecurityBootData();
    void OnVoskFirmwareVer();
    void OnReadCrc();
    // Hides every page; refused as a page switch is while a task runs.
    void OnHidePages();

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
};

// The notice that shows in the main window now; None while none does.
extern CUart_ISPDlg::Notice g_hNoticeThread;

// The About box: the program's icon and version.
class CAboutDlg : public ui::TemplateDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// A second About box with another product line; nothing in the window opens it.
class CAboutQorm : public ui::TemplateDialog {
public:
    explicit CAboutQorm(QWidget* parent = nullptr);
};
