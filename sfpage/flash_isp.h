#pragma once
// The serial-flash page: load an image, set the limited quantity, and have the adapter's own
// serial flash erased, programmed with the stand-alone image and verified (Auto.), verified,
// or erased; watch the lamp and the log; dump the serial flash.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/control_set_page.h"
#include "platform/dialog_builder.h"

class CMacProgressCtrl;
class CProtectArea;
class QListWidget;

// Makes the main window build this page for template 161.
void InstallFlashPage();

class CFlashISP : public ui::TemplatePage {
public:
    using Worker = std::function<void(WorkerPage&)>;

    explicit CFlashISP(QWidget* parent = nullptr);
    ~CFlashISP() override;

    void OnLoadFile();
    void RefreshSettingsView();

private:
    class View final : public ControlSetPage {
    public:
        View(ui::ControlSet& controls, CMacProgressCtrl* eraseBar);
        void setProgressMarquee(bool on) override;

    private:
        CMacProgressCtrl* eraseBar_;
    };

    void OnCancelTask();
    void OnClearList();
    void OnDump();
    void OnErase();
    void OnExportLog();
    void OnProgram();
    void OnAuto();
    void OnVerify();
    void OnLimitEnable();
    void OnChangeLimitQuantity();
    void OnLevel0();
    void OnLevel1();
    void OnEnableInfoBlock();
    void OnViewDetail();
    void OnConfig();
    void OnReadInfo();
    void OnEnableParameter();

    void ShowLevels();
    // The starters' common part: takes the busy flag (nothing happens while a task runs),
    // makes the checks in the order given, and starts the worker or gives the flag back.
    enum class Check { Image, Adapter, Quantity };
    void Start(std::initializer_list<Check> checks, const std::function<Worker()>& makeWorker);
    bool Passes(Check check);

    CMacProgressCtrl* eraseBar_;
    CProtectArea* protectArea_;
    QListWidget* list_;
    View view_;  // what the workers see of the page; the marquee is the erase-wait bar
    std::string imagePath_;  // the image the next run programs
};

// The quantity field's check: 0 when every character is a digit and the value is at most
// limit, 1 when the text is empty or holds another character, 2 when the value is above limit.
int CheckQuantityText(const std::string& text, uint32_t limit);
