#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <latch>
#include <mutex>
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
        EXPECT_EQ(messages.messages().back().caption, "Application Error");
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

// After a step gave up, the run lets the line's bytes go until it is quiet: a silent line is
// quiet at once, a chattering one never within the limit, and what it brought was read.
TEST_F(SerialPort, TheLetGoEndsOnlyOnAQuietLine) {
    ASSERT_TRUE(ComOpenPort(&owner));
    EXPECT_TRUE(g_SerialPort.WaitForQuiet(20ms, 10s));
    board.chatter(true);
    const uint64_t before = g_SerialPort.BytesRead();
    ASSERT_TRUE(ComSetLed1(1));  // wakes the board, which chatters from then on
    EXPECT_FALSE(g_SerialPort.WaitForQuiet(300ms, 600ms));
    EXPECT_GT(g_SerialPort.BytesRead(), before);
    board.chatter(false);
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
    // The owner hears of the failure once the port is closed.
    const auto deadline = Clock::now() + 5s;
    while (owner.failures().empty() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
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


// The other end of a pseudo-terminal that every COM port number is pointed at: it sees each
// byte the port writes and writes what the port is to read.
class PeerLine {
public:
    PeerLine() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::grantpt(fd_), 0);
        EXPECT_EQ(::unlockpt(fd_), 0);
        path_ = ::ptsname(fd_);
        SetComPortDeviceOverride(path_);
    }
    ~PeerLine() {
        hangUp();
        SetComPortDeviceOverride("");
    }
    PeerLine(const PeerLine&) = delete;
    PeerLine& operator=(const PeerLine&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the port wrote, until it ends with tail or 5 s pass.
    std::vector<uint8_t> readUntil(const std::vector<uint8_t>& tail) const {
        std::vector<uint8_t> got;
        const auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline &&
               (got.size() < tail.size() || !std::equal(tail.begin(), tail.end(), got.end() - static_cast<ptrdiff_t>(tail.size())))) {
            pollfd in{fd_, POLLIN, 0};
            if (::poll(&in, 1, 10) <= 0) continue;
            uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    // The next count bytes the port wrote; fewer when 5 s pass.
    std::vector<uint8_t> read(size_t count) const {
        std::vector<uint8_t> got;
        const auto deadline = Clock::now() + 5s;
        while (got.size() < count && Clock::now() < deadline) {
            pollfd in{fd_, POLLIN, 0};
            if (::poll(&in, 1, 10) <= 0) continue;
            std::vector<uint8_t> buffer(count - got.size());
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n > 0) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        }
        return got;
    }
    // What the port wrote until it closed the line, read in pieces of at most piece bytes;
    // whatever came when 5 s pass.
    std::vector<uint8_t> readUntilClosed(size_t piece) const {
        std::vector<uint8_t> got;
        const auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline) {
            pollfd in{fd_, POLLIN, 0};
            if (::poll(&in, 1, 10) <= 0) continue;
            std::vector<uint8_t> buffer(piece);
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n > 0) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            if (n == 0 || (n < 0 && errno == EIO)) break;
        }
        return got;
    }
    void hangUp() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::string path_;
};

