#include "link/hid_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "link/hid_commands.h"
#include "sim/hid_adapter.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

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
    EXPECT_EQ(platform::hidrawBackend().open({"/dev/hidraw-none", kAdapterVendorId, kAdapterProductId}).device, nullptr);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_EQ(g_hHidDevice, kInvalidHidHandle);
    EXPECT_STREQ(HidNotOpenedText(), "HID device Not Found !");
    EXPECT_EQ(HidCmdPrepare(), 0);
    EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
    EXPECT_TRUE(recorder.messages().empty());
}

// Two copies of the program on one adapter would interleave their site selects and pages: an
// adapter another copy holds is left to it, and the starters say it is in use until a search
// finds none.
TEST_F(OpenHidDeviceTest, AnAdapterAnotherCopyHoldsIsLeftToIt) {
    sim::Adapter held;
    sim::installSimulatedAdapter(held);
    platform::HidOpened otherCopy = platform::hidBackend().open(platform::hidBackend().enumerate().at(0));
    ASSERT_TRUE(otherCopy.device);
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_STREQ(HidNotOpenedText(), "HID device In Use by another program !");
    sim::installSimulatedAdapters({});
    EXPECT_FALSE(OpenHidDevice());
    EXPECT_STREQ(HidNotOpenedText(), "HID device Not Found !");
}

// The hidraw back end refuses a node another open holds by its lock before hidapi opens it, and
// an open that fails lets the node go. A folder stands in for the node: it takes the lock, and
// hidapi cannot open it.
TEST_F(OpenHidDeviceTest, TheHidrawBackEndRefusesANodeAnotherOpenHolds) {
    const TempDir folder;
    const platform::HidDeviceInfo node{folder.path(), kAdapterVendorId, kAdapterProductId};
    const int other = ::open(node.path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    const platform::HidOpened refused = platform::hidrawBackend().open(node);
    EXPECT_TRUE(refused.inUse);
    ::close(other);
    EXPECT_FALSE(platform::hidrawBackend().open(node).inUse);
    const int after = ::open(node.path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
    ::close(after);
}
