#pragma once
// The four-socket gang board as a byte-stream device on the master side of a pseudo-terminal:
// the program opens the terminal's other side as its COM port and talks to the board as to
// the real one. The board switches socket power, the multiplexer, four analogue switches and
// eight LEDs; it passes target frames to the targets whose socket is powered and switched in
// (or, wired for a single target, to that one target alone, whatever power and switches say),
// where a target answers the link start and the handshake of its own chip family only, and
// answers each frame that expects an answer with
//     AA src cmd status n data[n] sum
// Faults are switched on by name; every frame in and out is logged with its time.
#include <termios.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/gang_serial_flash.h"

namespace sim {

// A kind of frame: board frames F0 cmd, target frames 0F cmd, the handshake 55 00.
struct FrameKind {
    uint8_t src;
    uint8_t cmd;
    auto operator<=>(const FrameKind&) const = default;
};
constexpr FrameKind kHandshake{0x55, 0x00};
constexpr FrameKind BoardFrame(uint8_t cmd) { return {0xF0, cmd}; }
constexpr FrameKind TargetFrame(uint8_t cmd) { return {0x0F, cmd}; }

// The chip id a target of this chip mode answers the chip-ID request with.
uint8_t ChipIdOfMode(uint8_t chipMode);
// The chip-family text of the handshake that greets targets of this chip mode: handshake A
// ("RQ2728") where the mode has none of its own. Every target also answers the link start
// ("RQ273K").
std::string FamilyOfMode(uint8_t chipMode);

// A target chip in a socket. Its flash is as large as its chip model's; programming can only
// clear bits, erasing sets them; a write answers with the target's status byte (0x04 when a
// byte could not be written as sent). Its key page of 256 bytes lies past the flash, at the chip
// model's key address, and is written, erased by its page and read as the flash is; a chip erase
// leaves it. It takes target frames only in ISP mode, which the handshake starts and the leave
// frame or a power-off ends.
//
// An MTP target's memory is rewritten in place: a write overwrites each byte, whatever it held.
// After every write it is busy for busyPolls status polls (0F 09 02): the write's status byte
// and each poll's carry 0x08 until that many polls have been answered; with programError the
// status byte carries 0x04 as well.
//
// A compare (0F 3A) checks its bytes against the flash; a difference sticks until the
// compare result (0F 0B) has reported it, so several compares may share one result.
struct GangTarget {
    static constexpr uint8_t kBusy = 0x08;
    static constexpr uint8_t kProgramError = 0x04;

    uint8_t chipMode = 2;
    uint8_t chipId = 0;
    std::vector<uint8_t> flash;
    uint32_t keyAddr = 0;
    std::vector<uint8_t> keyPage;     // empty where the key address lies within the flash
    bool inIsp = false;
    uint8_t hiByte = 0;               // high address byte of the next access
    bool compareDiffered = false;     // since the last compare result
    int compares = 0;
    int differAtCompare = 0;          // this compare (from 1) differs whatever the bytes
    std::string family;               // the handshake text it answers besides the link start
    std::vector<uint32_t> stuckBytes; // addresses that keep their erased value when programmed
    bool mtp = false;
    int busyPolls = 0;
    int busyLeft = 0;                 // polls until the last write is done
    bool programError = false;

    // The 8-byte option block at the option offset of the flash.
    std::array<uint8_t, 8> optionBlock(uint16_t offset) const;
    // The byte at a target address, in the flash or the key page; none elsewhere.
    uint8_t* cell(uint32_t address);
    // What an MTP target's status poll answers now.
    uint8_t status() const;
};
// A blank target of the chip mode, with its chip id and family.
GangTarget NewTarget(uint8_t chipMode);

struct BoardState {
    bool power = false;
    bool multiplexer = false;
    std::array<bool, 4> switches{};
    std::array<bool, 8> leds{};
    bool wakeupLine = false;
    uint32_t linkSpeed = 115200;
};

struct LogEntry {
    double ms = 0;  // since the board started
    bool fromHost = false;
    std::vector<uint8_t> bytes;
};

class GangBoard {
public:
    // Four sockets, each with a target of chip mode 2.
    GangBoard();
    ~GangBoard();
    GangBoard(const GangBoard&) = delete;
    GangBoard& operator=(const GangBoard&) = delete;