// The result of a call on another thread. A call still running after 10 s hangs: the test fails
// and the run ends there, since a stuck thread cannot be taken back.
template <class T>
T Awaited(std::future<T>&& call) {
    if (call.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "a call never returned";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    return call.get();
}

// Waits until count bytes wait for the port on the line, as a second look at it shows (opened
// before the port marks the tty as its own).
void AwaitPending(int look, int count) {
    int pending = -1;
    for (const auto deadline = Clock::now() + 5s; pending != count && Clock::now() < deadline;) {
        ASSERT_EQ(::ioctl(look, FIONREAD, &pending), 0);
        std::this_thread::yield();
    }
    ASSERT_EQ(pending, count);
}

// Runs the calls on threads of their own, released together, awaiting each.
void RunAtOnce(const std::vector<std::function<void()>>& calls) {
    std::latch start(static_cast<std::ptrdiff_t>(calls.size()));
    std::vector<std::future<void>> running;
    for (const auto& call : calls) {
        running.push_back(std::async(std::launch::async, [&start, &call] {
            start.arrive_and_wait();
            call();
        }));
    }
    for (auto& done : running) Awaited(std::move(done));
}

// Threads of this process by the name they gave themselves, waiting up to 5 s for count of them.
bool ThreadsNamed(const std::string& name, size_t count) {
    const auto deadline = Clock::now() + 5s;
    for (;;) {
        size_t found = 0;
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
            std::ifstream comm(task.path() / "comm");
            std::string line;
            if (std::getline(comm, line) && line == name) ++found;
        }
        if (found == count) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
}

constexpr uint32_t kEveryLineEvent = kComEvRxChar | kComEvRxFlag | kComEvCts | kComEvBreak | kComEvErr | kComEvRing;

TEST(ComLineEvents, TwoLooksAtTheLineGiveTheEventsTheMaskAsksForInTheirOrder) {
    using E = ComLineEvent;
    ComLineState counted;
    counted.modemKnown = counted.countersKnown = true;
    counted.modemLines = TIOCM_CTS | TIOCM_DSR;
    const auto with = [&](auto change) {
        ComLineState state = counted;
        change(state);
        return state;
    };
    ComLineState linesOnly;  // a driver with modem lines but no counters
    linesOnly.modemKnown = true;
    const ComLineState nothing;  // a pseudo-terminal
    struct Case {
        const char* name;
        ComLineState before, after;
        uint32_t mask;
        std::vector<E> events;
    };
    const Case cases[] = {
        {"quiet line", counted, counted, kEveryLineEvent, {}},
        {"CTS counted", counted, with([](auto& s) { s.cts += 1; }), kComEvCts, {E::Cts}},
        {"CTS off and on again between looks", counted, with([](auto& s) { s.cts += 2; }), kComEvCts, {E::Cts}},
        {"CTS not asked for", counted, with([](auto& s) { s.cts += 1; }), kEveryLineEvent & ~kComEvCts, {}},
        {"CTS line without counters", linesOnly, ComLineState{true, TIOCM_CTS}, kComEvCts, {E::Cts}},
        {"DSR is no CTS", counted, with([](auto& s) { s.modemLines = TIOCM_CTS; }), kEveryLineEvent, {}},
        {"break", counted, with([](auto& s) { s.breaks += 1; }), kComEvBreak, {E::Break}},
        {"break is no line error", counted, with([](auto& s) { s.breaks += 1; }), kComEvErr, {}},
        {"framing error", counted, with([](auto& s) { s.frame += 1; }), kComEvErr, {E::Error}},
        {"parity error", counted, with([](auto& s) { s.parity += 3; }), kComEvErr, {E::Error}},
        {"overrun", counted, with([](auto& s) { s.overrun += 1; }), kComEvErr, {E::Error}},
        {"buffer overrun", counted, with([](auto& s) { s.bufferOverrun += 1; }), kComEvErr, {E::Error}},
        {"line error not asked for", counted, with([](auto& s) { s.frame += 1; }), kComEvBreak, {}},
        {"ring counted", counted, with([](auto& s) { s.ring += 1; }), kComEvRing, {E::Ring}},
        {"RI rises without counters", linesOnly, ComLineState{true, TIOCM_RNG}, kComEvRing, {E::Ring}},
        {"RI falls without counters", ComLineState{true, TIOCM_RNG}, linesOnly, kComEvRing, {}},
        {"counters of one look only", linesOnly, with([](auto& s) { s.breaks = s.frame = s.cts = 7; }), kEveryLineEvent, {E::Cts}},
        {"all at once", counted,
         with([](auto& s) { s.cts = s.ring = s.breaks = s.overrun = 1; }), kEveryLineEvent,
         {E::Cts, E::Break, E::Error, E::Ring}},
        {"a line that tells nothing", nothing, nothing, kEveryLineEvent, {}},
        {"event character: never told", counted, with([](auto& s) { s.cts = s.ring = s.breaks = s.frame = 1; }),
         kComEvRxFlag | kComEvRxChar, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ComLineEventsBetween(c.before, c.after, c.mask), c.events);
    }
}

// A pseudo-terminal has no modem lines or counters: asked for every line event, the port tells
// none, watches nothing in the kernel, and its frames pass as before.
TEST_F(SerialPort, MonitoringStopsAndRestartsWithFramesGoingThroughAfterwards) {
    g_dwComEventMask = kEveryLineEvent;
    ASSERT_TRUE(ComOpenPort(&owner));
    g_dwComEventMask = 0;
    EXPECT_EQ(g_SerialPort.GetCommEvents(), kEveryLineEvent);
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    ASSERT_TRUE(ThreadsNamed("com monitor", 1));
    EXPECT_TRUE(ThreadsNamed("com lines", 0));

    struct Case {
        const char* name;
        bool (CSerialPort::*call)();
        bool result;
        size_t monitors;
    };
    const Case cases[] = {
        {"stop", &CSerialPort::StopMonitoring, true, 0},
        {"stop again", &CSerialPort::StopMonitoring, true, 0},
        {"restart", &CSerialPort::RestartMonitoring, true, 1},
        {"restart while running", &CSerialPort::RestartMonitoring, true, 1},
        {"stop after restart", &CSerialPort::StopMonitoring, true, 0},
        {"start after stop", &CSerialPort::StartMonitoring, true, 1},
    };
    uint8_t led = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ((g_SerialPort.*c.call)(), c.result);
        EXPECT_TRUE(ThreadsNamed("com monitor", c.monitors));
        EXPECT_TRUE(g_SerialPort.IsOpen());
        // Stopped or not, a step reads its own reply, and the owner hears it.
        owner.clear();
        led ^= 1;
        ASSERT_TRUE(Step(0x31, [led] { return ComSetLed1(led); }));
        EXPECT_FALSE(owner.bytes().empty());
    }
    EXPECT_TRUE(owner.lineEvents().empty());
    EXPECT_TRUE(owner.failures().empty());
    EXPECT_TRUE(g_SerialPort.ClosePort());
    EXPECT_TRUE(ThreadsNamed("com monitor", 0));
    EXPECT_FALSE(g_SerialPort.RestartMonitoring());
    EXPECT_TRUE(g_SerialPort.StopMonitoring());
}

