#pragma once
// The COM port to the gang board: a tty in raw mode. A frame goes out from the writer's own
// thread when the line is idle; one monitor thread takes in the received bytes and writes what
// the tty could not take at once. The thread waits on poll with an eventfd that carries
// shutdown and write requests, so a close never waits longer than one poll.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

// The page that owns the port hears of received bytes and of read and write failures. The
// calls come from the monitor thread: an owner hands them on to its own thread and never
// waits for it, since the user-interface thread may be joining the monitor thread.
class SerialPortOwner {
public:
    // One call per received byte, in arrival order.
    virtual void serialByteReceived(uint8_t byte, unsigned port) = 0;
    // A read or write failed; report is the text the operator should see.
    virtual void serialFailed(const std::string& report) = 0;

protected:
    ~SerialPortOwner() = default;
};

// What the receive side of the link hears from the port: frameWriting on the thread that writes
// the frame, bytesRead on the monitor thread, never both at once.
class SerialStreamListener {
public:
    // frame is about to be written; the bytes received so far have just been discarded.
    // stepTag is the tag that was pending when the frame was queued.
    virtual void frameWriting(std::span<const uint8_t> frame, uint8_t stepTag) = 0;
    virtual void bytesRead(std::span<const uint8_t> bytes) = 0;

protected:
    ~SerialStreamListener() = default;
};

class CSerialPort {
public:
    // At most this many frames wait for the monitor thread; more are refused.
    static constexpr size_t kMaxQueuedFrames = 64;

    explicit CSerialPort(SerialStreamListener* listener = nullptr);
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM port `port` (the device that ComPortDevicePath names) with the line settings:
    // parity letter N, E, O, M or S, 5 to 8 data bits, 1 or 2 stop bits, raw bytes without
    // translation or flow control. A monitor thread still running is ended first. Returns the
    // port-open flag. A device that cannot be opened fails silently; a failed configuration
    // shows the error report and closes the device again.
    bool InitPort(SerialPortOwner* owner, unsigned port, uint32_t baudRate, char parity,
                  uint32_t dataBits, uint32_t stopBits, uint32_t writeBufferSize);
    // Starts the monitor thread; false on a closed port or when no thread can be started.
    bool StartMonitoring();
    // Ends the monitor thread once the frames queued so far are written (or after 100 ms of
    // a line that takes nothing), closes the device and drops what is left. Returns true.
    bool ClosePort();
    // Writes one frame, first in first out: at once when no earlier frame waits, else queued
    // for the monitor thread. Never blocks on the tty. Refused (false) when the port is closed,
    // the frame is empty or longer than the write-buffer size, or the queue is full. stepTag
    // travels with the frame to the receive side.
    bool WriteToPort(std::span<const uint8_t> frame, uint8_t stepTag = 0);

    bool IsOpen() const { return open_; }
    unsigned PortNumber() const { return port_; }
    SerialPortOwner* Owner() const;
    // The main window makes the page it shows the owner.
    void SetOwner(SerialPortOwner* owner);

private:
    struct QueuedFrame {
        std::vector<uint8_t> bytes;
        uint8_t stepTag;
    };

    enum class ReadResult { Bytes, Nothing, Failed };
    enum class WriteResult { Done, Partial };

    void monitor();
    ReadResult readOnce(bool hungUp);
    // Writes what the tty takes of the front frame; called with ioLock_ held.
    WriteResult writeFront(std::unique_lock<std::mutex>& lock);
    void drainQueue();
    void stopMonitor();
    void closeDevice();
    // A failure while the port runs goes to the owner, never to a box a worker would wait on.
    void reportFailure(const char* call, int error, bool toOwner);
    void wake();

    SerialStreamListener* listener_;
    mutable std::mutex ownerLock_;
    SerialPortOwner* owner_ = nullptr;

    // Guards the queue and every read, write and flush of the tty, so that discarding the input
    // for a new frame never splits from handing on the bytes read before it.
    std::mutex ioLock_;
    std::deque<QueuedFrame> queue_;
    size_t frontWritten_ = 0;  // bytes of the front frame already written

    std::atomic<bool> open_{false};
    std::atomic<bool> stop_{false};
    unsigned port_ = 0;
    std::atomic<size_t> writeBufferSize_{0};
    int fd_ = -1;
    int wakeFd_ = -1;
    std::thread monitor_;
};

// The tty devices of the machine that belong to a device (serial ports, not consoles), as
// paths under /dev, sorted. sysTtyFolder is where the kernel lists them.
std::vector<std::string> EnumComPorts(const std::string& sysTtyFolder = "/sys/class/tty");

// The program's one COM port; it feeds the receive side of the link (link/com_reply.h).
extern CSerialPort g_SerialPort;
