#pragma once
// The COM port to the gang board: a tty in raw mode. A frame goes out from the writer's own
// thread when the line is idle. A step that waits for its reply reads the line itself, so the
// reply wakes the waiting thread and nothing else. One monitor thread takes in what arrives
// while no step waits and writes what the tty could not take at once; it waits on poll with an
// eventfd that carries shutdown and write requests, so a close never waits longer than one poll.
// Line events cost nothing unless the event mask asks for them: breaks and line errors are read
// from the driver's counters after a read, CTS and ring by a thread that waits for the modem lines.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <termios.h>
#include <span>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "link/serial_line_events.h"
#include "platform/event.h"

// The page that owns the port hears of received bytes, of the line events its event mask asks
// for and of read and write failures, in the order they happened. The calls come from the
// monitor thread or from a thread that used the port (a worker waiting for a reply, a writer, a
// close), never with the port's locks held: a handler may close or open the port again. An owner
// hands them on to its own thread and never waits for it, since the user-interface thread may be
// joining the monitor.
class SerialPortOwner {
public:
    // One call per received byte, in arrival order.
    virtual void serialByteReceived(uint8_t byte, unsigned port) = 0;
    // A read or write failed; report is the text the operator should see.
    virtual void serialFailed(const std::string& report) = 0;
    // A line event of the event mask; no page acts on one.
    virtual void serialLineEvent(ComLineEvent, unsigned /*port*/) {}

protected:
    ~SerialPortOwner() = default;
};

// What the receive side of the link hears from the port: frameWriting on the thread that writes
// the frame, bytesRead on the thread that read the bytes, never two calls at once.
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
    // translation or flow control. eventMask (kComEv* bits) names the line events the owner
    // hears. A monitor thread still running is ended first; of two opens at the same moment the
    // later one holds the device. Returns the port-open flag. A device that cannot be opened, or
    // that another program holds (root included), fails silently; a failed configuration shows
    // the error report and closes the device again.
    bool InitPort(SerialPortOwner* owner, unsigned port, uint32_t baudRate, char parity,
                  uint32_t dataBits, uint32_t stopBits, uint32_t eventMask, uint32_t writeBufferSize);
    // Starts the monitor thread, discarding what came in before; false on a closed port or when
    // no thread can be started.
    bool StartMonitoring();
    // Ends the monitor thread (and the modem-line watch) and leaves the port open: a frame the
    // tty takes at once still goes out and a waiting step still reads its reply (and writes what
    // waits), but nothing else is read or written until RestartMonitoring or the close. Returns
    // true once the monitor has ended, also to a second caller while the first ends it; called
    // by a handler on the monitor thread, the monitor ends when the handler returns.
    bool StopMonitoring();
    // Starts the monitor thread again without discarding what came in meanwhile: the owner
    // hears it. True when the thread runs. A handler on the monitor thread that has stopped it
    // keeps it running instead.
    bool RestartMonitoring();
    // Ends the monitor thread, writes the frames still queued and waits until the line has sent
    // them, for at most the time they take at the port's speed and 100 ms more; drops what is
    // left, then closes the device. Returns true. Ends the monitor as StopMonitoring does.
    bool ClosePort();
    // Writes one frame, first in first out: at once when no earlier frame waits, else queued
    // for the monitor thread. Never blocks on the tty. Refused (false) when the port is closed,
    // the frame is empty or longer than the write-buffer size, or the queue is full. stepTag
    // travels with the frame to the receive side.
    bool WriteToPort(std::span<const uint8_t> frame, uint8_t stepTag = 0);
    // The handshakes' name for WriteToPort.
    bool WriteBytesToPort(std::span<const uint8_t> bytes, uint8_t stepTag = 0) { return WriteToPort(bytes, stepTag); }
    // The text's characters without the terminating zero.
    bool WriteStringToPort(const char* text);
    // size bytes: the text, cut or padded with zeros to that size.
    bool WriteSizedToPort(const char* text, size_t size);
    // Reads exactly buffer.size() bytes on the calling thread (the monitor leaves the input to
    // it), after clearing the buffer. False on a read error, at the end of the line (hang-up)
    // or when the port is closed or found closed meanwhile; the wait ends with the port.
    bool ReadBlocking(std::span<uint8_t> buffer);
    // Drops the frames not yet written and what the tty holds to send, which no longer count as
    // given, and the input the tty holds; forgets the line errors counted so far. Returns true.
    bool ClearPort();
    // For each port number from first to end - 1 (and within present), whether its device can
    // be opened as a tty that no other program holds: opened and closed again at once. The
    // device this port holds open counts as present and is never opened a second time. The line
    // settings are not used. Returns true.
    bool ProbePorts(unsigned first, unsigned end, uint32_t baudRate, char parity, uint32_t dataBits,
                    uint32_t stopBits, uint32_t unused, std::span<bool> present);
    // The line settings of the last successful open.
    termios GetDCB() const;
    uint32_t GetCommEvents() const { return eventMask_; }
    uint32_t GetWriteBufferSize() const { return writeBufferSize_; }
    // Waits until answered is set or the limit passes, reading the line on the calling thread
    // meanwhile; the monitor thread leaves the input to it. Whether answered was set in time.
    // On a closed port it only waits.
    bool WaitForReply(platform::Event& answered, std::chrono::milliseconds limit);
    // Reads the line on the calling thread, as WaitForReply does, until no byte has come for
    // quiet, or the limit passes first; whether the line went quiet. On a closed port it only
    // waits for quiet.
    bool WaitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

    bool IsOpen() const { return open_; }
    // Bytes the tty has taken since the program started.
    uint64_t BytesWritten() const { return bytesWritten_; }
    // Bytes of the frames the port has taken on since the program started, written or still
    // queued; a frame that a failed write or a close drops no longer counts.
    uint64_t BytesGiven() const { return bytesGiven_; }
    // Bytes read from the tty since the program started.
    uint64_t BytesRead() const { return bytesRead_; }
    unsigned PortNumber() const { return port_; }
    SerialPortOwner* Owner() const;
    // The main window makes the page it shows the owner.
    void SetOwner(SerialPortOwner* owner);