// A restart resumes: what came in while the monitor was stopped still reaches the owner.
TEST(SerialPortRestart, WhatCameInWhileStoppedReachesTheOwnerAfterARestart) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(port.StopMonitoring());
    ASSERT_TRUE(ThreadsNamed("com monitor", 0));
    peer.write({0x11, 0x22, 0x33});
    ASSERT_TRUE(port.RestartMonitoring());
    const auto deadline = Clock::now() + 5s;
    while (owner.bytes().size() < 3 && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(owner.bytes(), (std::vector<uint8_t>{0x11, 0x22, 0x33}));
}

// Two threads stop, close or start the monitor at the same moment: it ends or starts once, the
// second caller waits for the first, and the port is left as the later call says.
TEST(SerialPortThreads, StopsAndStartsOnTwoThreadsAtOnceEndOrStartTheMonitorOnce) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    using Call = std::function<bool()>;
    const Call stop = [&] { return port.StopMonitoring(); };
    const Call close = [&] { return port.ClosePort(); };
    const Call restart = [&] { return port.RestartMonitoring(); };
    const Call reopen = [&] { return port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256); };
    const Call reopenSlower = [&] { return port.InitPort(&owner, 1, 57600, 'N', 8, 1, 0, 256); };
    struct Case {
        const char* name;
        bool monitored;
        Call first, second;
        bool open;
        int monitors;  // -1: whichever call came last decides
    };
    const Case cases[] = {
        {"stop and stop", true, stop, stop, true, 0},
        {"close and close", true, close, close, false, 0},
        {"stop and close", true, stop, close, false, 0},
        {"open again and stop", true, reopen, stop, true, 0},
        {"restart and restart", false, restart, restart, true, 1},
        {"restart and stop", false, restart, stop, true, -1},
        {"open again at two speeds", true, reopen, reopenSlower, true, 0},
    };
    ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
    ASSERT_TRUE(port.ClosePort());
    const size_t descriptors = OpenDescriptors();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 200; ++round) {
            ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
            if (c.monitored) {
                ASSERT_TRUE(port.StartMonitoring());
            }
            bool first = false, second = false;
            RunAtOnce({[&] { first = c.first(); }, [&] { second = c.second(); }});
            EXPECT_TRUE(first && second);
            EXPECT_EQ(port.IsOpen(), c.open);
            if (c.monitors >= 0) {
                ASSERT_TRUE(ThreadsNamed("com monitor", static_cast<size_t>(c.monitors)));
            }
            ASSERT_TRUE(port.ClosePort());
            ASSERT_TRUE(ThreadsNamed("com monitor", 0));
            // The device was opened once at a time: closed, nothing of it is left open.
            ASSERT_EQ(OpenDescriptors(), descriptors);
        }
    }
    EXPECT_TRUE(owner.failures().empty());
}

