#include <QApplication>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "app/application.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "app/main_window.h"
#include "core/registry_settings.h"
#include "platform/event.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "settings_probe.h"
#include "support/environment_value.h"
#include "support/temp_dir.h"

namespace {

// Start-up loads every value it needs, the model's flash size with the model, moves the serial
// number off the vector table (without storing it), clears both events, writes nothing, and
// pauses longer only on Windows 6.1 and 6.2.
TEST(StartUp, LoadsTheSettingsWritesNothingAndClearsBothEvents) {
    SettingsProbe probe;
    theApp.InitInstance();
    EXPECT_EQ(g_dwSerialAddr, 0x8000u);  // a fresh store's address 0 is the reset vector
    const std::pair<const char*, uint32_t> stored[] = {
        {"Burn Limit EN", 0}, {"Limit Quantity", 77}, {"Serial No En", 0}, {"SN Start Addr", 0x10},
        {"Last SN", 55}, {"Total Count", 9}, {"Pass Count", 6}, {"Fail Count", 3}, {"ISPICType", 13},
        {"Serial No Auto Increase", 0}, {"SN in Area", 1}};
    for (const auto& [name, value] : stored) probe.store(name, value);
    g_hStopEvent.set();
    g_hReplyEvent.set();
    const struct { uint32_t major, minor, wait; } versions[] = {
        {5, 1, 20}, {6, 0, 20}, {6, 1, 40}, {6, 2, 40}, {6, 3, 20}, {10, 0, 20}};
    for (const auto& v : versions) {
        platform::setOsVersionForTest({v.major, v.minor});
        theApp.InitInstance();
        EXPECT_EQ(g_dwWaitMs, v.wait) << v.major << "." << v.minor;
    }
    platform::setOsVersionForTest({});
    EXPECT_EQ(std::vector<uint32_t>({g_bLimitEnable, g_nLimitQuantity, g_bSerialEnable, g_nLastSerial, g_nTotalCount,
                                     g_nPassCount, g_nFailCount, g_bSerialAutoInc, g_nSerialLocation}),
              std::vector<uint32_t>({0, 77, 0, 55, 9, 6, 3, 0, 1}));
    EXPECT_EQ(g_nChipMode, 13);
    EXPECT_EQ(g_dwFlashSize, 0xC000u);
    EXPECT_EQ(g_dwSerialAddr, 0x10u);  // in the information area, where no vector table lies
    EXPECT_TRUE(probe.writes().empty());
    EXPECT_FALSE(g_hStopEvent.isSet());
    EXPECT_FALSE(g_hReplyEvent.isSet());
    EXPECT_EQ(g_strIniPath, platform::configFolder() + "swd-isp.ini");
    // The exit leaves neither event signalled.
    g_hStopEvent.set();
    g_hReplyEvent.set();
    theApp.ExitInstance();
    EXPECT_FALSE(g_hStopEvent.isSet());
    EXPECT_FALSE(g_hReplyEvent.isSet());
}

// Without a home folder the program does not start: its settings and serial numbers would
// have no folder of their own. The refusal names HOME; a home from the account starts it.
TEST(StartUp, IsRefusedWithoutAHomeFolder) {
    TempDir place;
    EnvironmentValue home("HOME", std::nullopt), config("XDG_CONFIG_HOME", std::nullopt);
    platform::setAccountHomeForTest("");
    EXPECT_NE(StartUpRefusal().find("HOME"), std::string::npos);
    platform::setAccountHomeForTest(place.path() + "account");
    EXPECT_EQ(StartUpRefusal(), "");
    platform::setAccountHomeForTest(std::nullopt);
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

// What lies at path, told apart well enough to see that nothing replaced it.
std::string Identity(const std::string& path) {
    struct stat info {};
    char target[64] = {};
    if (lstat(path.c_str(), &info) != 0) return "missing";
    // Only a regular file is read: opening a FIFO to read it would wait for a writer.
    std::string text(S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0, '\0');
    std::ifstream(S_ISREG(info.st_mode) ? path : "", std::ios::binary).read(text.data(), std::ssize(text));
    readlink(path.c_str(), target, sizeof target - 1);
    return std::string(target) + " " + std::to_string(info.st_mode) + " " + std::to_string(std::hash<std::string>{}(text));
}

// Whatever lies where the settings file (or the INI file) belongs, the window appears at
// once: a file too large or not regular gives the defaults and is never written over, and a
// large well-formed store is read once, in linear time.
TEST(StartUpWithAStoreInPlace, TheWindowAppearsWithinTwoSecondsAndTheFileStaysAsItWas) {
    const std::string big = WellFormedStore(50u << 20), large = WellFormedStore(4000000);
    const auto write = [](const std::string& text) {
        return [&text](const std::string& path) { std::ofstream(path, std::ios::binary) << text; };
    };
    const struct {
        const char* name;
        std::function<void(const std::string& path)> make;
        uint32_t limitQuantity;  // 1000 is the default
        std::chrono::seconds within;
    } cases[] = {
        {"50 MB of names", write(big), 1000, std::chrono::seconds(2)},
        {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, 1000, std::chrono::seconds(2)},
        {"a link to /dev/zero", [](const std::string& path) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }, 1000,
         std::chrono::seconds(2)},
        // Read whole, in linear time: a quadratic reader takes minutes here (sanitizer builds
        // on a loaded machine take a few seconds even so).
        {"4 MB of names", write(large), 100, std::chrono::seconds(30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempConfigFolder folder;
        const std::string store = platform::registryStorePath(), ini = folder.path() + "swd-isp.ini";
        c.make(store);
        c.make(ini);
        const std::string before = Identity(store);

        const auto start = std::chrono::steady_clock::now();
        theApp.InitInstance();
        CUart_ISPDlg window;
        window.show();
        QApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.within);

        EXPECT_EQ(g_nLimitQuantity, c.limitQuantity);
        EXPECT_EQ(g_bLimitEnable + g_bSerialEnable + g_bSerialAutoInc, 3u);
        EXPECT_EQ(g_nLastSerial + g_nTotalCount + g_nPassCount + g_nFailCount + g_nChipMode, 0u);
        EXPECT_EQ(Identity(store), before);
        if (c.limitQuantity != 1000) continue;
        // Saves do not replace a damaged file.
        RegSaveScanDelay(55);
        RegSaveCounts(1, 1, 0);
        IniSetBeepSound(false, g_strIniPath);
        EXPECT_EQ(Identity(store), before);
        EXPECT_EQ(Identity(ini), before);
    }
}

}  // namespace

// A starter notes the worker it started: the id the worker itself sees.
TEST(WorkThread, TheStarterNotesTheWorkerItStarted) {
    std::atomic<std::thread::id> seen{};
    platform::Event done;
    ASSERT_TRUE(StartWorkThread([&] {
        seen = std::this_thread::get_id();
        done.set();
    }));
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), platform::WaitResult::Signalled);
    EXPECT_EQ(g_hWorkThread.load(), seen.load());
    EXPECT_NE(g_hWorkThread.load(), std::this_thread::get_id());
}
