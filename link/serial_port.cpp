#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "link/com_settings.h"
#include "link/port_failure.h"
#include "platform/debug.h"
#include "platform/services.h"
#include "platform/strfmt.h"

namespace {

// A close waits for the line to send what it holds for the time those bytes take at the port's
// speed and this much more; a peer that takes nothing cannot hold the close longer.
constexpr auto kDrainLimit = std::chrono::milliseconds(100);
// The monitor leaves the input to the steps while one waits and this long after the last.
constexpr auto kStepLease = std::chrono::milliseconds(50);

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

// Takes the advisory lock that every copy of the program takes on the device it holds; false
// when another open has it. The lock goes with the descriptor.
bool LockDevice(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

// The signal that ends the modem-line watch's wait in the kernel; its handler does nothing, and
// without SA_RESTART the wait returns EINTR.
int LineWatchSignal() {
    static const int number = [] {
        const int chosen = SIGRTMIN + 5;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(chosen, &action, nullptr);
        return chosen;
    }();
    return number;
}

}  // namespace

CSerialPort::CSerialPort(SerialStreamListener* listener) : listener_(listener) {}

CSerialPort::~CSerialPort() {
    ClosePort();
    for (int fd : {wakeFd_, closeFd_}) {
        if (fd >= 0) ::close(fd);
    }
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
                           uint32_t dataBits, uint32_t stopBits, uint32_t eventMask, uint32_t writeBufferSize) {
    Lock lock(ioLock_, std::defer_lock);
    for (;;) {
        ClosePort();
        SetOwner(owner);
        lock.lock();
        // An open on another thread between the close and the lock is closed too: the device
        // is held once, at the settings of the open that came last.
        if (fd_ < 0) break;
        lock.unlock();
    }
    port_ = port;
    baudRate_ = baudRate;
    writeBufferSize_ = writeBufferSize;
    eventMask_ = eventMask;
    if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (closeFd_ < 0) closeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    uint64_t count;
    [[maybe_unused]] const ssize_t cleared = ::read(closeFd_, &count, sizeof count);

    const std::string device = ComPortDevicePath(port);
    if (device.empty() || wakeFd_ < 0 || closeFd_ < 0) return false;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // No other program may share the port while it is ours. The exclusive mark keeps out every
    // open but root's; the lock keeps out every copy of the program, root's too, and is refused
    // as a busy port is.
    if (!LockDevice(fd)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    ++device_;
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
        const uint64_t opened = device_;
        lock.unlock();
        ProcessErrorMessage(failedCall, error, false);
        lock.lock();
        // An open while the report showed has shut this device and holds its own.
        if (device_ == opened) closeDevice(lock);
        return false;
    }
    // Stale input only: the last close sent what it had, and on a pseudo-terminal discarding the
    // output would reach into frames the peer has not read yet.
    ::tcflush(fd_, TCIFLUSH);
    settings_ = t;
    errorCounts_ = ReadComLineState(fd_);
    watchErrors_ = (eventMask & (kComEvBreak | kComEvErr)) && errorCounts_.countersKnown;
    open_ = true;
    return true;
}

bool CSerialPort::StartMonitoring() { return startMonitor(true); }

bool CSerialPort::RestartMonitoring() { return startMonitor(false); }

bool CSerialPort::StopMonitoring() {
    stopMonitor();
    tellOwner(true);
    return true;
}

bool CSerialPort::startMonitor(bool discardInput) {
    std::unique_lock guard(threadLock_);
    const bool onMonitor = std::this_thread::get_id() == monitorId_;
    if (!onMonitor) monitorJoined_.wait(guard, [this] { return !joining_; });
    if (!open_) return false;
    const bool exists = monitorId_ != std::thread::id{};
    if (exists && !stop_) return true;
    if (onMonitor) {
        // A handler stopped the monitor and starts it again: it carries on when the handler
        // returns, unless another thread is ending it.
        if (joining_) return false;
    } else if (exists) {
        // It was ended by a handler on its own thread and has not been joined yet.
        joinMonitor(guard);
    }
    stop_ = false;
    {
        // What came in before the port was watched answers nothing; a frame written from now on
        // may be answered before the thread runs.
        std::lock_guard lock(ioLock_);
        if (discardInput && fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
        startLineWatch();
    }
    if (onMonitor) return true;
    try {
        monitor_ = std::thread([this] { CommThread(); });
    } catch (const std::system_error&) {
        joinLineWatch();
        return false;
    }
    monitorId_ = monitor_.get_id();
    return true;
}

bool CSerialPort::ClosePort() {
    stopMonitor();
    {
        Lock lock(ioLock_);
        // While the line drains, another close may shut the device and an open take a new one,
        // which is not this close's to shut.
        const uint64_t device = device_;
        drainLine(lock);
        if (device_ == device) closeDevice(lock);
    }
    tellOwner(true);
    return true;
}

bool CSerialPort::WriteToPort(std::span<const uint8_t> frame, uint8_t stepTag) {
    if (frame.empty() || frame.size() > writeBufferSize_) return false;
    Lock lock(ioLock_);
    if (!open_ || queue_.size() >= kMaxQueuedFrames) return false;
    bytesGiven_ += frame.size();
    if (!queue_.empty()) {
        queue_.push_back({std::vector<uint8_t>(frame.begin(), frame.end()), stepTag});
        return true;
    }
    // An idle line takes the frame from this thread at once; the monitor thread only finishes
    // what the tty could not take.
    frameStarts(frame, stepTag);
    const ssize_t written = ::write(fd_, frame.data(), frame.size());
    if (written > 0) bytesWritten_ += static_cast<uint64_t>(written);
    if (written == static_cast<ssize_t>(frame.size())) return true;
    if (written < 0 && errno != EAGAIN && errno != EINTR) {
        const int error = errno;
        bytesGiven_ -= frame.size();
        ProcessErrorMessage("write()", error, true);
        lock.unlock();
        tellOwner(true);
        return true;
    }
    queue_.push_back({std::vector<uint8_t>(frame.begin(), frame.end()), stepTag});
    frontWritten_ = written > 0 ? static_cast<size_t>(written) : 0;
    wake();
    return true;
}

bool CSerialPort::WriteStringToPort(const char* text) {
    if (text == nullptr) return false;
    return WriteToPort(std::span(reinterpret_cast<const uint8_t*>(text), std::strlen(text)));
}

bool CSerialPort::WriteSizedToPort(const char* text, size_t size) {
    if (size == 0 || size > writeBufferSize_) return false;
    std::vector<uint8_t> bytes(size, 0);
    if (text != nullptr) std::memcpy(bytes.data(), text, ::strnlen(text, size));
    return WriteToPort(bytes);
}

bool CSerialPort::ReadBlocking(std::span<uint8_t> buffer) {
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    Lock lock(ioLock_);
    ++stepsReading_;
    if (monitorReads_) wake();
    size_t got = 0;
    bool ok = true;
    while (got < buffer.size()) {
        if (!open_) {
            ok = false;
            break;
        }
        bool closing = false;
        const short revents = pollLine(lock, static_cast<short>(POLLIN | (queue_.empty() ? 0 : POLLOUT)), closeFd_, -1, closing);
        if (closing || !open_) {
            ok = false;
            break;
        }
        if (revents & POLLOUT) WriteChar(lock);
        const bool hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
        if (!hungUp && !(revents & POLLIN)) continue;
        const ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            noteLineErrors();
            continue;
        }
        // Nothing to read is the end only on a line that hung up.
        if (!hungUp && (n == 0 || errno == EAGAIN || errno == EINTR)) continue;
        ok = false;
        break;
    }
    --stepsReading_;
    lastStepRead_ = std::chrono::steady_clock::now();
    lock.unlock();
    tellOwner(true);
    return ok;
}

bool CSerialPort::ClearPort() {
    Lock lock(ioLock_);
    if (fd_ < 0 || !open_) return true;
    dropQueue();
    discardOutput();
    ::tcflush(fd_, TCIFLUSH);
    errorCounts_ = ReadComLineState(fd_);
    return true;
}

bool CSerialPort::ProbePorts(unsigned first, unsigned end, uint32_t, char, uint32_t, uint32_t, uint32_t,
                             std::span<bool> present) {
    struct stat held {};
    bool holding = false;
    {
        std::lock_guard lock(ioLock_);
        holding = fd_ >= 0 && ::fstat(fd_, &held) == 0;
    }
    for (unsigned port = first; port < end && port < present.size(); ++port) {
        present[port] = false;
        const std::string device = ComPortDevicePath(port);
        if (device.empty()) continue;
        struct stat seen {};
        if (holding && ::stat(device.c_str(), &seen) == 0 && S_ISCHR(seen.st_mode) && seen.st_rdev == held.st_rdev) {
            present[port] = true;
            continue;
        }
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        // A tty another program holds would not open for the port either.
        present[port] = ::isatty(fd) == 1 && LockDevice(fd);
        ::close(fd);
    }
    return true;
}

termios CSerialPort::GetDCB() const {
    std::lock_guard lock(ioLock_);
    return settings_;
}

bool CSerialPort::WaitForReply(platform::Event& answered, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    bool signalled = false;
    readOnCaller([&](std::chrono::steady_clock::time_point& deadline) {
        deadline = end;
        signalled = answered.isSet();
        return signalled;
    });
    return signalled;
}

bool CSerialPort::WaitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + limit;
    auto quietUntil = Clock::now() + quiet;
    uint64_t seen = bytesRead_;
    bool wentQuiet = false;
    readOnCaller([&](Clock::time_point& deadline) {
        // Any byte starts the quiet again.
        if (bytesRead_ != seen) {
            seen = bytesRead_;
            quietUntil = Clock::now() + quiet;
        }
        wentQuiet = Clock::now() >= quietUntil;
        deadline = std::min(quietUntil, end);
        return wentQuiet;
    });
    return wentQuiet || Clock::now() >= quietUntil;
}