// Two closes at once while frames wait behind a full tty and the peer reads slowly: the closes
// share the drain, and the one that comes second never discards what the first has sent on. At
// 1200 baud the drain's bound lies minutes away, so a peer slowed by a busy machine loses nothing.
TEST(SerialPortThreads, TwoClosesAtOnceSendEveryFrameThePortWasGiven) {
    TempConfigFolder config;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(port.InitPort(&owner, 1, 1200, 'N', 8, 1, 0, 256));
        while (port.WriteToPort(std::vector<uint8_t>(256, static_cast<uint8_t>(round)))) {
        }
        std::latch closing(1);
        auto received = std::async(std::launch::async, [&] {
            closing.wait();
            return peer.readUntilClosed(64).size();
        });
        RunAtOnce({[&] { closing.count_down(); }, [&] { port.ClosePort(); }, [&] { port.ClosePort(); }});
        EXPECT_EQ(received.get(), port.BytesGiven());
    }
}

// A close and an open on two threads while a third waits on the line: the close shuts only the
// device it set out to close, the port is open only while it holds a device, and the read ends.
TEST(SerialPortThreads, ACloseAndAnOpenAtOnceWhileAReadWaitsLeaveThePortWhole) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    const auto open = [&] { return port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256); };
    const int look = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.ClosePort());
    const size_t descriptors = OpenDescriptors();
    const std::vector<uint8_t> frame = {0x0F, 0x03, 0x00, 0xFF};
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(open());
        // The read has taken the first of its two bytes and waits on the line for the second
        // when the close and the open begin.
        peer.write({0x01});
        ASSERT_NO_FATAL_FAILURE(AwaitPending(look, 1));
        std::vector<uint8_t> buffer(2);
        auto reading = std::async(std::launch::async, [&] { return port.ReadBlocking(buffer); });
        ASSERT_NO_FATAL_FAILURE(AwaitPending(look, 0));
        bool opened = false;
        RunAtOnce({[&] { port.ClosePort(); }, [&] { opened = open(); }});
        EXPECT_TRUE(opened);
        EXPECT_FALSE(Awaited(std::move(reading)));
        // The port writes only when the open came last, and then to the open's device.
        EXPECT_EQ(port.WriteToPort(frame), port.IsOpen());
        if (port.IsOpen()) {
            EXPECT_EQ(peer.read(frame.size()), frame);
        }
        ASSERT_TRUE(port.ClosePort());
        ASSERT_EQ(OpenDescriptors(), descriptors);
    }
    ::close(look);
    EXPECT_TRUE(owner.failures().empty());
}

// A close that waits for a stalled line to send its frames, and an open that begins while it
// waits: the open's own close gives up on the line first and the open takes the device again,
// after the close set out. That close leaves the open's device alone.
TEST(SerialPortThreads, ACloseWaitingForTheLineLeavesTheDeviceOfALaterOpen) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    const auto open = [&] { return port.InitPort(&owner, 1, 921600, 'N', 8, 1, 0, 4096); };
    const std::vector<uint8_t> frame = {0x0F, 0x03, 0x00, 0xFF};
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(open());
        while (port.WriteToPort(std::vector<uint8_t>(4096, 0x5A))) {
        }
        const uint64_t queued = port.BytesWritten();
        auto closing = std::async(std::launch::async, [&] { port.ClosePort(); });
        // The peer takes bytes until the close has written all but a few queued frames: it
        // waits for the line by then, for far longer than the open will.
        while (port.BytesWritten() - queued < (CSerialPort::kMaxQueuedFrames - 4) * 4096) ASSERT_EQ(peer.read(1024).size(), 1024u);
        EXPECT_TRUE(Awaited(std::async(std::launch::async, open)));
        Awaited(std::move(closing));
        // The open holds its device: the peer has yet to read what the old device sent, and the
        // monitor writes the frame once the line takes it.
        ASSERT_TRUE(port.IsOpen());
        ASSERT_TRUE(port.StartMonitoring());
        ASSERT_TRUE(port.WriteToPort(frame));
        const std::vector<uint8_t> got = peer.readUntil(frame);
        ASSERT_GE(got.size(), frame.size());
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), got.end() - 4));
        ASSERT_TRUE(port.ClosePort());
        peer.readUntilClosed(1 << 16);
    }
    EXPECT_TRUE(owner.failures().empty());
}

// An open whose line settings fail shows why before it lets its device go; an open on another
// thread meanwhile comes later and holds the port, and the failed open leaves its device alone.
TEST(SerialPortThreads, AnOpenMadeWhileAFailedOpenReportsKeepsItsDevice) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    RecordingServices box;
    bool opened = false;
    box.whileShown = [&] {
        opened = Awaited(std::async(std::launch::async, [&] { return port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256); }));
    };
    EXPECT_FALSE(port.InitPort(&owner, 1, 115200, 'X', 8, 1, 0, 256));
    ASSERT_TRUE(opened);
    EXPECT_TRUE(port.IsOpen());
    const std::vector<uint8_t> frame = {0x0F, 0x03, 0x00, 0xFF};
    ASSERT_TRUE(port.WriteToPort(frame));
    EXPECT_EQ(peer.read(frame.size()), frame);
}

