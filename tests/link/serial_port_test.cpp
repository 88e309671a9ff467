#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/globals.h"
#include "core/registry_key.h"
#include "core/registry_settings.h"
#include "support/gang_link.h"
#include "support/temp_config_folder.h"
#include "support/temp_dir.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/com_settings.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

using SerialPort = GangLinkTest;

TEST_F(SerialPort, LineSettingsAreRawAtTheChosenSpeedWhateverTheTtyHadBefore) {
    struct Case {
        uint32_t stopBits, baud;
        tcflag_t cflags;
        speed_t speed;
    };
    // A pseudo-terminal keeps 8 bits without parity whatever it is told, so the stop bits and
    // the speed are what shows there beside the raw mode.
    for (const Case& c : {Case{1, 57600, CS8, B57600}, Case{2, 9600, CS8 | CSTOPB, B9600}}) {
        SCOPED_TRACE(c.stopBits);
        g_SerialPort.ClosePort();
        // A cooked line as another program may leave it: translation, flow control, 7E2.
        const int fd = ::open(board.path().c_str(), O_RDWR | O_NOCTTY);
        termios cooked{};
        ::tcgetattr(fd, &cooked);
        cooked.c_iflag |= ICRNL | IXON | ISTRIP;
        cooked.c_oflag |= OPOST | ONLCR;
        cooked.c_lflag |= ICANON | ISIG | IEXTEN;
        cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        ::tcsetattr(fd, TCSANOW, &cooked);
        ::close(fd);

        ASSERT_TRUE(g_SerialPort.InitPort(&owner, 1, c.baud, 'N', 8, c.stopBits, 0, 256));
        const termios t = board.lineSettings();
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), c.cflags);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
    }
}

TEST_F(SerialPort, TheOwnerHearsEveryByteUntranslatedAndInOrder) {
    EnterIspOnSocketA();
    const std::vector<uint8_t> data = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0x00, 0xAA};
    board.writeFlash(0, 0x0020, data);
    owner.clear();
    ASSERT_TRUE(Step(0x01, [] { return ComIspRead8(0x20); }));
    EXPECT_EQ(owner.bytes(), EncodeReply({0x0F, 0x03, 0, data}));
}

TEST_F(SerialPort, AFailedConfigurationIsReportedAndLeavesTheDeviceClosed) {
    struct Case {
        const char* device;
        char parity;
        uint32_t baud;
        const char* call;
    };
    const std::string tty = board.path();
    g_SerialPort.ClosePort();
    const size_t descriptors = OpenDescriptors();
    for (const Case& c : {Case{"/dev/null", 'N', 115200, "tcgetattr()"}, Case{tty.c_str(), 'X', 115200, "tcsetattr()"},
                          Case{tty.c_str(), 'N', 12345, "cfsetspeed()"}}) {
        SCOPED_TRACE(c.call);
        SetComPortDeviceOverride(c.device);
        const size_t before = messages.messages().size();
        EXPECT_FALSE(g_SerialPort.InitPort(&owner, 3, c.baud, c.parity, 8, 1, 0, 256));
        EXPECT_FALSE(g_SerialPort.IsOpen());
        EXPECT_FALSE(g_SerialPort.StartMonitoring());
        ASSERT_EQ(messages.messages().size(), before + 1);
        const std::string report = messages.messages().back().text;
        EXPECT_EQ(report.rfind(std::string("WARNING:  ") + c.call + " Failed with the following error: \n", 0), 0u);
        EXPECT_NE(report.find("\nPort: 3\n"), std::string::npos) << report;
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
    EXPECT_FALSE(g_SerialPort.WriteToPort(std::vector<uint8_t>{0xF0}));
}

TEST_F(SerialPort, AFrameLongerThanTheWriteBufferIsRefused) {
    ASSERT_TRUE(g_SerialPort.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 8));
    ASSERT_TRUE(g_SerialPort.StartMonitoring());
    EXPECT_FALSE(g_SerialPort.WriteToPort(std::vector<uint8_t>(9, 0x00)));
    EXPECT_FALSE(g_SerialPort.WriteToPort({}));
    EXPECT_TRUE(g_SerialPort.WriteToPort(std::vector<uint8_t>(8, 0x00)));
    EXPECT_EQ(HostBytes(8), std::vector<uint8_t>(8, 0x00));
}