void CSerialPort::readOnCaller(const std::function<bool(std::chrono::steady_clock::time_point& deadline)>& done) {
    using Clock = std::chrono::steady_clock;
    Lock lock(ioLock_);
    ++stepsReading_;
    // The monitor leaves the input to the steps from its next poll on.
    if (monitorReads_) wake();
    for (;;) {
        Clock::time_point deadline;
        if (done(deadline)) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        if (!open_) {
            lock.unlock();
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(1)));
            lock.lock();
            continue;
        }
        bool closing = false;
        const short revents = pollLine(lock, static_cast<short>(POLLIN | (queue_.empty() ? 0 : POLLOUT)), closeFd_,
                                       static_cast<int>(left.count()), closing);
        if (!closing && open_) ReceiveChar(lock, revents);
    }
    --stepsReading_;
    lastStepRead_ = Clock::now();
    lock.unlock();
    tellOwner(true);
}

void CSerialPort::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void CSerialPort::stopMonitor() {
    std::unique_lock guard(threadLock_);
    if (std::this_thread::get_id() == monitorId_) {
        // A handler on the monitor thread: the monitor ends when the handler returns and is
        // joined by the next start or stop on another thread, or by the destructor.
        stop_ = true;
        guard.unlock();
        endLineWatch();
        return;
    }
    monitorJoined_.wait(guard, [this] { return !joining_; });
    if (monitorId_ != std::thread::id{}) joinMonitor(guard);
}