    // Opens the pseudo-terminal and serves it on a thread of its own; false when the system
    // gives no pseudo-terminal.
    bool start();
    void stop();
    // The device the program opens as its COM port.
    std::string path() const;
    // The line settings the program gave the terminal.
    termios lineSettings() const;

    // Sockets 0 to 3 (A to D).
    void insertTarget(int socket, uint8_t chipMode);
    void removeTarget(int socket);
    std::optional<GangTarget> target(int socket) const;
    void writeFlash(int socket, uint32_t address, std::span<const uint8_t> bytes);
    void setChipId(int socket, uint8_t id);
    // Single-target wiring: the handshake and target frames reach the target in this socket
    // only, without socket power or switches; -1 goes back to the four-socket wiring.
    void wireSingleTarget(int socket);
    // The socket's nth compare from now (1 = the next) reports a differing block.
    void differAtCompare(int socket, int nth);
    // The byte at address of the socket's target keeps its erased value when programmed.
    void stickByte(int socket, uint32_t address);
    // Makes the socket's target an MTP part, greeted by handshake A, busy for polls status polls
    // after each write (INT_MAX: for ever), with or without a program-memory error.
    void makeMtp(int socket, int polls, bool programError = false);
    // Targets on their own supply: the switches reach them with socket power off.
    void powerTargetsThemselves(bool on);
    BoardState state() const;
    // The board's own serial flash, which the F0 20 to F0 25 frames reach.
    BoardSerialFlash& serialFlash() { return serialFlash_; }

    // Targets that come or go while a run goes on: just before the nth frame of a kind (from 1,
    // counted from the start) the board finds the socket changed.
    void insertTargetAt(FrameKind kind, int nth, int socket, uint8_t chipMode);
    void removeTargetAt(FrameKind kind, int nth, int socket);

    // Faults of the answers. The nth frame (from 1) of a kind counts from the start.
    void setSilent(bool silent);
    void delayReplies(uint32_t ms);
    void delayReplyAt(FrameKind kind, int nth, uint32_t ms);
    void dropReplyAt(FrameKind kind, int nth);
    // The nth reply of a kind carries only its first dataBytes data bytes.
    void cutReplyAt(FrameKind kind, int nth, size_t dataBytes);
    // The nth reply of any kind (from 1) counted from the start is not sent.
    void dropReplyNumber(int nth);
    // The nth reply of any kind (from 1) counted from the start leaves ms after its frame came
    // in, however late that is for the step that sent the frame.
    void delayReplyNumber(int nth, uint32_t ms);
    // The reply to the nth frame of a kind stops halfway through its bytes and never completes.
    void stallReplyAt(FrameKind kind, int nth);
    // The board answers the targets' writes (0F 22, 0F 26) minimally, as a board may: the reply
    // carries no data, the target's status byte left out.
    void answerWritesMinimally(bool minimal);
    // Models the line at this speed, 10 bits a byte: a reply leaves once the frame and the
    // reply would have crossed a line that carries one byte at a time; 0 models no line. The
    // board then keeps its pace awake, using a processor while it carries frames.
    void setLineRate(uint32_t baud);
    // The replies to the next count frames wait and go out in one write with the one after.
    void holdReplies(int count);
    // Every reply byte goes out in a write of its own, a millisecond apart.
    void splitReplies(bool split);
    // Every reply to a frame of the kind goes out in two writes a millisecond apart, the second
    // its last byte alone: a line that delivers a reply in pieces.
    void splitRepliesOf(FrameKind kind);
    // These bytes go out just before every reply.
    void setNoise(std::vector<uint8_t> noise);
    // The board sends noise every millisecond of the real clock until told to stop.
    void chatter(bool on);
    // On simulated time: the board sends a noise byte every period of its time; a period of 0
    // stops it.
    void chatterOnBoardTime(std::chrono::milliseconds period);

