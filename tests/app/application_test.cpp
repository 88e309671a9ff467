#include <QTest>
#include <gtest/gtest.h>

#include "app/application.h"
#include "app/globals.h"
#include "app/main_window.h"
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
}

TEST_F(StartUpTest, TakesTheModelsFlashSizeAndLeavesBothEventsClear) {
    probe_.store("ISPICType", 13);
    probe_.store("Burn Limit EN", 7);
    g_hStopEvent.set();
    g_hReplyEvent.set();
    StartUp();
    EXPECT_EQ(g_nChipMode, 13);
    EXPECT_EQ(g_dwFlashSize, 0xC000u);
    EXPECT_EQ(g_bLimitEnable, 1);
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
        EXPECT_EQ(g_dwOsMinor, c.minor);
    }
}

// A fresh store asks for the serial number at address 0 of main code: the reset vector.
TEST_F(StartUpTest, MovesASerialAddressOffTheVectorTableWithoutStoringIt) {
    StartUp();
    EXPECT_EQ(g_dwSerialAddr, 0x8000u);
    probe_.clear();
    probe_.store("ISPICType", 3);  // 4 KB
    probe_.store("SN Start Addr", 0x10);
    StartUp();
    EXPECT_EQ(g_dwSerialAddr, 0x800u);
    EXPECT_TRUE(probe_.writes().empty());
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

class DelayKeys : public ::testing::Test {
protected:
    void SetUp() override {
        g_nDelayCount = 0;
        qApp->installEventFilter(&filter_);
    }
    void TearDown() override { qApp->removeEventFilter(&filter_); }

    QString notice() const { return window_.client()->controls().text(1098); }
    bool noticeShown() const { return !window_.client()->control(1098)->isHidden(); }

    SettingsProbe probe_;
    DelayKeyFilter filter_;
    CUart_ISPDlg window_;
};

TEST_F(DelayKeys, StepWithinBoundsAndSaveEveryPress) {
    const struct { uint32_t start; Qt::Key key; Qt::KeyboardModifiers mods; uint32_t expected; } cases[] = {
        {5, Qt::Key_Plus, Qt::KeypadModifier, 6},     {5, Qt::Key_Plus, Qt::ShiftModifier, 6},
        {5, Qt::Key_Equal, Qt::NoModifier, 6},        {2000, Qt::Key_Plus, Qt::KeypadModifier, 2000},
        {5, Qt::Key_Minus, Qt::KeypadModifier, 4},    {5, Qt::Key_Minus, Qt::NoModifier, 4},
        {1, Qt::Key_Minus, Qt::NoModifier, 0},        {0, Qt::Key_Minus, Qt::KeypadModifier, 0},
    };
    for (const auto& c : cases) {
        probe_.clear();
        g_nDelayCount = c.start;
        QTest::keyClick(&window_, c.key, c.mods);
        EXPECT_EQ(g_nDelayCount.load(), c.expected) << c.start << " key " << c.key;
        EXPECT_EQ(probe_.writes(), (std::vector<std::pair<std::string, uint32_t>>{{"Scan Delay", c.expected}}));
    }
    EXPECT_TRUE(noticeShown());
    EXPECT_EQ(notice(), "Delay Count:0");
}

TEST_F(DelayKeys, CountOnceWhenTheKeyTravelsUpFromAChild) {
    window_.show();
    QWidget* child = window_.client()->control(1098);
    QTest::keyClick(child, Qt::Key_Plus);
    EXPECT_EQ(g_nDelayCount.load(), 1u);
    EXPECT_EQ(probe_.writes().size(), 1u);
}

TEST_F(DelayKeys, OtherKeysChangeNothing) {
    QTest::keyClick(&window_, Qt::Key_5);
    QTest::keyClick(&window_, Qt::Key_Return);
    EXPECT_EQ(g_nDelayCount.load(), 0u);
    EXPECT_TRUE(probe_.writes().empty());
    EXPECT_FALSE(noticeShown());
}

TEST_F(DelayKeys, NoticeFollowsTheCountAndGoesAfterTwoSeconds) {
    QTest::keyClick(&window_, Qt::Key_Plus);
    QTest::keyClick(&window_, Qt::Key_Plus);
    EXPECT_EQ(notice(), "Delay Count:2");
    EXPECT_TRUE(g_bNoticeShown);
    QTest::qWait(2200);
    EXPECT_FALSE(noticeShown());
    EXPECT_FALSE(g_bNoticeShown);
}

}  // namespace