void CSerialPort::joinMonitor(std::unique_lock<std::mutex>& guard) {
    joining_ = true;
    stop_ = true;
    wake();
    guard.unlock();
    monitor_.join();
    joinLineWatch();
    guard.lock();
    monitorId_ = {};
    joining_ = false;
    monitorJoined_.notify_all();
}

void CSerialPort::startLineWatch() {
    const uint32_t mask = eventMask_ & (kComEvCts | kComEvRing);
    if (mask == 0 || fd_ < 0) return;
    const ComLineState now = ReadComLineState(fd_);
    // A device without modem lines (a pseudo-terminal) has nothing to wait for.
    if (!now.modemKnown) return;
    std::lock_guard guard(lineWatchLock_);
    if (lineWatch_.joinable()) {
        if (lineWatchRunning_) return;
        // Ended with a close by a handler on the monitor thread, which goes on with a new open.
        lineWatch_.join();
    }
    LineWatchSignal();
    lineWatchStop_ = false;
    lineWatchRunning_ = true;
    try {
        lineWatch_ = std::thread([this, fd = fd_, now, mask] { watchModemLines(fd, now, mask); });
        lineWatchThread_ = lineWatch_.native_handle();
    } catch (const std::system_error&) {
        lineWatchRunning_ = false;
    }
}