private:
    struct QueuedFrame {
        std::vector<uint8_t> bytes;
        uint8_t stepTag;
    };

    // What the owner is told: received bytes, a line event or a failure report.
    using Notice = std::variant<std::vector<uint8_t>, ComLineEvent, std::string>;

    using Lock = std::unique_lock<std::mutex>;
    enum class WriteResult { Done, Partial };

    bool startMonitor(bool discardInput);
    // Joins the monitor and the modem-line watch; guard holds threadLock_, and no other thread
    // is joining them.
    void joinMonitor(std::unique_lock<std::mutex>& guard);
    // The monitor thread: polls the line and hands on what comes in until the port stops.
    void CommThread();
    // The modem lines (CTS, ring) are watched by a thread of their own that waits in the kernel
    // for a change, only while the event mask asks for them and the device has modem lines; so
    // the monitor's waits stay as they are.
    void startLineWatch();
    void watchModemLines(int fd, ComLineState before, uint32_t mask);
    // Ends the watch's wait in the kernel and waits until it has left the device.
    void endLineWatch();
    void joinLineWatch();
    // After a read: the breaks and line errors the driver counted meanwhile, when asked for.
    void noteLineErrors();
    void queueLineEvents(const std::vector<ComLineEvent>& events);
    void queueNotice(Notice notice);
    // Tells the owner what is queued; called with none of the port's locks held. While another
    // thread tells, the caller waits until what was queued before has been told, unless mayWait
    // is false (the monitor, which that thread may be joining) or it is the telling thread itself.
    void tellOwner(bool mayWait);
    // Polls the line for events (and POLLIN of extra, when given) until the limit (-1: none).
    // The device stays open while a thread polls it.
    short pollLine(Lock& lock, short events, int extra, int limitMs, bool& extraReady);
    // What a poll found on the line: writes what waits (WriteChar), reads and hands on what came
    // in, and closes the device on a failure.
    void ReceiveChar(Lock& lock, short revents);
    // The loop of the waits that read the line on the calling thread: polls and reads until
    // done() is true or the deadline that it leaves passes.
    void readOnCaller(const std::function<bool(std::chrono::steady_clock::time_point& deadline)>& done);
    // Writes what the tty takes of the front frame.
    WriteResult WriteChar(Lock& lock);
    // A new frame starts a new exchange: the input so far is discarded and the receive side told.
    void frameStarts(std::span<const uint8_t> frame, uint8_t stepTag);
    void drainLine(Lock& lock);
    // Drops what the tty holds to send by its own count, which then no longer counts as given.
    // A pseudo-terminal hands each write to its peer at once and holds nothing by that count:
    // its flush would reach into what the peer has not read yet, which nobody counts.
    void discardOutput();
    void stopMonitor();
    // Drops the queued frames; their bytes not yet written no longer count as given.
    void dropQueue();
    void closeDevice(Lock& lock);
    // A failure while the port runs is queued for the owner, never shown in a box a worker would
    // wait on.
    void ProcessErrorMessage(const char* call, int error, bool toOwner);
    void fail(Lock& lock, const char* call, int error);
    void wake();

    SerialStreamListener* listener_;
    // Held while the owner is told, so that a page set aside is never told afterwards; a handler
    // may set the owner again.
    mutable std::recursive_mutex ownerLock_;
    SerialPortOwner* owner_ = nullptr;

    std::mutex noticeLock_;  // taken last, held only to queue or take a notice
    std::condition_variable noticesTold_;
    std::deque<Notice> notices_;
    uint64_t noticesQueued_ = 0;
    uint64_t noticesDone_ = 0;
    std::thread::id teller_;  // the thread telling the owner, while one does

    // Guards the queue, the device and every read, write and flush of the tty, so that discarding
    // the input for a new frame never splits from handing on the bytes read before it.
    mutable std::mutex ioLock_;
    std::deque<QueuedFrame> queue_;
    size_t frontWritten_ = 0;  // bytes of the front frame already written
    int pollers_ = 0;          // threads in a poll of the device, which stays open until they leave
    std::condition_variable pollersLeft_;
    int stepsReading_ = 0;     // waiting steps that read the line themselves
    std::chrono::steady_clock::time_point lastStepRead_{};
    bool monitorReads_ = false;  // the monitor's poll watches the input

    std::atomic<bool> open_{false};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> bytesWritten_{0};
    std::atomic<uint64_t> bytesGiven_{0};
    std::atomic<uint64_t> bytesRead_{0};
    std::atomic<unsigned> port_{0};
    uint32_t baudRate_ = 0;
    std::atomic<uint32_t> writeBufferSize_{0};
    std::atomic<uint32_t> eventMask_{0};
    termios settings_{};
    bool watchErrors_ = false;  // the mask asks for breaks or line errors and the driver counts them
    ComLineState errorCounts_;  // the driver's counters as last seen by a read
    std::mutex lineWatchLock_;  // guards the watch thread's handle while it is signalled or joined
    std::thread lineWatch_;
    pthread_t lineWatchThread_{};
    std::atomic<bool> lineWatchStop_{false};
    std::atomic<bool> lineWatchRunning_{false};
    int fd_ = -1;
    uint64_t device_ = 0;  // counts the opens and closes of the device: a close shuts only the one it began with
    int wakeFd_ = -1;   // shutdown and write requests to the monitor thread
    int closeFd_ = -1;  // set while the device closes: every poll of it ends

    // Starts and ends of the monitor thread: one caller joins it, others wait for that.
    std::mutex threadLock_;
    std::condition_variable monitorJoined_;
    bool joining_ = false;
    std::thread::id monitorId_;  // the monitor thread until it is joined
    std::thread monitor_;
};

// The tty devices of the machine that belong to a device (serial ports, not consoles), as
// paths under /dev, sorted. sysTtyFolder is where the kernel lists them.
std::vector<std::string> EnumComPorts(const std::string& sysTtyFolder = "/sys/class/tty");

// The program's one COM port; it feeds the receive side of the link (link/com_reply.h).
extern CSerialPort g_SerialPort;
