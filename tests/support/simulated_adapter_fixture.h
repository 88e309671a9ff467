#pragma once
// One simulated adapter installed as the program's HID back end and opened, for tests that drive
// the adapter commands.
#include <gtest/gtest.h>

#include "link/hid_commands.h"
#include "sim/hid_adapter.h"

class SimulatedAdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::installSimulatedAdapter(adapter);
        ASSERT_TRUE(OpenHidDevice());
    }
    void TearDown() override {
        CloseHidDevice();
        sim::removeSimulatedAdapters();
    }
    // Selects, powers and connects a site, so commands reach its target.
    void powerSite(int site) {
        ASSERT_EQ(HidSelectSocket(site), 1);
        ASSERT_EQ(HidSetSocketPower(1), 1);
        ASSERT_EQ(HidConnectTarget(), kConnectOk);
    }

    sim::Adapter adapter;
};