void CSerialPort::watchModemLines(int fd, ComLineState before, uint32_t mask) {
    pthread_setname_np(pthread_self(), "com lines");
    while (!lineWatchStop_) {
        // Returns when CTS or RI changes, or with EINTR when endLineWatch signals. A device that
        // cannot wait for its lines reports none.
        if (::ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_RNG) != 0 && errno != EINTR) break;
        if (lineWatchStop_) break;
        const ComLineState after = ReadComLineState(fd);
        const std::vector<ComLineEvent> events = ComLineEventsBetween(before, after, mask);
        before = after;
        if (events.empty()) continue;
        // The monitor tells the owner, so that a handler never runs on this thread, which a
        // close waits for.
        queueLineEvents(events);
        wake();
    }
    lineWatchRunning_ = false;
}

void CSerialPort::endLineWatch() {
    std::lock_guard guard(lineWatchLock_);
    if (!lineWatchRunning_) return;
    lineWatchStop_ = true;
    // A signal that comes just before the watch enters its wait is lost, so it is sent again
    // until the watch has gone.
    while (lineWatchRunning_) {
        ::pthread_kill(lineWatchThread_, LineWatchSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CSerialPort::joinLineWatch() {
    endLineWatch();
    std::lock_guard guard(lineWatchLock_);
    if (lineWatch_.joinable()) lineWatch_.join();
}

void CSerialPort::noteLineErrors() {
    if (!watchErrors_ || fd_ < 0) return;
    const ComLineState now = ReadComLineState(fd_);
    const std::vector<ComLineEvent> events = ComLineEventsBetween(errorCounts_, now, eventMask_ & (kComEvBreak | kComEvErr));
    errorCounts_ = now;
    queueLineEvents(events);
}

void CSerialPort::queueLineEvents(const std::vector<ComLineEvent>& events) {
    for (ComLineEvent event : events) queueNotice(event);
}

void CSerialPort::queueNotice(Notice notice) {
    std::lock_guard guard(noticeLock_);
    notices_.push_back(std::move(notice));
    ++noticesQueued_;
}

void CSerialPort::tellOwner(bool mayWait) {
    std::unique_lock guard(noticeLock_);
    const std::thread::id self = std::this_thread::get_id();
    if (teller_ != std::thread::id{}) {
        if (mayWait && teller_ != self) {
            const uint64_t queued = noticesQueued_;
            noticesTold_.wait(guard, [&] { return noticesDone_ >= queued; });
        }
        return;
    }
    teller_ = self;
    while (!notices_.empty()) {
        const Notice notice = std::move(notices_.front());
        notices_.pop_front();
        guard.unlock();
        {
            std::lock_guard owner(ownerLock_);
            if (owner_) {
                const unsigned port = port_;
                if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&notice)) {
                    // The handler of one byte may set the owner aside or make another page it.
                    for (size_t i = 0; i < bytes->size() && owner_; ++i)
                        owner_->serialByteReceived((*bytes)[i], port);
                } else if (const auto* event = std::get_if<ComLineEvent>(&notice)) {
                    owner_->serialLineEvent(*event, port);
                } else {
                    owner_->serialFailed(std::get<std::string>(notice));
                }
            }
        }
        guard.lock();
        ++noticesDone_;
        noticesTold_.notify_all();
    }
    teller_ = {};
}

void CSerialPort::drainLine(Lock& lock) {
    if (fd_ < 0 || !open_) return;
    using Clock = std::chrono::steady_clock;
    const uint64_t device = device_;
    size_t pending = frontWritten_ == 0 ? 0 : queue_.front().bytes.size() - frontWritten_;
    for (size_t i = frontWritten_ == 0 ? 0 : 1; i < queue_.size(); ++i) pending += queue_[i].bytes.size();
    int unsent = 0;
    if (::ioctl(fd_, TIOCOUTQ, &unsent) == 0) pending += static_cast<size_t>(std::max(unsent, 0));
    const auto lineTime = std::chrono::microseconds(uint64_t{10} * 1000000 * pending / std::max<uint32_t>(baudRate_, 1));
    const auto deadline = Clock::now() + kDrainLimit + lineTime;
    for (;;) {
        while (!queue_.empty() && WriteChar(lock) == WriteResult::Done) {
        }
        if (queue_.empty() && (::ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent <= 0)) return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        // The tty says when it takes more bytes, not when it has sent them.
        bool unused = false;
        const short revents = queue_.empty() ? 0 : pollLine(lock, POLLOUT, -1, std::min<int>(static_cast<int>(left.count()), 10), unused);
        if (queue_.empty()) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            lock.lock();
        }
        // Another close has begun meanwhile: it has sent what went out, and the line is its own
        // (or a later open's).
        if (!open_ || device_ != device) return;
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) break;
    }
    // What the line could not send within the bound is dropped, so the close never hangs on it.
    if (fd_ >= 0) discardOutput();
}

