#pragma once
// What the dialog tests share: the operator's clicks and picks, the messages shown, and a bench
// for the adapter tool dialogs (a simulated adapter as the program's HID back end, not yet
// opened: the dialogs open it; recording desktop services, pauses skipped, no task running and
// the program's folder in a temporary place).
#include <QAbstractButton>
#include <QComboBox>
#include <gtest/gtest.h>

#include "core/globals.h"
#include "engine_hid/pause.h"
#include "link/hid_device.h"
#include "platform/dialog_builder.h"
#include "sim/hid_adapter.h"
#include "support/modal_dialog.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

using Texts = std::vector<std::string>;

inline void Click(const ui::ControlSet& controls, int id) { controls.control<QAbstractButton>(id)->click(); }

// The operator picks item index of a combo box.
inline void Choose(const ui::ControlSet& controls, int id, int index) {
    auto* combo = controls.control<QComboBox>(id);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// What the controls show: texts (a combo box's chosen item) and check states.
inline Texts Shown(const ui::ControlSet& controls, std::initializer_list<int> ids) {
    Texts texts;
    for (int id : ids) texts.push_back(controls.text(id).toStdString());
    return texts;
}
inline std::vector<bool> Checked(const ui::ControlSet& controls, std::initializer_list<int> ids) {
    std::vector<bool> states;
    for (int id : ids) states.push_back(controls.isChecked(id));
    return states;
}

// The texts of the messages shown since the last call.
inline Texts TakeMessages(RecordingServices& services) {
    Texts texts;
    for (const auto& m : services.messages()) texts.push_back(m.text);
    services.clear();
    return texts;
}

class ToolBench : public ::testing::Test {
protected:
    void SetUp() override {
        sim::installSimulatedAdapter(adapter);
        engine_hid::SetPauseClockForTests([](uint32_t) {});
        g_bTaskWorking = false;
        g_nChipMode = 0;
        g_strExeDir = folder.path();
    }
    void TearDown() override {
        CloseHidDevice();
        sim::removeSimulatedAdapters();
        engine_hid::SetPauseClockForTests({});
        g_bTaskWorking = false;
        g_strExeDir.clear();
    }
    // Clicks a button and waits until the worker it started (if any) has ended.
    template <class Dialog>
    static void clickAndWait(Dialog& dialog, int id) {
        Click(dialog.controls(), id);
        ASSERT_TRUE(SpinUntil([&] { return !dialog.workerRunning() && !g_bTaskWorking; }));
    }
    Texts takeMessages() { return TakeMessages(services); }

    sim::Adapter adapter;
    RecordingServices services;
    TempDir folder;
};