// An owner that works the port from its handler, on the thread that tells it.
class HandsOnOwner final : public SerialPortOwner {
public:
    explicit HandsOnOwner(std::function<void()> act) : act_(std::move(act)) {}
    void serialByteReceived(uint8_t byte, unsigned) override {
        {
            std::lock_guard lock(lock_);
            bytes_.push_back(byte);
        }
        actOnce();
    }
    void serialFailed(const std::string&) override { actOnce(); }
    // Waits until the handler has acted, failing the run when it never returns.
    void waitActed() { Awaited(acted_.get_future()); }
    std::vector<uint8_t> bytes() const {
        std::lock_guard lock(lock_);
        return bytes_;
    }

private:
    void actOnce() {
        if (done_) return;
        done_ = true;
        act_();
        acted_.set_value();
    }

    std::function<void()> act_;
    bool done_ = false;
    std::promise<void> acted_;
    mutable std::mutex lock_;
    std::vector<uint8_t> bytes_;
};

// A handler on the monitor thread that closes the port, or closes and opens it again, neither
// waits for itself nor for the port; the port goes on as the handler left it.
TEST(SerialPortThreads, AHandlerOnTheMonitorThreadClosesOrReopensThePort) {
    TempConfigFolder config;
    {
        SCOPED_TRACE("a byte, the port closed");
        PeerLine peer;
        CSerialPort port;
        HandsOnOwner owner([&] { EXPECT_TRUE(port.ClosePort()); });
        ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        ASSERT_TRUE(port.StartMonitoring());
        peer.write({0x51});
        owner.waitActed();
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(ThreadsNamed("com monitor", 0));
        EXPECT_FALSE(port.WriteToPort(std::vector<uint8_t>{0x01}));
    }
    {
        SCOPED_TRACE("a byte, the port closed and opened again");
        PeerLine peer;
        CSerialPort port;
        HandsOnOwner* self = nullptr;
        HandsOnOwner owner([&] {
            EXPECT_TRUE(port.ClosePort());
            EXPECT_TRUE(port.InitPort(self, 1, 115200, 'N', 8, 1, 0, 256));
            EXPECT_TRUE(port.StartMonitoring());
        });
        self = &owner;
        ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        ASSERT_TRUE(port.StartMonitoring());
        peer.write({0x51});
        owner.waitActed();
        EXPECT_TRUE(port.IsOpen());
        // The monitor goes on with the port opened again: it hears the next byte.
        peer.write({0x52});
        const auto deadline = Clock::now() + 5s;
        while (owner.bytes().size() < 2 && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
        EXPECT_EQ(owner.bytes(), (std::vector<uint8_t>{0x51, 0x52}));
        EXPECT_TRUE(ThreadsNamed("com monitor", 1));
        ASSERT_TRUE(port.WriteToPort(std::vector<uint8_t>{0x61}));
        EXPECT_EQ(peer.readUntil({0x61}), std::vector<uint8_t>{0x61});
    }
    {
        // Both bytes come in with one read; the handler of the first opens the port again for no
        // owner (as a re-open does while no page owns the port): the second is told to no one.
        SCOPED_TRACE("two bytes at once, the port opened again for no owner");
        PeerLine peer;
        CSerialPort port;
        HandsOnOwner owner([&] {
            EXPECT_TRUE(port.InitPort(nullptr, 1, 57600, 'N', 8, 1, 0, 256));
            EXPECT_TRUE(port.StartMonitoring());
        });
        // A second look at the line, opened before the port marks it as its own.
        const int look = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(look, 0);
        ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        peer.write({0x51, 0x52});
        ASSERT_NO_FATAL_FAILURE(AwaitPending(look, 2));
        ::close(look);
        ASSERT_TRUE(port.RestartMonitoring());
        owner.waitActed();
        // The close returns once the monitor has told what it read.
        EXPECT_TRUE(port.ClosePort());
        EXPECT_EQ(owner.bytes(), std::vector<uint8_t>{0x51});
    }
    {
        // The port is destroyed on another thread while the handler still runs: the destructor
        // waits until the monitor thread has left the port.
        SCOPED_TRACE("a hang-up, the port closed, then destroyed");
        PeerLine peer;
        auto* port = new CSerialPort;
        std::promise<void> destroyed;
        std::future<void> destroyedSeen = destroyed.get_future();
        bool destroyedUnderTheHandler = false;
        std::latch closed(1);
        HandsOnOwner owner([&] {
            EXPECT_TRUE(port->ClosePort());
            closed.count_down();
            // Long enough for a destructor that does not wait to finish.
            destroyedUnderTheHandler = destroyedSeen.wait_for(200ms) == std::future_status::ready;
        });
        ASSERT_TRUE(port->InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        ASSERT_TRUE(port->StartMonitoring());
        peer.hangUp();
        RunAtOnce({[&] { closed.wait(); }});  // on a thread of its own: the close may hang
        RunAtOnce({[&] {
            delete port;
            destroyed.set_value();
        }});
        owner.waitActed();
        EXPECT_FALSE(destroyedUnderTheHandler);
        EXPECT_TRUE(ThreadsNamed("com monitor", 0));
    }
}

TEST(SerialPortWrites, TextsGoOutAsTheirCharactersCutOrPaddedToTheirSize) {
    TempConfigFolder config;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 8));
    ASSERT_TRUE(port.StartMonitoring());
    struct Case {
        const char* name;
        std::function<bool()> write;
        bool accepted;
        std::vector<uint8_t> bytes;
    };
    const std::vector<uint8_t> frame = {0x0F, 0x03, 0x00, 0xFF};
    const Case cases[] = {
        {"string", [&] { return port.WriteStringToPort("AT\r"); }, true, {'A', 'T', '\r'}},
        {"empty string", [&] { return port.WriteStringToPort(""); }, false, {}},
        {"string longer than the write buffer", [&] { return port.WriteStringToPort("ABCDEFGHI"); }, false, {}},
        {"no string", [&] { return port.WriteStringToPort(nullptr); }, false, {}},
        {"sized, padded", [&] { return port.WriteSizedToPort("AB", 4); }, true, {'A', 'B', 0, 0}},
        {"sized, cut", [&] { return port.WriteSizedToPort("ABCDEF", 3); }, true, {'A', 'B', 'C'}},
        {"sized, empty text", [&] { return port.WriteSizedToPort("", 2); }, true, {0, 0}},
        {"sized, the write buffer whole", [&] { return port.WriteSizedToPort("12345678", 8); }, true,
         {'1', '2', '3', '4', '5', '6', '7', '8'}},
        {"sized beyond the write buffer", [&] { return port.WriteSizedToPort("AB", 9); }, false, {}},
        {"sized to nothing", [&] { return port.WriteSizedToPort("AB", 0); }, false, {}},
        {"bytes", [&] { return port.WriteBytesToPort(frame); }, true, frame},
    };
    std::vector<uint8_t> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.write(), c.accepted);
        expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    }
    // A refused write puts nothing on the line: everything arrives once, in order.
    const std::vector<uint8_t> end = {0xE0, 0xE1};
    ASSERT_TRUE(port.WriteToPort(end));
    expected.insert(expected.end(), end.begin(), end.end());
    EXPECT_EQ(peer.readUntil(end), expected);
    EXPECT_EQ(port.BytesWritten(), expected.size());
}

