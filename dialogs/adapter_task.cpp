#include "dialogs/adapter_task.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QProgressBar>

#include "core/globals.h"
#include "link/hid_device.h"
#include "platform/services.h"
#include "platform/ui.h"

bool AdapterTask::claim() {
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return false;
    if (!OpenHidDevice()) {
        g_bTaskWorking = false;
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return false;
    }
    g_hStopEvent.reset();
    return true;
}

void AdapterTask::release() { g_bTaskWorking = false; }

bool AdapterTask::run(std::function<void()> body) {
    running_ = true;
    const bool started = StartWorkThread([this, body = std::move(body)] {
        body();
        // The dialog may be gone once running_ drops: nothing of it is touched after.
        running_ = false;
        g_bTaskWorking = false;
    });
    if (!started) {
        running_ = false;
        g_bTaskWorking = false;
    }
    return started;
}

bool AdapterTask::start(std::function<void()> body) { return claim() && run(std::move(body)); }

ToolDialog::ToolDialog(const res::DialogTemplate& dialog, int progressId, QWidget* parent)
    : ui::TemplateDialog(dialog, parent), page_(controls(), 0, progressId) {}

ToolDialog::~ToolDialog() {
    while (task_.running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void ToolDialog::done(int result) {
    if (task_.running()) return;
    ui::TemplateDialog::done(result);
}

void FillSocketCombo(ui::ControlSet& controls, int comboId) {
    auto* combo = controls.control<QComboBox>(comboId);
    combo->addItems({"1", "2", "3", "4"});
    combo->setCurrentIndex(0);
}

void ReadSocketCombo(ui::ControlSet& controls, int comboId, uint32_t& socket) {
    const int index = controls.control<QComboBox>(comboId)->currentIndex();
    if (index >= 0) socket = static_cast<uint32_t>(index);
}

void BindSocketCombo(ui::ControlSet& controls, int comboId, uint32_t& socket) {
    FillSocketCombo(controls, comboId);
    socket = 0;
    controls.onSelChange(comboId, [&controls, comboId, &socket] { ReadSocketCombo(controls, comboId, socket); });
}