void CSerialPort::discardOutput() {
    int held = 0;
    if (::ioctl(fd_, TIOCOUTQ, &held) != 0 || held <= 0) return;
    ::tcflush(fd_, TCOFLUSH);
    bytesGiven_ -= std::min<uint64_t>(static_cast<uint64_t>(held), bytesGiven_);
}

void CSerialPort::dropQueue() {
    for (const QueuedFrame& frame : queue_) bytesGiven_ -= frame.bytes.size();
    bytesGiven_ += frontWritten_;
    queue_.clear();
    frontWritten_ = 0;
}

void CSerialPort::closeDevice(Lock& lock) {
    open_ = false;
    dropQueue();
    if (fd_ < 0) return;
    const uint64_t device = device_;
    // The modem-line watch leaves the device first; it waits for no lock held here.
    endLineWatch();
    // A thread that polls the device leaves its poll before the descriptor goes.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(closeFd_, &one, sizeof one);
    wake();
    // Meanwhile another close may shut the device and an open take a new one, which is not
    // this close's to shut.
    pollersLeft_.wait(lock, [&] { return pollers_ == 0 || device_ != device; });
    if (device_ != device) return;
    // The exclusive mark outlives our descriptor while another one holds the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    ++device_;
    pollersLeft_.notify_all();
}

