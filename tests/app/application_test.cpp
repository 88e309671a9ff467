#include <QApplication>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>

#include "app/application.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/registry_settings.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
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

// One stored value a line, each name once, "Limit Quantity" last, about bytes long.
std::string WellFormedStore(size_t bytes) {
    std::string text = "[" + std::string(g_szRegKey) + "]\n";
    text.reserve(bytes + 64);
    std::string line = "\"Name 00000000\"=dword:00000001\n";
    while (text.size() + 64 < bytes) {
        text += line;
        for (size_t digit = 13; line[digit]++ == '9'; --digit) line[digit] = '0';
    }
    return text + "\"Limit Quantity\"=dword:00000064\n";
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::string text(static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0)), '\0');
    file.seekg(0).read(text.data(), std::ssize(text));
    return text;
}

// Whatever lies where the settings file belongs, the window appears at once: a store that is
// too large or not a regular file gives the defaults and is never written over, and a large
// well-formed one is read once, in linear time.
TEST(StartUpWithAStoreInPlace, TheWindowAppearsWithinTwoSecondsAndTheFileStaysAsItWas) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        std::function<bool(const std::string& path)> unchanged;
        uint32_t limitQuantity;  // 1000 is the default
    };
    const std::string big = WellFormedStore(50u << 20);
    const std::string large = WellFormedStore(4000000);
    const auto holds = [](const std::string& text) {
        return [&text](const std::string& path) { return FileText(path) == text; };
    };
    const Case cases[] = {
        {"50 MB of names", [&](const std::string& path) { std::ofstream(path, std::ios::binary) << big; },
         holds(big), 1000},
        {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         [](const std::string& path) {
             struct stat info {};
             return lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
         },
         1000},
        {"a link to /dev/zero", [](const std::string& path) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); },
         [](const std::string& path) {
             char target[32] = {};
             return readlink(path.c_str(), target, sizeof target - 1) == 9 && std::string(target) == "/dev/zero";
         },
         1000},
        {"4 MB of names", [&](const std::string& path) { std::ofstream(path, std::ios::binary) << large; },
         holds(large), 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempConfigFolder folder;
        const std::string path = platform::registryStorePath();
        c.make(path);

        const auto start = std::chrono::steady_clock::now();
        StartUp();
        CUart_ISPDlg window;
        window.show();
        QApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

        EXPECT_EQ(g_nLimitQuantity, c.limitQuantity);
        EXPECT_EQ(g_bLimitEnable, 1);
        EXPECT_EQ(g_bSerialEnable, 1u);
        EXPECT_EQ(g_bSerialAutoInc, 1u);
        EXPECT_EQ(g_nLastSerial + g_nTotalCount + g_nPassCount + g_nFailCount + g_nChipMode, 0u);
        EXPECT_TRUE(c.unchanged(path));
        // A save must not replace a damaged store.
        if (c.limitQuantity == 1000) {
            RegSaveScanDelay(55);
            RegSaveCounts(1, 1, 0);
            EXPECT_TRUE(c.unchanged(path));
        }
    }
}

}  // namespace