    // Simulated time, for tests that must not race the real clock: from now on the board's time
    // stands still but for advanceTime, and reply delays, split replies, the modelled line and
    // the log keep to it. Chatter keeps to the real clock.
    void useSimulatedTime();
    // Moves simulated time on; returns once every reply due by then has gone out.
    void advanceTime(std::chrono::microseconds by);
    // Waits, up to limit, until the board has taken count bytes from the program since it
    // started; whether it has.
    bool waitUntilTaken(uint64_t count, std::chrono::milliseconds limit) const;
    // The frames taken so far, and how long until the reply to the last of them goes out: none
    // when it gets no reply of its own, 0 when the reply has gone. A reply that goes out in
    // pieces: how long until the first of them.
    struct LastFrame {
        int number = 0;
        std::optional<std::chrono::microseconds> replyIn;
        std::optional<std::chrono::microseconds> firstPieceIn;
    };
    LastFrame lastFrame() const;
    // How long until the next write of reply bytes, of whatever frame; none when none is queued.
    std::optional<std::chrono::microseconds> nextWriteIn() const;
    // Reply bytes written to the line since the board started.
    uint64_t bytesSent() const;

    std::vector<LogEntry> log() const;
    // One line per frame, "> " from the program, "< " from the board, bytes in hex; with
    // times each line starts with the milliseconds since the start.
    std::string logText(bool withTimes = false) const;
    void clearLog();
    // How long, in all, replies left after the time the modelled line set for them.
    double latenessSeconds() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        std::vector<std::vector<uint8_t>> logAs;  // the frames these bytes carry
        bool chatter = false;
    };
    struct Answer {
        uint8_t status = 0;
        std::vector<uint8_t> data;
        Clock::time_point notBefore{};
    };

    void serve();
    void takeHostBytes(std::span<const uint8_t> bytes);
    void flushLineBytes();
    void handleFrame(const std::vector<uint8_t>& frame);
    std::optional<Answer> boardFrame(const std::vector<uint8_t>& frame);
    std::optional<Answer> targetFrame(const std::vector<uint8_t>& frame);
    std::optional<Answer> handshake(const std::vector<uint8_t>& frame);
    void changeTargets(FrameKind kind, int nth);
    void queueReply(FrameKind kind, int nth, std::vector<uint8_t> reply, Clock::time_point ready);
    bool sendDue();
    // The next noise byte of chatter on the board's time waits among the replies.
    void queueChatter(Clock::time_point due);
    std::chrono::nanoseconds lineTime(size_t bytes) const;
    Clock::time_point now() const { return simulated_ ? simulatedNow_ : Clock::now(); }
    void addLog(bool fromHost, std::vector<uint8_t> bytes, Clock::time_point at);
    bool routed(int socket) const;

    mutable std::mutex lock_;
    BoardState board_;
    BoardSerialFlash serialFlash_;
    std::array<std::optional<GangTarget>, 4> sockets_;
    int singleTarget_ = -1;
    bool selfPowered_ = false;

    bool silent_ = false;
    uint32_t delayMs_ = 0;
    std::map<std::pair<FrameKind, int>, uint32_t> delayAt_;
    std::map<std::pair<FrameKind, int>, bool> dropAt_;
    std::map<std::pair<FrameKind, int>, size_t> cutAt_;
    std::map<std::pair<FrameKind, int>, bool> stallAt_;
    bool minimalWrites_ = false;
    std::map<std::pair<FrameKind, int>, std::pair<int, std::optional<uint8_t>>> targetChanges_;
    int holdCount_ = 0;
    std::vector<std::vector<uint8_t>> held_;
    bool split_ = false;
    std::vector<FrameKind> splitKinds_;
    std::vector<uint8_t> noise_;
    bool chatter_ = false;
    std::chrono::milliseconds boardChatter_{0};
    std::map<FrameKind, int> framesSeen_;
    int repliesSeen_ = 0;
    int dropReplyNumber_ = 0;
    int lateReplyNumber_ = 0;
    uint32_t lateReplyMs_ = 0;
    uint64_t bytesSent_ = 0;
    uint32_t lineRate_ = 0;
    Clock::time_point lineFreeAt_{};
    Clock::duration lateness_{};
    bool simulated_ = false;
    Clock::time_point simulatedNow_{};
    uint64_t bytesTaken_ = 0;
    mutable std::condition_variable taken_;
    int framesTaken_ = 0;
    std::optional<Clock::time_point> lastReplyDue_;
    std::optional<Clock::time_point> firstPieceDue_;  // of a reply in pieces

    std::vector<uint8_t> input_;      // host bytes not yet parsed
    std::vector<uint8_t> lineBytes_;  // wake-up and stray bytes between frames
    std::deque<Outgoing> outgoing_;
    std::vector<LogEntry> log_;
    Clock::time_point started_ = Clock::now();

    std::string path_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the board lives on while the program's port is closed
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace sim