TEST(SerialPortReadBlocking, ReadsTheWholeCountOrSaysWhyNot) {
    enum class Then { Nothing, ClosePort, HangUp };
    struct Case {
        const char* name;
        bool open;
        std::vector<std::vector<uint8_t>> pieces;  // written by the peer while the read waits
        Then then;
        size_t count;
        bool result;
        std::vector<uint8_t> buffer;
    };
    const Case cases[] = {
        {"in one piece", true, {{1, 2, 3}}, Then::Nothing, 3, true, {1, 2, 3}},
        {"in pieces", true, {{1}, {2, 3}, {4}}, Then::Nothing, 4, true, {1, 2, 3, 4}},
        {"more than asked for", true, {{1, 2, 3}}, Then::Nothing, 2, true, {1, 2}},
        {"nothing asked for", true, {}, Then::Nothing, 0, true, {}},
        {"port closed under it", true, {{7}}, Then::ClosePort, 3, false, {}},
        {"line hung up", true, {{7, 8}}, Then::HangUp, 3, false, {}},
        {"port not open", false, {}, Then::Nothing, 2, false, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempConfigFolder config;
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        if (c.open) {
            ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        }
        std::vector<uint8_t> buffer(c.count, 0xEE);
        auto read = std::async(std::launch::async, [&] { return port.ReadBlocking(buffer); });
        for (const auto& piece : c.pieces) peer.write(piece);
        // Whether the byte before the close was read first or not, the read fails.
        if (c.then == Then::ClosePort) port.ClosePort();
        if (c.then == Then::HangUp) peer.hangUp();
        if (read.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "the read never ended";
            port.ClosePort();
        }
        EXPECT_EQ(read.get(), c.result);
        // A hang-up drops the input the port had not read; a close may come before the read.
        if (c.then == Then::Nothing) {
            EXPECT_EQ(buffer, c.buffer);
        }
        EXPECT_TRUE(owner.bytes().empty());
    }
}

TEST(SerialPortClear, DropsWhatWaitsBothWaysAndTheLineGoesOn) {
    TempConfigFolder config;
    {
        SCOPED_TRACE("input not yet read");
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        // One write reaches the port whole: once its first byte is read, the rest waits there.
        peer.write({'A', 'B'});
        std::vector<uint8_t> first(1);
        ASSERT_TRUE(port.ReadBlocking(first));
        EXPECT_EQ(first, std::vector<uint8_t>{'A'});
        EXPECT_TRUE(port.ClearPort());
        peer.write({'C', 'D'});
        std::vector<uint8_t> next(2);
        ASSERT_TRUE(port.ReadBlocking(next));
        EXPECT_EQ(next, (std::vector<uint8_t>{'C', 'D'}));
    }
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "frames waiting behind a full tty, the port closed" : "frames waiting behind a full tty");
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(port.InitPort(&owner, 1, 921600, 'N', 8, 1, 0, 256));
        ASSERT_TRUE(port.StartMonitoring());
        size_t sent = 0;
        while (port.WriteToPort(std::vector<uint8_t>(256, 0x5A))) sent += 256;
        const std::vector<uint8_t> end = {0xA5, 0xC3, 0x3C};
        std::vector<uint8_t> got;
        if (closing) {
            // The peer reads nothing until the close has given up waiting for the line.
            EXPECT_TRUE(port.ClosePort());
            got = peer.readUntilClosed(4096);
        } else {
            EXPECT_TRUE(port.ClearPort());
            ASSERT_TRUE(port.WriteToPort(end));
            got = peer.readUntil(end);
            ASSERT_GE(got.size(), end.size());
            EXPECT_TRUE(std::equal(end.begin(), end.end(), got.end() - 3));
            // At most the front frame of the queue had begun; the frames behind it never go out.
            EXPECT_LE(got.size() - end.size(), sent - (CSerialPort::kMaxQueuedFrames - 1) * 256);
        }
        // What was dropped, queued or in the tty, no longer counts as given: the count is what
        // the peer receives.
        EXPECT_EQ(port.BytesGiven(), got.size());
        EXPECT_TRUE(owner.failures().empty());
    }
    {
        // Without the monitor the queue stays as it is once the peer has taken all the tty took:
        // a wait for the given bytes to go out ends at once after the clear.
        SCOPED_TRACE("frames queued while the monitor is stopped");
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
        while (port.WriteToPort(std::vector<uint8_t>(256, 0x5A))) {
        }
        ASSERT_EQ(peer.read(port.BytesWritten()).size(), port.BytesWritten());
        ASSERT_GT(port.BytesGiven(), port.BytesWritten());
        EXPECT_TRUE(port.ClearPort());
        EXPECT_EQ(port.BytesGiven(), port.BytesWritten());
        // None of the dropped frames goes out once the monitor runs.
        ASSERT_TRUE(port.StartMonitoring());
        const std::vector<uint8_t> end = {0xA5, 0xC3, 0x3C};
        ASSERT_TRUE(port.WriteToPort(end));
        EXPECT_EQ(peer.readUntil(end), end);
        EXPECT_EQ(port.BytesGiven(), port.BytesWritten());
    }
    {
        SCOPED_TRACE("closed port");
        CSerialPort port;
        EXPECT_TRUE(port.ClearPort());
    }
}