void CSerialPort::ProcessErrorMessage(const char* call, int error, bool toOwner) {
    const std::string report = strfmt("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                                      call, std::strerror(error), static_cast<int>(port_));
    DebugTrace(report);
    if (toOwner)
        queueNotice(report);
    else
        ShowPortFailure(report);
}

// A device that fails, or hangs up with nothing left to read, stays failed: it is closed rather
// than polled again.
void CSerialPort::fail(Lock& lock, const char* call, int error) {
    ProcessErrorMessage(call, error, true);
    closeDevice(lock);
}

short CSerialPort::pollLine(Lock& lock, short events, int extra, int limitMs, bool& extraReady) {
    ++pollers_;
    pollfd fds[2] = {{fd_, events, 0}, {extra, POLLIN, 0}};
    lock.unlock();
    const int ready = ::poll(fds, extra >= 0 ? 2 : 1, limitMs);
    const int error = errno;
    lock.lock();
    if (--pollers_ == 0) pollersLeft_.notify_all();
    extraReady = extra >= 0 && (fds[1].revents & POLLIN);
    if (ready < 0 && error != EINTR && open_) fail(lock, "poll()", error);
    return ready > 0 ? fds[0].revents : 0;
}

void CSerialPort::ReceiveChar(Lock& lock, short revents) {
    if (revents & POLLOUT) WriteChar(lock);
    const bool hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
    if (!hungUp && !(revents & POLLIN)) return;
    uint8_t buffer[512];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (hungUp) fail(lock, "poll()", EIO);
        return;
    }
    // A raw tty reads 0 bytes when it holds none: a writer discarded what the poll saw. Only
    // on a line that hung up is it the end.
    if (got == 0 && !hungUp) return;
    if (got <= 0) {
        fail(lock, "read()", got < 0 ? errno : EIO);
        return;
    }
    // Handed on under the lock, so a new frame's discard of the input never counts them for it.
    const std::span<const uint8_t> bytes(buffer, static_cast<size_t>(got));
    bytesRead_ += static_cast<uint64_t>(got);
    queueNotice(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    noteLineErrors();
    // Last, since a reply wakes the worker that waits for it.
    if (listener_) listener_->bytesRead(bytes);
}

void CSerialPort::CommThread() {
    pthread_setname_np(pthread_self(), "com monitor");
    using Clock = std::chrono::steady_clock;
    Lock lock(ioLock_);
    while (!stop_ && open_) {
        // While steps read their replies, the monitor leaves the input to them and looks again
        // after a while; so it wakes for no reply of a run, and takes the input back once the
        // steps are done.
        const auto stepsSince = Clock::now() - lastStepRead_;
        const bool stepsRead = stepsReading_ > 0 || stepsSince < kStepLease;
        const int limitMs = !stepsRead ? -1
                            : stepsReading_ > 0 ? static_cast<int>(kStepLease.count())
                                                : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(kStepLease - stepsSince).count());
        monitorReads_ = !stepsRead;
        bool woken = false;
        const short events = static_cast<short>((stepsRead ? 0 : POLLIN) | (queue_.empty() ? 0 : POLLOUT));
        const short revents = pollLine(lock, events, wakeFd_, limitMs, woken);
        monitorReads_ = false;
        if (woken) {
            uint64_t count;
            [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
        }
        if (stop_ || !open_) break;
        // A step that began to wait meanwhile reads its reply itself: taken here, it would wake
        // no one. A hang-up is the monitor's to handle all the same.
        const bool hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
        ReceiveChar(lock, stepsReading_ == 0 || hungUp ? revents : static_cast<short>(revents & POLLOUT));
        lock.unlock();
        tellOwner(false);
        lock.lock();
    }
    DebugTrace("normal end...");
}

CSerialPort::WriteResult CSerialPort::WriteChar(Lock&) {
    if (queue_.empty() || fd_ < 0) return WriteResult::Done;
    if (frontWritten_ == 0) frameStarts(queue_.front().bytes, queue_.front().stepTag);
    const std::vector<uint8_t>& frame = queue_.front().bytes;
    const ssize_t written = ::write(fd_, frame.data() + frontWritten_, frame.size() - frontWritten_);
    if (written < 0) {
        if (errno == EAGAIN || errno == EINTR) return WriteResult::Partial;
        const int error = errno;
        ProcessErrorMessage("write()", error, true);
        bytesGiven_ -= frame.size() - frontWritten_;
        queue_.pop_front();
        frontWritten_ = 0;
        return WriteResult::Done;
    }
    frontWritten_ += static_cast<size_t>(written);
    bytesWritten_ += static_cast<uint64_t>(written);
    if (frontWritten_ < frame.size()) return WriteResult::Partial;
    queue_.pop_front();
    frontWritten_ = 0;
    return WriteResult::Done;
}

void CSerialPort::frameStarts(std::span<const uint8_t> frame, uint8_t stepTag) {
    ::tcflush(fd_, TCIFLUSH);
    if (listener_) listener_->frameWriting(frame, stepTag);
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
