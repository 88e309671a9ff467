#include <gtest/gtest.h>

#include "app/application.h"
#include "app/globals.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "settings_probe.h"

namespace {

class StartUpTest : public ::testing::Test {
protected:
    void TearDown() override { platform::setOsVersionForTest({}); }

    SettingsProbe probe_;
};

TEST_F(StartUpTest, ReadsTheElevenSettingsInOrderAndNothingElse) {
    StartUp();
    EXPECT_EQ(probe_.reads(), (std::vector<std::string>{
                                  "Burn Limit EN", "Limit Quantity", "Serial No En", "SN Start Addr", "Last SN",
                                  "Total Count", "Pass Count", "Fail Count", "ISPICType",
                                  "Serial No Auto Increase", "SN in Area"}));
    EXPECT_TRUE(probe_.writes().empty());
    EXPECT_EQ(g_dwSerialAddr, 0x8000u);  // a fresh store's address 0 is the reset vector
}

TEST_F(StartUpTest, TakesTheModelsFlashSizeAndLeavesBothEventsClear) {
    probe_.store("ISPICType", 13);
    probe_.store("Burn Limit EN", 7);
    probe_.store("SN Start Addr", 0x10);
    g_hStopEvent.set();
    g_hReplyEvent.set();
    StartUp();
    EXPECT_EQ(g_nChipMode, 13);
    EXPECT_EQ(g_dwFlashSize, 0xC000u);
    EXPECT_EQ(g_bLimitEnable, 1);
    EXPECT_EQ(g_dwSerialAddr, 0x6000u);  // moved off the vector table, not stored
    EXPECT_TRUE(probe_.writes().empty());
    EXPECT_FALSE(g_hStopEvent.isSet());
    EXPECT_FALSE(g_hReplyEvent.isSet());
    EXPECT_EQ(g_strIniPath, platform::configFolder() + "swd-isp.ini");
}

TEST_F(StartUpTest, PausesLongerOnlyOnWindows61And62) {
    const struct { uint32_t major, minor, wait; } cases[] = {
        {5, 1, 20}, {6, 0, 20}, {6, 1, 40}, {6, 2, 40}, {6, 3, 20}, {10, 0, 20}};
    for (const auto& c : cases) {
        platform::setOsVersionForTest({c.major, c.minor});
        StartUp();
        EXPECT_EQ(g_dwWaitMs, c.wait) << c.major << "." << c.minor;
    }
}

TEST(SerialAddressCorrection, FollowsTheConfigurationsRule) {
    const struct { uint32_t location, address, size, expected; } cases[] = {
        {0, 0, 0x10000, 0x8000}, {0, 0x10, 0x8000, 0x4000}, {0, 0x11, 0x8000, 0x11},
        {0, 0xFFF0, 0x10000, 0xFFF0}, {1, 0, 0x10000, 0}, {1, 0x3FB, 0x10000, 0x3FB},
        {1, 0x3FC, 0x10000, 0}, {2, 0x5000, 0x10000, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CorrectedSerialAddress(c.location, c.address, c.size), c.expected)
            << c.location << " " << c.address;
}

}  // namespace
