#pragma once
// A bench for the adapter tool dialogs: a simulated adapter as the program's HID back end (not
// yet opened: the dialogs open it), recording desktop services, pauses skipped, no task
// running and the program's folder in a temporary place.
#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>

#include "app/globals.h"
#include "engine_hid/pause.h"
#include "link/hid_device.h"
#include "platform/dialog_builder.h"
#include "sim/hid_adapter.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

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

    // Runs the user-interface loop until done() holds; false after five seconds.
    template <class Done>
    static bool spinUntil(Done done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    // Clicks a button and waits until the worker it started (if any) has ended.
    template <class Dialog>
    static void clickAndWait(Dialog& dialog, int id) {
        dialog.controls().template control<QAbstractButton>(id)->click();
        ASSERT_TRUE(spinUntil([&] { return !dialog.workerRunning() && !g_bTaskWorking; }));
    }
    // The operator picks item index of a combo box.
    static void choose(ui::ControlSet& controls, int id, int index) {
        auto* combo = controls.control<QComboBox>(id);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    std::vector<std::string> takeMessages() {
        std::vector<std::string> texts;
        for (const auto& m : services.messages()) texts.push_back(m.text);
        services.clear();
        return texts;
    }

    sim::Adapter adapter;
    RecordingServices services;
    TempDir folder;
};