TEST_F(SerialPort, ClosingWhileTheBoardChattersNeitherHangsNorCrashes) {
    g_SerialPort.ClosePort();
    const size_t descriptors = OpenDescriptors();
    board.chatter(true);
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(ComOpenPort(&owner));
        ComSetLed1(round & 1);
        // Close only once the board's bytes come in, at a different moment each round.
        owner.clear();
        const auto deadline = Clock::now() + 2s;
        while (owner.bytes().empty() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
        ASSERT_FALSE(owner.bytes().empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
        const auto start = Clock::now();
        EXPECT_TRUE(g_SerialPort.ClosePort());
        // The close waits at most 100 ms for the queue; a hang shows as seconds.
        EXPECT_LT(Clock::now() - start, 2s);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// The leave frame goes out without a wait just before the port is closed and opened again: the
// close sends it on and the open discards only input, so no round loses it. Without the monitor
// thread a round is short enough to reopen while the frame is still on its way.
TEST_F(SerialPort, AFrameSentJustBeforeAReopenReachesTheBoard) {
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_TRUE(ComIspLeave());
        ASSERT_TRUE(g_SerialPort.ClosePort());
        ASSERT_TRUE(g_SerialPort.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
    }
    ASSERT_TRUE(g_SerialPort.StartMonitoring());
    // The board takes frames in order: the answer to this one means it has read all before it.
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    const std::string log = board.logText();
    int leaves = 0;
    for (size_t at = 0; (at = log.find("> 0F 0C 02 01 01 FF\n", at)) != std::string::npos; ++at) ++leaves;
    EXPECT_EQ(leaves, kRounds);
}

// Each frame discards the input it finds, racing the monitor thread that was told of it.
TEST_F(SerialPort, InputDiscardedByANewFrameNeverReadsAsALostLine) {
    board.chatter(true);
    const auto end = Clock::now() + 300ms;
    for (bool on = true; Clock::now() < end; on = !on) {
        ASSERT_TRUE(ComSetLed1(on));
        std::this_thread::sleep_for(50us);
    }
    EXPECT_TRUE(g_SerialPort.IsOpen());
    EXPECT_TRUE(owner.failures().empty());
}

TEST_F(SerialPort, AReadFailureClosesThePortOnceInsteadOfSpinning) {
    board.stop();
    const auto deadline = Clock::now() + 1s;
    while (g_SerialPort.IsOpen() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(g_SerialPort.IsOpen());
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(owner.failures().size(), 1u);
    EXPECT_NE(owner.failures()[0].find("read()"), std::string::npos);
    EXPECT_FALSE(ComSetLed1(1));
    EXPECT_TRUE(g_SerialPort.ClosePort());
}

// A peer that reads nothing for a while: the tty takes part of a burst, the rest waits.
TEST(SerialPortBurst, FramesTheTtyCannotTakeAtOnceLeaveWholeAndInOrder) {
    TempConfigFolder config;
    const int peer = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(::grantpt(peer), 0);
    ASSERT_EQ(::unlockpt(peer), 0);
    SetComPortDeviceOverride(::ptsname(peer));
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
    ASSERT_TRUE(port.StartMonitoring());

    // Until the queue behind the full tty is full too; none of it may be lost or reordered.
    std::vector<uint8_t> sent;
    for (size_t n = 0;; ++n) {
        ASSERT_LT(n, 4096u) << "the queue never filled";
        std::vector<uint8_t> frame(256);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(n * 7 + i);
        if (!port.WriteToPort(frame)) break;
        sent.insert(sent.end(), frame.begin(), frame.end());
    }
    std::vector<uint8_t> received;
    const auto deadline = Clock::now() + 5s;
    while (received.size() < sent.size() && Clock::now() < deadline) {
        pollfd in{peer, POLLIN, 0};
        if (::poll(&in, 1, 10) <= 0) continue;
        uint8_t buffer[4096];
        const ssize_t got = ::read(peer, buffer, sizeof buffer);
        if (got > 0) received.insert(received.end(), buffer, buffer + got);
    }
    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
    port.ClosePort();
    ::close(peer);
    SetComPortDeviceOverride("");
}

TEST(ComPortList, ListsTheTtysThatBelongToADevice) {
    const TempDir folder;  // a folder of its own: test runs may go on side by side
    const std::filesystem::path root = folder.path();
    std::filesystem::create_directories(root / "tty0");
    for (const char* name : {"ttyUSB1", "ttyUSB0", "ttyACM0"}) std::filesystem::create_directories(root / name / "device");
    EXPECT_EQ(EnumComPorts(root.string()), (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_TRUE(EnumComPorts((root / "missing").string()).empty());
}

TEST(ComPortDevice, PortNumbersMapToUsbTtysUnlessADeviceIsStored) {
    TempConfigFolder config;
    SetComPortDeviceOverride("");
    EXPECT_EQ(ComPortDevicePath(1), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortDevicePath(12), "/dev/ttyUSB11");
    EXPECT_EQ(ComPortDevicePath(0), "");
    {
        CRegistryKey key;
        ASSERT_EQ(key.Open(g_szRegKey), 0);
        ASSERT_EQ(key.WriteString("COMPort Device", "/dev/ttyS4"), 0);
    }
    EXPECT_EQ(ComPortDevicePath(1), "/dev/ttyS4");
    SetComPortDeviceOverride("/dev/pts/7");
    EXPECT_EQ(ComPortDevicePath(3), "/dev/pts/7");
    SetComPortDeviceOverride("");
}

}  // namespace
