#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/com_settings.h"
#include "platform/debug.h"
#include "platform/services.h"
#include "platform/strfmt.h"

namespace {

// Frames queued before a close still leave, whole, within this time; a peer that reads
// nothing cannot hold the close longer.
constexpr auto kDrainLimit = std::chrono::milliseconds(100);

bool SpeedOf(uint32_t baudRate, speed_t& speed) {
    static constexpr std::pair<uint32_t, speed_t> kSpeeds[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (auto [rate, value] : kSpeeds) {
        if (rate == baudRate) {
            speed = value;
            return true;
        }
    }
    return false;
}

// Raw bytes both ways: no echo, no line editing, no CR/LF translation, no flow control.
bool MakeLineSettings(termios& t, uint32_t baudRate, char parity, uint32_t dataBits,
                      uint32_t stopBits, const char*& failedCall) {
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    failedCall = "tcsetattr()";
    switch (dataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        case 8: t.c_cflag |= CS8; break;
        default: return false;
    }
    switch (parity) {
        case 'N': break;
        case 'E': t.c_cflag |= PARENB; break;
        case 'O': t.c_cflag |= PARENB | PARODD; break;
        case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case 'S': t.c_cflag |= PARENB | CMSPAR; break;
        default: return false;
    }
    if (parity != 'N') t.c_iflag |= INPCK;
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else if (stopBits != 1)
        return false;

    failedCall = "cfsetspeed()";
    speed_t speed;
    return SpeedOf(baudRate, speed) && cfsetispeed(&t, speed) == 0 && cfsetospeed(&t, speed) == 0;
}

}  // namespace

CSerialPort::CSerialPort(SerialStreamListener* listener) : listener_(listener) {}

CSerialPort::~CSerialPort() {
    ClosePort();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

SerialPortOwner* CSerialPort::Owner() const {
    std::lock_guard lock(ownerLock_);
    return owner_;
}

void CSerialPort::SetOwner(SerialPortOwner* owner) {
    std::lock_guard lock(ownerLock_);
    owner_ = owner;
}

bool CSerialPort::InitPort(SerialPortOwner* owner, unsigned port, uint32_t baudRate, char parity,
                           uint32_t dataBits, uint32_t stopBits, uint32_t writeBufferSize) {
    stopMonitor();
    closeDevice();
    SetOwner(owner);
    port_ = port;
    writeBufferSize_ = writeBufferSize;
    if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    const std::string device = ComPortDevicePath(port);
    if (device.empty() || wakeFd_ < 0) return false;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    fd_ = fd;
    // No other program may share the port while it is ours.
    ::ioctl(fd_, TIOCEXCL);

    termios t{};
    const char* failedCall = "tcgetattr()";
    int error = 0;
    if (::tcgetattr(fd_, &t) != 0) {
        error = errno;
    } else if (!MakeLineSettings(t, baudRate, parity, dataBits, stopBits, failedCall)) {
        error = EINVAL;
    } else if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        failedCall = "tcsetattr()";
        error = errno;
    }
    if (error != 0) {
        reportFailure(failedCall, error, false);
        closeDevice();
        return false;
    }
    ::tcflush(fd_, TCIOFLUSH);
    open_ = true;
    return true;
}

bool CSerialPort::StartMonitoring() {
    if (!open_) return false;
    if (monitor_.joinable()) return true;
    stop_ = false;
    {
        // What came in before the port was watched answers nothing; a frame written from now on
        // may be answered before the thread runs.
        std::lock_guard lock(ioLock_);
        ::tcflush(fd_, TCIFLUSH);
    }
    try {
        monitor_ = std::thread([this] { monitor(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CSerialPort::ClosePort() {
    stopMonitor();
    closeDevice();
    return true;
}

bool CSerialPort::WriteToPort(std::span<const uint8_t> frame, uint8_t stepTag) {
    if (frame.empty() || frame.size() > writeBufferSize_) return false;
    std::unique_lock lock(ioLock_);
    if (!open_ || queue_.size() >= kMaxQueuedFrames) return false;
    queue_.push_back({std::vector<uint8_t>(frame.begin(), frame.end()), stepTag});
    if (queue_.size() > 1) return true;
    // An idle line takes the frame from this thread at once; the monitor thread only finishes
    // what the tty could not take.
    const WriteResult result = writeFront(lock);
    if (result == WriteResult::Partial) wake();
    return true;
}

void CSerialPort::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void CSerialPort::stopMonitor() {
    if (!monitor_.joinable()) return;
    stop_ = true;
    wake();
    if (monitor_.get_id() == std::this_thread::get_id()) {
        monitor_.detach();
        return;
    }
    monitor_.join();
}

void CSerialPort::closeDevice() {
    // Under the lock: a writer on another thread never writes to a closed descriptor.
    std::lock_guard lock(ioLock_);
    open_ = false;
    queue_.clear();
    frontWritten_ = 0;
    if (fd_ < 0) return;
    // The exclusive mark outlives our descriptor while another one holds the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

void CSerialPort::reportFailure(const char* call, int error, bool toOwner) {
    const std::string report = strfmt("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                                      call, std::strerror(error), static_cast<int>(port_));
    DebugTrace(report);
    if (!toOwner) {
        MessageBox(report, platform::MsgIcon::Error);
        return;
    }
    std::lock_guard lock(ownerLock_);
    if (owner_) owner_->serialFailed(report);
}

void CSerialPort::monitor() {
    for (;;) {
        bool wantWrite;
        {
            std::lock_guard lock(ioLock_);
            wantWrite = !queue_.empty();
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0},
                         {fd_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            reportFailure("poll()", errno, true);
            closeDevice();
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] auto got = ::read(wakeFd_, &count, sizeof count);
        }
        if (stop_) {
            drainQueue();
            break;
        }
        const bool hungUp = fds[1].revents & (POLLHUP | POLLERR | POLLNVAL);
        if (hungUp || (fds[1].revents & POLLIN)) {
            const ReadResult read = readOnce(hungUp);
            // A device that fails to read, or reports a hang-up or an error with nothing left to
            // read, stays failed: close it rather than spin on it.
            if (read == ReadResult::Nothing && hungUp) reportFailure("poll()", EIO, true);
            if (read == ReadResult::Failed || (read == ReadResult::Nothing && hungUp)) {
                closeDevice();
                break;
            }
        }
        if (fds[1].revents & POLLOUT) {
            std::unique_lock lock(ioLock_);
            writeFront(lock);
        }
    }
    DebugTrace("normal end...");
}

CSerialPort::ReadResult CSerialPort::readOnce(bool hungUp) {
    // Bytes read are handed on before a writer may discard the input for its new frame, so they
    // never count for that frame.
    std::unique_lock io(ioLock_);
    uint8_t buffer[512];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return ReadResult::Nothing;
    // A raw tty reads 0 bytes when it holds none: a writer discarded what the poll saw. Only
    // on a line that hung up is it the end.
    if (got == 0 && !hungUp) return ReadResult::Nothing;
    if (got <= 0) {
        const int error = got < 0 ? errno : EIO;
        io.unlock();
        reportFailure("read()", error, true);
        return ReadResult::Failed;
    }
    const std::span<const uint8_t> bytes(buffer, static_cast<size_t>(got));
    {
        std::lock_guard lock(ownerLock_);
        if (owner_) {
            for (uint8_t byte : bytes) owner_->serialByteReceived(byte, port_);
        }
    }
    // Last, since a reply wakes the worker that waits for it.
    if (listener_) listener_->bytesRead(bytes);
    return ReadResult::Bytes;
}

CSerialPort::WriteResult CSerialPort::writeFront(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty() || fd_ < 0) return WriteResult::Done;
    if (frontWritten_ == 0) {
        // A new frame starts a new exchange: what came in before it answers nothing.
        ::tcflush(fd_, TCIFLUSH);
        if (listener_) listener_->frameWriting(queue_.front().bytes, queue_.front().stepTag);
    }
    const std::vector<uint8_t>& frame = queue_.front().bytes;
    const ssize_t written = ::write(fd_, frame.data() + frontWritten_, frame.size() - frontWritten_);
    if (written < 0) {
        if (errno == EAGAIN || errno == EINTR) return WriteResult::Partial;
        const int error = errno;
        queue_.pop_front();
        frontWritten_ = 0;
        lock.unlock();
        reportFailure("write()", error, true);
        lock.lock();
        return WriteResult::Done;
    }
    frontWritten_ += static_cast<size_t>(written);
    if (frontWritten_ < frame.size()) return WriteResult::Partial;
    queue_.pop_front();
    frontWritten_ = 0;
    return WriteResult::Done;
}

void CSerialPort::drainQueue() {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    for (;;) {
        {
            std::lock_guard lock(ioLock_);
            if (queue_.empty()) return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd out{fd_, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&out, 1, static_cast<int>(left.count())) <= 0) return;
        if (out.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
        std::unique_lock lock(ioLock_);
        writeFront(lock);
    }
}

std::vector<std::string> EnumComPorts(const std::string& sysTtyFolder) {
    namespace fs = std::filesystem;
    std::vector<std::string> ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysTtyFolder, error)) {
        if (fs::exists(entry.path() / "device", error))
            ports.push_back("/dev/" + entry.path().filename().string());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}