TEST(SerialPortProbe, OpensEachFreePortOnceAndNeverTheOneItHolds) {
    TempConfigFolder config;
    enum class Device { Free, Held, HeldElsewhere, Missing, NotATty };
    struct Case {
        const char* name;
        Device device;
        unsigned first, end;
        bool preset;
        std::array<bool, 6> present;
        int opens;  // of the device; -1: not counted
    };
    const Case cases[] = {
        {"ports 1 to 4 of a free tty", Device::Free, 1, 5, false, {false, true, true, true, true, false}, 4},
        {"the held tty", Device::Held, 1, 3, false, {false, true, true, false, false, false}, 0},
        {"a tty another program holds", Device::HeldElsewhere, 1, 3, true, {true, false, false, true, true, true}, 2},
        {"a missing device", Device::Missing, 1, 5, true, {true, false, false, false, false, true}, -1},
        {"a device that is no tty", Device::NotATty, 2, 4, true, {true, true, false, false, true, true}, -1},
        {"a range beyond the flags", Device::Free, 4, 9, false, {false, false, false, false, true, true}, 2},
        {"an empty range", Device::Free, 3, 3, true, {true, true, true, true, true, true}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerLine peer;
        RecordingOwner owner;
        CSerialPort port;
        // Another program's look at the tty, opened before the port marks it as its own (which
        // keeps out all but root, as this test may run).
        const int other = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (c.device == Device::Held) {
            ASSERT_TRUE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));
            ASSERT_TRUE(port.StartMonitoring());
            EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        }
        if (c.device == Device::HeldElsewhere) {
            ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
        }
        if (c.device == Device::Missing) SetComPortDeviceOverride("/dev/no-such-tty");
        if (c.device == Device::NotATty) SetComPortDeviceOverride("/dev/null");
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, peer.path().c_str(), IN_OPEN | IN_CLOSE), 0);
        const size_t descriptors = OpenDescriptors();

        std::array<bool, 6> present;
        present.fill(c.preset);
        EXPECT_TRUE(port.ProbePorts(c.first, c.end, 115200, 'N', 8, 1, 0, present));
        EXPECT_EQ(present, c.present);
        EXPECT_EQ(OpenDescriptors(), descriptors);
        if (c.opens >= 0) {
            int opens = 0, closes = 0;
            alignas(inotify_event) char events[4096];
            for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
                for (char* at = events; at < events + n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    opens += (event->mask & IN_OPEN) != 0;
                    closes += (event->mask & IN_CLOSE) != 0;
                    at += sizeof(inotify_event) + event->len;
                }
            }
            EXPECT_EQ(opens, c.opens);
            EXPECT_EQ(closes, c.opens);
        }
        if (c.device == Device::HeldElsewhere) {
            EXPECT_FALSE(port.InitPort(&owner, 1, 115200, 'N', 8, 1, 0, 256));  // refused as the probe finds it
        }
        ::close(watch);
        ::close(other);
        if (c.device == Device::Held) {
            // The port held open is still the program's and still writes.
            EXPECT_TRUE(port.IsOpen());
            ASSERT_TRUE(port.WriteToPort(std::vector<uint8_t>{0x42}));
            EXPECT_EQ(peer.readUntil({0x42}), std::vector<uint8_t>{0x42});
            EXPECT_TRUE(owner.failures().empty());
        }
    }
}

