#pragma once
// The serial-flash page against the simulated adapter, driven through its buttons, with the
// program's own workers on their own threads.
#include <QAbstractButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/globals.h"
#include "res/flash_page_template.h"
#include "sfpage/flash_isp.h"
#include "support/simulated_burn.h"
#include "support/spin_until.h"

class FlashPage : public ::testing::Test {
protected:
    void SetUp() override {
        g_strExeDir = bench.folder.path().toStdString() + "/";
        g_strLastDir.clear();
        g_bLimitEnable = 0;
        g_nLimitQuantity = 1000;
        g_bTaskWorking = false;
        page = std::make_unique<CFlashISP>();
        page->show();
    }
    void TearDown() override {
        EXPECT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
        page.reset();
    }

    void load(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin") {
        services.chosenFile = bench.writeImage(bytes, name);
        click(res::sf::kIdcLoadFile);
    }
    void click(int id) { page->controls().control<QAbstractButton>(id)->click(); }
    // Clicks and waits until the worker has ended.
    void run(int id) {
        click(id);
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : services.messages()) texts.push_back(m.text);
        return texts;
    }
    int setsOf(uint8_t command) const { return static_cast<int>(std::ranges::count(bench.adapter.sentCommands(), command)); }

    SimulatedBurn bench;
    RecordingServices& services = bench.services;
    std::unique_ptr<CFlashISP> page;
};
