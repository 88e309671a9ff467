#include "sim/gang_board.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/globals.h"
#include "core/validators.h"
#include "link/com_reply.h"
#include "platform/strfmt.h"

namespace sim {
namespace {

constexpr uint8_t kBoard = 0xF0;
constexpr uint8_t kTarget = 0x0F;
constexpr uint8_t kHandshakeLead = 0x55;
constexpr size_t kNotAFrame = 0;
constexpr size_t kNeedMore = SIZE_MAX;
constexpr auto kChatterPeriod = std::chrono::milliseconds(1);
constexpr auto kAwakeAfterReply = std::chrono::milliseconds(1);
constexpr char kLinkStartText[] = "RQ273K";
constexpr char kHandshakeAText[] = "RQ2728";  // also the MTP parts' handshake

// The length of the host frame at the start of bytes, from its lead and command bytes.
size_t FrameLength(std::span<const uint8_t> bytes) {
    const size_t have = bytes.size();
    const uint8_t lead = bytes[0];
    if (lead != kBoard && lead != kTarget && lead != kHandshakeLead) return kNotAFrame;
    if (have < 2) return kNeedMore;
    const uint8_t cmd = bytes[1];
    if (lead == kHandshakeLead) return cmd == kTarget ? 9 : kNotAFrame;
    if (lead == kBoard) {
        if (cmd == 0x24) return 8;
        if (cmd == 0x25) return have < 3 ? kNeedMore : 8 + size_t{bytes[2]};
        return 6;
    }
    if (cmd == 'R') return 8;  // 0F and the chip-family text of the link start
    switch (cmd) {
        case 0x22: case 0x26: case 0x3A: return have < 4 ? kNeedMore : 5 + size_t{bytes[3]};
        case 0x0E: return 7;
        case 0x0A: return have < 3 ? kNeedMore : (bytes[2] == 0x00 ? 7 : 6);
        default: return 6;
    }
}

FrameKind KindOf(const std::vector<uint8_t>& frame) {
    if (frame[0] == kHandshakeLead || frame[1] == 'R') return kHandshake;
    return {frame[0], frame[1]};
}

uint32_t AddressOf(const GangTarget& target, uint8_t lo, size_t offset) {
    return ((uint32_t{target.hiByte} << 8 | lo) + offset) & 0xFFFF;
}

// What one target does with a target frame; nothing when it does not answer.
std::optional<std::pair<uint8_t, std::vector<uint8_t>>> TargetTakes(GangTarget& t,
                                                                    const std::vector<uint8_t>& f) {
    using Result = std::pair<uint8_t, std::vector<uint8_t>>;
    const uint8_t cmd = f[1];
    const uint8_t p1 = f[2];
    switch (cmd) {
        case 0x40: case 0x44: case 0x58: case 0x0A: case 0x00: case 0x04:
            return Result{0, {}};
        case 0x08: case 0x0C:
            if (p1 == 0x01) t.hiByte = f[4];
            if (p1 == 0x02 && cmd == 0x0C) {  // leave ISP mode: no answer
                t.inIsp = false;
                return std::nullopt;
            }
            return Result{0, {}};
        case 0x22: case 0x26: {
            // The reply carries the target's status byte: 0x04 when a byte outside the flash and
            // the key page, or one that needed a cleared bit set again, could not be written as sent.
            uint8_t status = 0;
            uint8_t targetStatus = 0x00;
            for (size_t i = 0; i < f[3]; ++i) {
                const uint32_t address = AddressOf(t, p1, i);
                uint8_t* const cell = t.cell(address);
                if (!cell) {
                    status = 1;
                    targetStatus = GangTarget::kProgramError;
                    continue;
                }
                const bool stuck = std::count(t.stuckBytes.begin(), t.stuckBytes.end(), address) > 0;
                if (t.mtp) {
                    if (!stuck) *cell = f[4 + i];
                    continue;
                }
                if (stuck || (*cell & f[4 + i]) != f[4 + i]) targetStatus = GangTarget::kProgramError;
                if (!stuck) *cell &= f[4 + i];
            }
            if (t.mtp) {
                t.busyLeft = t.busyPolls;
                targetStatus |= t.status();
            }
            return Result{status, {targetStatus}};
        }
        case 0x03: {
            std::vector<uint8_t> data(f[3], 0xFF);
            for (size_t i = 0; i < data.size(); ++i) {
                const uint32_t address = AddressOf(t, p1, i);
                if (const uint8_t* cell = t.cell(address)) data[i] = *cell;
            }
            return Result{0, data};
        }
        case 0x3A: {
            bool differs = ++t.compares == t.differAtCompare;
            for (size_t i = 0; i < f[3]; ++i) {
                const uint32_t address = AddressOf(t, p1, i);
                differs = differs || address >= t.flash.size() || t.flash[address] != f[4 + i];
            }
            t.compareDiffered = t.compareDiffered || differs;
            return Result{0, {}};
        }
        case 0x0B: {
            const uint8_t differed = t.compareDiffered;
            t.compareDiffered = false;
            return Result{differed, {}};
        }
        case 0x12: case 0x16:
            std::fill(t.flash.begin(), t.flash.end(), 0xFF);
            return Result{0, {}};
        case 0x18: case 0x1C: {
            const size_t start = size_t{t.hiByte} << 8;
            for (uint32_t a = static_cast<uint32_t>(start); a < start + 256; ++a) {
                if (uint8_t* cell = t.cell(a)) *cell = 0xFF;
            }
            return Result{0, {}};
        }
        case 0x49: return Result{0, {t.chipId}};
        case 0x09:
            if (p1 == 0x02) {  // an MTP target's status poll
                if (t.busyLeft > 0) --t.busyLeft;
                return Result{0, {t.status()}};
            }
            return Result{0, {p1 == 0x00 ? t.chipId : uint8_t{0x00}}};
        default: return std::nullopt;
    }
}

}  // namespace

uint8_t ChipIdOfMode(uint8_t chipMode) {
    switch (chipMode) {
        case 2: return 0x57;
        case 3: return 0x5A;
        case 5: return 0xF0;
        case 6: return 0x80;
        case 7: case 9: case 11: return 0xF0 | chipMode;
        case 8: case 10: case 12: return 0x80 | chipMode;
        default: return 0x50 | (chipMode & 0x0F);
    }
}

std::string FamilyOfMode(uint8_t chipMode) {
    switch (chipMode) {
        case 5: case 6: return "R23216";
        case 7: case 8: return "R27348";
        case 9: case 10: return "R23208";
        case 11: case 12: return "R27216";
        default: return kHandshakeAText;
    }
}

GangTarget NewTarget(uint8_t chipMode) {
    GangTarget target;
    target.chipMode = chipMode;
    target.chipId = ChipIdOfMode(chipMode);
    target.family = FamilyOfMode(chipMode);
    target.flash.assign(FlashSizeOfMode(chipMode), 0xFF);
    target.keyAddr = GetFlashBlockSize(chipMode);
    if (target.keyAddr >= target.flash.size()) target.keyPage.assign(256, 0xFF);
    return target;
}

std::array<uint8_t, 8> GangTarget::optionBlock(uint16_t offset) const {
    std::array<uint8_t, 8> block;
    block.fill(0xFF);
    for (size_t i = 0; i < block.size() && offset + i < flash.size(); ++i) block[i] = flash[offset + i];
    return block;
}

uint8_t* GangTarget::cell(uint32_t address) {
    if (address < flash.size()) return &flash[address];
    if (address >= keyAddr && address - keyAddr < keyPage.size()) return &keyPage[address - keyAddr];
    return nullptr;
}

uint8_t GangTarget::status() const {
    return static_cast<uint8_t>((busyLeft > 0 ? kBusy : 0) | (programError ? kProgramError : 0));
}

GangBoard::GangBoard() {
    for (int socket = 0; socket < 4; ++socket) insertTarget(socket, 2);
}

GangBoard::~GangBoard() { stop(); }

bool GangBoard::start() {
    if (thread_.joinable()) return true;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        stop();
        return false;
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    termios t{};
    if (slave_ < 0 || stopFd_ < 0 || ::tcgetattr(slave_, &t) != 0) {
        stop();
        return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(lock_);
        started_ = now();
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void GangBoard::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&master_, &slave_, &stopFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

std::string GangBoard::path() const { return path_; }

termios GangBoard::lineSettings() const {
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
}

void GangBoard::insertTarget(int socket, uint8_t chipMode) {
    std::lock_guard lock(lock_);
    sockets_.at(socket) = NewTarget(chipMode);
}

void GangBoard::removeTarget(int socket) {
    std::lock_guard lock(lock_);
    sockets_.at(socket).reset();
}

std::optional<GangTarget> GangBoard::target(int socket) const {
    std::lock_guard lock(lock_);
    return sockets_.at(socket);
}

void GangBoard::writeFlash(int socket, uint32_t address, std::span<const uint8_t> bytes) {
    std::lock_guard lock(lock_);
    GangTarget& target = sockets_.at(socket).value();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (uint8_t* cell = target.cell(static_cast<uint32_t>(address + i))) *cell = bytes[i];
    }
}

void GangBoard::setChipId(int socket, uint8_t id) {
    std::lock_guard lock(lock_);
    sockets_.at(socket).value().chipId = id;
}

void GangBoard::wireSingleTarget(int socket) {
    std::lock_guard lock(lock_);
    singleTarget_ = socket;
}

void GangBoard::differAtCompare(int socket, int nth) {
    std::lock_guard lock(lock_);
    GangTarget& target = sockets_.at(socket).value();
    target.differAtCompare = target.compares + nth;
}

void GangBoard::makeMtp(int socket, int polls, bool programError) {
    std::lock_guard lock(lock_);
    GangTarget& target = sockets_.at(socket).value();
    target.mtp = true;
    target.family = kHandshakeAText;
    target.busyPolls = polls;
    target.programError = programError;
}

void GangBoard::powerTargetsThemselves(bool on) {
    std::lock_guard lock(lock_);
    selfPowered_ = on;
}

void GangBoard::stickByte(int socket, uint32_t address) {
    std::lock_guard lock(lock_);
    sockets_.at(socket).value().stuckBytes.push_back(address);
}

void GangBoard::insertTargetAt(FrameKind kind, int nth, int socket, uint8_t chipMode) {
    std::lock_guard lock(lock_);
    targetChanges_[{kind, nth}] = {socket, chipMode};
}

void GangBoard::removeTargetAt(FrameKind kind, int nth, int socket) {
    std::lock_guard lock(lock_);
    targetChanges_[{kind, nth}] = {socket, std::nullopt};
}

void GangBoard::changeTargets(FrameKind kind, int nth) {
    const auto change = targetChanges_.find({kind, nth});
    if (change == targetChanges_.end()) return;
    const auto [socket, chipMode] = change->second;
    sockets_.at(socket).reset();
    if (chipMode) sockets_.at(socket) = NewTarget(*chipMode);
}

void GangBoard::stallReplyAt(FrameKind kind, int nth) {
    std::lock_guard lock(lock_);
    stallAt_[{kind, nth}] = true;
}

BoardState GangBoard::state() const {
    std::lock_guard lock(lock_);
    return board_;
}

void GangBoard::answerWritesMinimally(bool minimal) {
    std::lock_guard lock(lock_);
    minimalWrites_ = minimal;
}

void GangBoard::setSilent(bool silent) {
    std::lock_guard lock(lock_);
    silent_ = silent;
}

void GangBoard::delayReplies(uint32_t ms) {
    std::lock_guard lock(lock_);
    delayMs_ = ms;
}

void GangBoard::delayReplyAt(FrameKind kind, int nth, uint32_t ms) {
    std::lock_guard lock(lock_);
    delayAt_[{kind, nth}] = ms;
}

void GangBoard::dropReplyAt(FrameKind kind, int nth) {
    std::lock_guard lock(lock_);
    dropAt_[{kind, nth}] = true;
}

void GangBoard::cutReplyAt(FrameKind kind, int nth, size_t dataBytes) {
    std::lock_guard lock(lock_);
    cutAt_[{kind, nth}] = dataBytes;
}

void GangBoard::dropReplyNumber(int nth) {
    std::lock_guard lock(lock_);
    dropReplyNumber_ = nth;
}

void GangBoard::delayReplyNumber(int nth, uint32_t ms) {
    std::lock_guard lock(lock_);
    lateReplyNumber_ = nth;
    lateReplyMs_ = ms;
}

void GangBoard::setLineRate(uint32_t baud) {
    std::lock_guard lock(lock_);
    lineRate_ = baud;
}

void GangBoard::holdReplies(int count) {
    std::lock_guard lock(lock_);
    holdCount_ = count;
}

void GangBoard::splitReplies(bool split) {
    std::lock_guard lock(lock_);
    split_ = split;
}

void GangBoard::splitRepliesOf(FrameKind kind) {
    std::lock_guard lock(lock_);
    splitKinds_.push_back(kind);
}

void GangBoard::setNoise(std::vector<uint8_t> noise) {
    std::lock_guard lock(lock_);
    noise_ = std::move(noise);
}

void GangBoard::chatter(bool on) {
    std::lock_guard lock(lock_);
    chatter_ = on;
}

void GangBoard::chatterOnBoardTime(std::chrono::milliseconds period) {
    std::lock_guard lock(lock_);
    boardChatter_ = period;
    if (period.count() > 0) queueChatter(now() + period);
}

// A byte that starts no reply, so that it only keeps the line busy.
void GangBoard::queueChatter(Clock::time_point due) {
    Outgoing noise{due, {0x00}, {}, true};
    const auto at = std::upper_bound(outgoing_.begin(), outgoing_.end(), due,
                                     [](Clock::time_point d, const Outgoing& o) { return d < o.due; });
    outgoing_.insert(at, std::move(noise));
}

std::vector<LogEntry> GangBoard::log() const {
    std::lock_guard lock(lock_);
    return log_;
}

std::string GangBoard::logText(bool withTimes) const {
    std::string text;
    for (const LogEntry& entry : log()) {
        if (withTimes) text += strfmt("%9.1f ", entry.ms);
        text += entry.fromHost ? ">" : "<";
        for (uint8_t b : entry.bytes) text += strfmt(" %02X", b);
        text += "\n";
    }
    return text;
}

double GangBoard::latenessSeconds() const {
    std::lock_guard lock(lock_);
    return std::chrono::duration<double>(lateness_).count();
}

void GangBoard::useSimulatedTime() {
    std::lock_guard lock(lock_);
    simulatedNow_ = now();
    simulated_ = true;
}

void GangBoard::advanceTime(std::chrono::microseconds by) {
    std::lock_guard lock(lock_);
    const Clock::time_point until = simulatedNow_ + by;
    // Replies leave one by one at their own times, as they would while the time passes.
    while (!outgoing_.empty() && outgoing_.front().due <= until) {
        simulatedNow_ = std::max(simulatedNow_, outgoing_.front().due);
        sendDue();
    }
    simulatedNow_ = until;
}

bool GangBoard::waitUntilTaken(uint64_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(lock_);
    return taken_.wait_for(lock, limit, [&] { return bytesTaken_ >= count; });
}

GangBoard::LastFrame GangBoard::lastFrame() const {
    std::lock_guard lock(lock_);
    LastFrame last{framesTaken_, {}, {}};
    const auto in = [&](Clock::time_point due) {
        return std::max(std::chrono::microseconds(0), std::chrono::ceil<std::chrono::microseconds>(due - now()));
    };
    if (lastReplyDue_) last.replyIn = in(*lastReplyDue_);
    if (lastReplyDue_ && firstPieceDue_) last.firstPieceIn = in(*firstPieceDue_);
    return last;
}

std::optional<std::chrono::microseconds> GangBoard::nextWriteIn() const {
    std::lock_guard lock(lock_);
    if (outgoing_.empty()) return std::nullopt;
    return std::max(std::chrono::microseconds(0), std::chrono::ceil<std::chrono::microseconds>(outgoing_.front().due - now()));
}

uint64_t GangBoard::bytesSent() const {
    std::lock_guard lock(lock_);
    return bytesSent_;
}

void GangBoard::clearLog() {
    std::lock_guard lock(lock_);
    log_.clear();
}

void GangBoard::serve() {
    pthread_setname_np(pthread_self(), "gang board");
    auto lastChatter = Clock::now();
    Clock::time_point lastReply{};
    for (;;) {
        std::optional<Clock::time_point> due;  // when to look again, on the real clock
        bool awake;
        {
            std::lock_guard lock(lock_);
            if (!simulated_ && !outgoing_.empty()) due = outgoing_.front().due;
            if (chatter_) due = std::min(due.value_or(Clock::time_point::max()), lastChatter + kChatterPeriod);
            // A modelled line keeps its pace to the microsecond and answers as the board's own
            // processor would: while a reply is due, and for a moment after one went out, the
            // board watches the line awake, since a busy machine wakes a sleeper late.
            awake = !simulated_ && lineRate_ != 0 && (!outgoing_.empty() || Clock::now() - lastReply < kAwakeAfterReply);
        }
        const auto wait = awake ? std::chrono::nanoseconds(0) : std::max(std::chrono::nanoseconds(0), due.value_or(Clock::time_point{}) - Clock::now());
        const timespec limit{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (::ppoll(fds, 2, due || awake ? &limit : nullptr, nullptr) < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) return;
        std::lock_guard lock(lock_);
        if (fds[1].revents & POLLIN) {
            uint8_t buffer[512];
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got > 0) {
                takeHostBytes(std::span(buffer, static_cast<size_t>(got)));
                bytesTaken_ += static_cast<uint64_t>(got);
                taken_.notify_all();
            }
        }
        if (sendDue()) lastReply = Clock::now();
        if (chatter_ && Clock::now() - lastChatter >= kChatterPeriod) {
            static constexpr uint8_t kNoise[] = {0xAA, 0x0F, 0x03, 0x00, 0x40, 0x13, 0x37, 0x00,
                                                 0x55, 0xAA, 0xF0, 0x01, 0x00, 0x00, 0x12, 0x34};
            [[maybe_unused]] const ssize_t written = ::write(master_, kNoise, sizeof kNoise);
            lastChatter = Clock::now();
        }
    }
}

// Wake-up bytes and anything that starts no frame collect as line bytes; each frame is
// handled once all its bytes are in.
void GangBoard::takeHostBytes(std::span<const uint8_t> bytes) {
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    while (!input_.empty()) {
        const size_t length = FrameLength(input_);
        if (length == kNeedMore) break;
        if (length != kNotAFrame && length > input_.size()) break;
        if (length == kNotAFrame || input_[length - 1] != 0xFF) {
            lineBytes_.push_back(input_.front());
            input_.erase(input_.begin());
            continue;
        }
        flushLineBytes();
        const std::vector<uint8_t> frame(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(length));
        input_.erase(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(length));
        handleFrame(frame);
    }
    flushLineBytes();
}

std::chrono::nanoseconds GangBoard::lineTime(size_t bytes) const {
    return std::chrono::nanoseconds(lineRate_ == 0 ? 0 : int64_t{10} * 1000000000 * static_cast<int64_t>(bytes) / lineRate_);
}

void GangBoard::flushLineBytes() {
    if (lineBytes_.empty()) return;
    lineFreeAt_ = std::max(now(), lineFreeAt_) + lineTime(lineBytes_.size());
    addLog(true, std::move(lineBytes_), now());
    lineBytes_.clear();
}

void GangBoard::handleFrame(const std::vector<uint8_t>& frame) {
    addLog(true, frame, now());
    ++framesTaken_;
    lastReplyDue_.reset();
    const FrameKind kind = KindOf(frame);
    const int nth = ++framesSeen_[kind];
    changeTargets(kind, nth);
    std::optional<Answer> answer;
    if (kind == kHandshake)
        answer = handshake(frame);
    else if (frame[0] == kBoard)
        answer = boardFrame(frame);
    else
        answer = targetFrame(frame);
    // The frame crossed the line before the board could take it, and nothing else crossed meanwhile.
    const Clock::time_point frameIn = std::max(now(), lineFreeAt_) + lineTime(frame.size());
    lineFreeAt_ = frameIn;
    if (!answer || silent_ || dropAt_.count({kind, nth})) return;
    if (++repliesSeen_ == dropReplyNumber_) return;
    const bool late = repliesSeen_ == lateReplyNumber_;
    if (const auto cut = cutAt_.find({kind, nth}); cut != cutAt_.end() && cut->second < answer->data.size())
        answer->data.resize(cut->second);
    if (minimalWrites_ && (kind == TargetFrame(0x22) || kind == TargetFrame(0x26))) answer->data.clear();
    std::vector<uint8_t> reply = EncodeReply({kind.src, kind.cmd, answer->status, answer->data});
    const bool stalled = stallAt_.count({kind, nth}) > 0;
    if (stalled) reply.resize(reply.size() / 2);
    lineFreeAt_ = std::max(frameIn, answer->notBefore) + lineTime(reply.size());
    // A late reply holds up no other: the line stays free meanwhile.
    const auto ready = late ? std::max(lineFreeAt_, now() + std::chrono::milliseconds(lateReplyMs_)) : lineFreeAt_;
    queueReply(kind, nth, std::move(reply), ready);
    // Half a reply never completes: the frame goes unanswered.
    if (stalled) lastReplyDue_.reset();
}

std::optional<GangBoard::Answer> GangBoard::boardFrame(const std::vector<uint8_t>& frame) {
    const uint8_t cmd = frame[1];
    const bool on = frame[2] == 0x01;
    if (cmd >= 0x01 && cmd <= 0x08) {
        board_.leds[cmd - 1] = on;
    } else if (cmd == 0x09) {
        board_.multiplexer = on;
    } else if (cmd >= 0x0A && cmd <= 0x0D) {
        board_.switches[cmd - 0x0A] = on;
    } else if (cmd == 0x0E) {
        board_.wakeupLine = on;
    } else if (cmd == 0x0F) {
        board_.power = on;
        if (!on && !selfPowered_) {
            for (auto& socket : sockets_) {
                if (socket) socket->inIsp = false;
            }
        }
    } else if (cmd >= 0x20 && cmd <= 0x25) {
        BoardSerialFlash::Answer flash = serialFlash_.take(frame, now());
        return Answer{flash.status, std::move(flash.data), flash.notBefore};
    } else {
        return std::nullopt;  // 0x10 and unknown commands go unanswered
    }
    return Answer{};
}

bool GangBoard::routed(int socket) const {
    if (singleTarget_ >= 0) return socket == singleTarget_ && sockets_[socket].has_value();
    return (board_.power || selfPowered_) && board_.switches[socket] && sockets_[socket].has_value();
}

std::optional<GangBoard::Answer> GangBoard::targetFrame(const std::vector<uint8_t>& frame) {
    if (frame[1] == 0x0E) {  // the link speed, for the board itself; not answered
        if (frame[2] == 0x02 && frame[3] == 0x8C) board_.linkSpeed = 57600;
        if (frame[2] == 0x02 && frame[3] == 0xCC) board_.linkSpeed = 115200;
        return std::nullopt;
    }
    std::optional<Answer> combined;
    for (int socket = 0; socket < 4; ++socket) {
        if (!routed(socket) || !sockets_[socket]->inIsp) continue;
        auto result = TargetTakes(*sockets_[socket], frame);
        if (!result) continue;
        // The board answers once for all sockets: the worst status, the first socket's data.
        if (!combined) combined = Answer{result->first, std::move(result->second)};
        combined->status = std::max(combined->status, result->first);
    }
    return combined;
}

// A target answers the link start and the handshake of its own chip family.
std::optional<GangBoard::Answer> GangBoard::handshake(const std::vector<uint8_t>& frame) {
    const size_t textAt = frame[0] == kHandshakeLead ? 2 : 1;
    const std::string text(frame.begin() + static_cast<ptrdiff_t>(textAt), frame.begin() + static_cast<ptrdiff_t>(textAt + 6));
    bool answered = false;
    for (int socket = 0; socket < 4; ++socket) {
        if (!routed(socket)) continue;
        if (text != kLinkStartText && text != sockets_[socket]->family) continue;
        sockets_[socket]->inIsp = true;
        sockets_[socket]->hiByte = 0;
        answered = true;
    }
    return answered ? std::optional<Answer>(Answer{}) : std::nullopt;
}

void GangBoard::queueReply(FrameKind kind, int nth, std::vector<uint8_t> reply, Clock::time_point ready) {
    if (holdCount_ > 0) {
        --holdCount_;
        held_.push_back(std::move(reply));
        return;
    }
    std::vector<std::vector<uint8_t>> pieces = std::move(held_);
    held_.clear();
    if (!noise_.empty()) pieces.push_back(noise_);
    pieces.push_back(std::move(reply));

    const auto delay = std::chrono::milliseconds(delayMs_ + (delayAt_.count({kind, nth}) ? delayAt_[{kind, nth}] : 0));
    Outgoing out{std::max(now(), ready) + delay, {}, pieces};
    for (const auto& piece : pieces) out.bytes.insert(out.bytes.end(), piece.begin(), piece.end());
    std::vector<Outgoing> writes;
    if (split_) {
        for (size_t i = 0; i < out.bytes.size(); ++i) {
            writes.push_back({out.due + std::chrono::milliseconds(i), {out.bytes[i]}, {}});
        }
        writes.front().logAs = std::move(out.logAs);
    } else if (std::find(splitKinds_.begin(), splitKinds_.end(), kind) != splitKinds_.end() && out.bytes.size() > 1) {
        writes.push_back({out.due + std::chrono::milliseconds(1), {out.bytes.back()}, {}});
        out.bytes.pop_back();
        writes.insert(writes.begin(), std::move(out));
    } else {
        writes.push_back(std::move(out));
    }
    lastReplyDue_ = writes.back().due;
    firstPieceDue_.reset();
    if (writes.size() > 1) firstPieceDue_ = writes.front().due;
    for (Outgoing& write : writes) {
        const auto at = std::upper_bound(outgoing_.begin(), outgoing_.end(), write.due,
                                         [](Clock::time_point due, const Outgoing& o) { return due < o.due; });
        outgoing_.insert(at, std::move(write));
    }
}

// Everything due leaves in one write, so replies due together arrive merged. Whether anything left.
bool GangBoard::sendDue() {
    const auto now = this->now();
    size_t count = 0;
    std::vector<uint8_t> bytes;
    for (; count < outgoing_.size() && outgoing_[count].due <= now; ++count) {
        const Outgoing& out = outgoing_[count];
        lateness_ += now - out.due;
        bytes.insert(bytes.end(), out.bytes.begin(), out.bytes.end());
    }
    // A program that reads nothing loses what does not fit, as on a real line. The log comes
    // after the write, so that keeping it never delays a reply.
    if (!bytes.empty()) {
        const ssize_t written = ::write(master_, bytes.data(), bytes.size());
        if (written > 0) bytesSent_ += static_cast<uint64_t>(written);
    }
    bool chattered = false;
    for (; count > 0; --count) {
        for (auto& piece : outgoing_.front().logAs) addLog(false, std::move(piece), now);
        chattered |= outgoing_.front().chatter;
        outgoing_.pop_front();
    }
    if (chattered && boardChatter_.count() > 0) queueChatter(now + boardChatter_);
    return !bytes.empty();
}

void GangBoard::addLog(bool fromHost, std::vector<uint8_t> bytes, Clock::time_point at) {
    const double ms = std::chrono::duration<double, std::milli>(at - started_).count();
    log_.push_back({ms, fromHost, std::move(bytes)});
}

}  // namespace sim