TEST(SerialPortSettings, ThePortGivesBackTheSettingsItWasOpenedWith) {
    TempConfigFolder config;
    RecordingServices messages;
    PeerLine peer;
    RecordingOwner owner;
    CSerialPort port;
    struct Case {
        char parity;
        uint32_t dataBits, stopBits, baud, mask, writeBufferSize;
        tcflag_t cflags;
        bool parityChecked;
        speed_t speed;
    };
    const Case cases[] = {
        {'N', 8, 1, 115200, 0, 256, CS8, false, B115200},
        {'E', 7, 1, 57600, kComEvCts, 64, CS7 | PARENB, true, B57600},
        {'O', 8, 2, 9600, kComEvBreak | kComEvErr, 16, CS8 | PARENB | PARODD | CSTOPB, true, B9600},
        {'M', 6, 1, 19200, kComEvRing, 8, CS6 | PARENB | CMSPAR | PARODD, true, B19200},
        {'S', 5, 2, 1200, kEveryLineEvent, 1, CS5 | PARENB | CMSPAR | CSTOPB, true, B1200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parity);
        ASSERT_TRUE(port.InitPort(&owner, 1, c.baud, c.parity, c.dataBits, c.stopBits, c.mask, c.writeBufferSize));
        const termios t = port.GetDCB();
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflags);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parityChecked);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ(port.GetCommEvents(), c.mask);
        EXPECT_EQ(port.GetWriteBufferSize(), c.writeBufferSize);
        ASSERT_TRUE(port.StartMonitoring());
    }
    // A failed open keeps the settings the port last ran with.
    EXPECT_FALSE(port.InitPort(&owner, 1, 12345, 'N', 8, 1, 0, 256));
    const termios kept = port.GetDCB();
    EXPECT_EQ(cfgetospeed(&kept), B1200);
}

}  // namespace
