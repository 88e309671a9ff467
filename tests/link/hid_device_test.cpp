#include "link/hid_device.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "link/hid_commands.h"
#include "platform/services.h"
#include "sim/hid_adapter.h"

namespace {

class MessageRecorder : public platform::DesktopServices {
public:
    int messageBox(const std::string& text, platform::MsgIcon, platform::MsgButtons) override {
        messages.push_back(text);
        return platform::IDOK;
    }
    std::string openFileName(const platform::FileDialogRequest&) override { return {}; }
    std::string saveFileName(const platform::FileDialogRequest&) override { return {}; }
    void openInViewer(const std::string&) override {}
    void tone(unsigned, unsigned) override {}

    std::vector<std::string> messages;
};

class OpenHidDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setServices(&recorder); }
    void TearDown() override {
        CloseHidDevice();
        sim::removeSimulatedAdapters();
        platform::setServices(nullptr);
        unsetenv("SWD_ISP_SIMULATOR");
    }
    MessageRecorder recorder;
};

}  // namespace

TEST_F(OpenHidDeviceTest, NoAdapterLeavesNoHandle) {
    sim::installSimulatedAdapters({});
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_EQ(HidCmdPrepare(), 0);
    EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
}

TEST_F(OpenHidDeviceTest, TheLastMatchingAdapterIsKeptAndTheOthersClosed) {
    sim::Adapter first, foreign, second;
    foreign.setUsbIds(0x046D, 0xC077);
    sim::installSimulatedAdapters({&first, &foreign, &second});
    ASSERT_TRUE(OpenHidDevice());
    EXPECT_EQ(HidSelectSocket(1), 1);
    EXPECT_EQ(second.sentCommands(), std::vector<uint8_t>{0x3A});
    EXPECT_TRUE(first.sentCommands().empty());
    EXPECT_EQ(first.openHandles(), 0);
    EXPECT_EQ(foreign.openHandles(), 0);
    EXPECT_EQ(second.openHandles(), 1);

    // A new search closes the handle it replaces.
    ASSERT_TRUE(OpenHidDevice());
    EXPECT_EQ(second.openHandles(), 1);
    EXPECT_EQ(g_strHidMsg.rfind("RQ29K165 HID device connect ok", 0), 0u);
}

TEST_F(OpenHidDeviceTest, OnlyReportLengthsThatHoldACommandAndFitTheBuffersAreUsed) {
    struct Row {
        uint16_t length;
        bool kept;
    };
    for (const Row row : {Row{65, true}, Row{80, true}, Row{40, true}, Row{81, false}, Row{39, false}, Row{9, false}}) {
        SCOPED_TRACE(row.length);
        sim::Adapter adapter;
        adapter.setFeatureReportLength(row.length);
        sim::installSimulatedAdapter(adapter);
        EXPECT_EQ(OpenHidDevice(), row.kept);
        EXPECT_EQ(g_nHidFeatureLen, row.kept ? row.length : 0);
        if (row.kept) {
            ASSERT_EQ(HidSelectSocket(2), 1);
            EXPECT_EQ(adapter.sentReports().at(0).size(), row.length);
        }
        CloseHidDevice();
    }
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(OpenHidDeviceTest, AnAdapterWithoutReadableDescriptorIsReportedAndNotKept) {
    sim::Adapter adapter;
    adapter.failReportDescriptor();
    sim::installSimulatedAdapter(adapter);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_EQ(adapter.openHandles(), 0);
    EXPECT_EQ(recorder.messages, std::vector<std::string>{"Get HID PREPARED DATA fail! \n"});
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
    EXPECT_EQ(sim::environmentAdapter().openHandles(), 1);
}

// This machine has no adapter: the real hidraw back end must find none and fail cleanly.
TEST_F(OpenHidDeviceTest, TheRealBackEndFindsNoAdapterHere) {
    sim::removeSimulatedAdapters();
    ASSERT_FALSE(platform::hidBackendInstalled());
    for (const auto& info : platform::hidrawBackend().enumerate())
        EXPECT_FALSE(info.vendorId == kAdapterVendorId && info.productId == kAdapterProductId) << info.path;
    EXPECT_EQ(platform::hidrawBackend().open({"/dev/hidraw-none", kAdapterVendorId, kAdapterProductId}), nullptr);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_TRUE(recorder.messages.empty());
}
