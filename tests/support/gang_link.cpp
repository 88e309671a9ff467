#include "support/gang_link.h"

#include <chrono>
#include <thread>

#include "core/globals.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/com_settings.h"

void GangLinkTest::SetUp() {
    ASSERT_TRUE(board.start());
    SetComPortDeviceOverride(board.path());
    g_nComPort = 1;
    g_nComBaudRate = 115200;
    g_dwOsMajor = 10;
    g_dwOsMinor = 0;
    g_nDelayCount = 0;
    g_pComPageOwner = &owner;
    g_bSkipBlockErase = 1;
    ASSERT_TRUE(ComOpenPort(&owner));
}

void GangLinkTest::TearDown() {
    g_SerialPort.ClosePort();
    g_SerialPort.SetOwner(nullptr);
    g_pComPageOwner = nullptr;
    SetComPortDeviceOverride("");
    g_pBlockBuf.release();
    board.stop();
}

bool Step(uint8_t tag, const std::function<bool()>& send, uint32_t waitMs) {
    ComBeginStep(tag);
    send();
    return ComWaitReply(waitMs);
}

std::vector<uint8_t> GangLinkTest::HostBytes(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::vector<uint8_t> bytes;
    for (;;) {
        bytes.clear();
        for (const sim::LogEntry& entry : board.log()) {
            if (entry.fromHost) bytes.insert(bytes.end(), entry.bytes.begin(), entry.bytes.end());
        }
        if (bytes.size() >= count || std::chrono::steady_clock::now() > deadline) return bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void GangLinkTest::EnterIspOnSocketA() {
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    ASSERT_TRUE(Step(0x2C, [] { return ComSet4066A(1); }));
    ASSERT_TRUE(Step(0x03, [] { return ComIspStart(); }));
    board.clearLog();
}
