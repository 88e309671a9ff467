#pragma once
// What the tool dialogs and the information-block page share around their adapter work: the
// start of a task under the one-task rule, and the worker's view of the dialog's controls.
#include <atomic>
#include <functional>

#include "core/control_set_page.h"
#include "platform/dialog_builder.h"

// One dialog's adapter task. start() refuses while any task runs (test-and-set of
// g_bTaskWorking), opens the adapter (HidNotOpenedText() when it cannot), resets the
// stop event and runs body on a worker thread; the thread clears the busy flag as its last step.
class AdapterTask {
public:
    bool start(std::function<void()> body);
    // Only for work that must run on the user-interface thread under the busy flag (a connect
    // before a worker starts): takes the flag and opens the adapter; false when refused.
    static bool claim();
    // Gives a claimed flag back when no worker follows.
    static void release();
    // Starts body on a worker thread for a flag already claimed; releases it when no thread starts.
    bool run(std::function<void()> body);
    // True from start() until the worker's last step: the dialog must not close before then.
    bool running() const { return running_; }

private:
    std::atomic<bool> running_{false};
};

// A modal tool dialog with its adapter task: Close, Esc and the close box are refused while
// its own worker runs, which still uses the dialog.
class ToolDialog : public ui::TemplateDialog {
public:
    ToolDialog(const res::DialogTemplate& dialog, int progressId, QWidget* parent);
    // A dialog taken down with its parent while its worker runs serves the worker's last calls
    // first.
    ~ToolDialog() override;
    void done(int result) override;

protected:
    AdapterTask task_;
    ControlSetPage page_;  // no log list: a tool dialog shows only its progress and fields
};

// Fills a combo box with the site numbers "1" to "4" and selects the first.
void FillSocketCombo(ui::ControlSet& controls, int comboId);
// The site selected in such a combo (0 to 3) into socket; socket stays while none is selected.
void ReadSocketCombo(ui::ControlSet& controls, int comboId, uint32_t& socket);
// Both, with socket kept at the site the operator selects.
void BindSocketCombo(ui::ControlSet& controls, int comboId, uint32_t& socket);
