#include "link/hid_device.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "link/hid_commands.h"
#include "sim/hid_adapter.h"
#include "support/recording_services.h"

namespace {

class OpenHidDeviceTest : public ::testing::Test {
protected:
    void TearDown() override {
        CloseHidDevice();
        sim::removeSimulatedAdapters();
        unsetenv("SWD_ISP_SIMULATOR");
    }
    RecordingServices recorder;
};

}  // namespace

TEST_F(OpenHidDeviceTest, TheLastMatchingAdapterIsKeptAndTheOthersClosed) {
    sim::Adapter first, foreign, second;
    foreign.setUsbIds(0x046D, 0xC077);
    sim::installSimulatedAdapters({&first, &foreign, &second});
    ASSERT_TRUE(OpenHidDevice());
    EXPECT_EQ(HidSelectSocket(1), 1);
    EXPECT_EQ(second.sentCommands(), std::vector<uint8_t>{0x3A});
    EXPECT_TRUE(first.sentCommands().empty());
    EXPECT_EQ(first.openHandles() + foreign.openHandles(), 0);
    EXPECT_EQ(second.openHandles(), 1);
    // A new search closes the handle it replaces.
    ASSERT_TRUE(OpenHidDevice());
    EXPECT_EQ(second.openHandles(), 1);
    EXPECT_EQ(g_strHidMsg.rfind("RQ29K165 HID device connect ok", 0), 0u);
}

TEST_F(OpenHidDeviceTest, OnlyReadableReportLengthsThatHoldACommandAndFitTheBuffersAreUsed) {
    for (const auto& [length, kept] : {std::pair<uint16_t, bool>{65, true}, {80, true}, {40, true}, {81, false}, {39, false},
                                      {9, false}}) {
        SCOPED_TRACE(length);
        sim::Adapter adapter;
        adapter.setFeatureReportLength(length);
        sim::installSimulatedAdapter(adapter);
        EXPECT_EQ(OpenHidDevice(), kept);
        EXPECT_EQ(g_nHidFeatureLen, kept ? length : 0);
        if (kept) {
            ASSERT_EQ(HidSelectSocket(2), 1);
            EXPECT_EQ(adapter.sentReports().at(0).size(), length);
        }
        CloseHidDevice();
    }
    EXPECT_TRUE(recorder.messages().empty());

    sim::Adapter unreadable;
    unreadable.failReportDescriptor();
    sim::installSimulatedAdapter(unreadable);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_EQ(unreadable.openHandles(), 0);
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_EQ(recorder.messages()[0].text, "Get HID PREPARED DATA fail! \n");
}

TEST_F(OpenHidDeviceTest, AHandleThatOutlivesItsAdapterFailsInsteadOfCrashing) {
    {
        sim::Adapter adapter;
        sim::installSimulatedAdapter(adapter);
        ASSERT_TRUE(OpenHidDevice());
    }
    uint8_t version[4];
    EXPECT_EQ(HidGetFirmwareVersion(version), 0);
    EXPECT_FALSE(OpenHidDevice());
}

TEST_F(OpenHidDeviceTest, TheEnvironmentSelectsTheSimulatedAdapter) {
    setenv("SWD_ISP_SIMULATOR", "1", 1);
    ASSERT_TRUE(OpenHidDevice());
    uint8_t version[4];
    ASSERT_EQ(HidGetFirmwareVersion(version), 1);
    EXPECT_EQ(std::string(version, version + 4), "V010");
}

// This machine has no adapter: the real hidraw back end must find none, and without a handle
// every command fails.
TEST_F(OpenHidDeviceTest, TheRealBackEndFindsNoAdapterHere) {
    sim::removeSimulatedAdapters();
    ASSERT_FALSE(platform::hidBackendInstalled());
    for (const auto& info : platform::hidrawBackend().enumerate())
        EXPECT_FALSE(info.vendorId == kAdapterVendorId && info.productId == kAdapterProductId) << info.path;
    EXPECT_EQ(platform::hidrawBackend().open({"/dev/hidraw-none", kAdapterVendorId, kAdapterProductId}), nullptr);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_EQ(HidCmdPrepare(), 0);
    EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
    EXPECT_TRUE(recorder.messages().empty());
}
