#include "support/board_clock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/globals.h"
#include "link/serial_port.h"

namespace {

// Real time a byte may take through the pseudo-terminal on a busy machine; only a broken link
// takes longer.
constexpr auto kCrossing = std::chrono::seconds(10);

}  // namespace

BoardClock::BoardClock(sim::GangBoard& board) : board_(board), portBytesBefore_(g_SerialPort.BytesGiven()) {
    board_.useSimulatedTime();
    SetComClockForTests(this);
}

BoardClock::~BoardClock() { SetComClockForTests(nullptr); }

void BoardClock::settle() const {
    EXPECT_TRUE(board_.waitUntilTaken(g_SerialPort.BytesGiven() - portBytesBefore_, kCrossing))
        << "the board never took what the port was given";
}

void BoardClock::stepBegins() {
    settle();
    framesBeforeStep_ = board_.lastFrame().number;
}

std::optional<BoardClock::Micros> BoardClock::nextWrite(Micros left, platform::Event& answered) {
    const std::optional<Micros> next = board_.nextWriteIn();
    if (!next || *next > left) return std::nullopt;
    const uint64_t sent = board_.bytesSent();
    const uint64_t read = g_SerialPort.BytesRead();
    advance(*next);
    const uint64_t written = board_.bytesSent() - sent;
    // A closed port reads nothing: its next open discards what waits.
    const auto limit = std::chrono::steady_clock::now() + kCrossing;
    while (g_SerialPort.IsOpen() && g_SerialPort.BytesRead() - read < written && !answered.isSet()) {
        if (std::chrono::steady_clock::now() > limit) {
            ADD_FAILURE() << "the port never read what the board wrote";
            break;
        }
        g_SerialPort.WaitForReply(answered, std::chrono::milliseconds(1));
    }
    return next;
}

bool BoardClock::waitReply(uint32_t ms) {
    settle();
    Micros left = std::chrono::milliseconds(ms);
    for (;;) {
        // The reply to the step's own frame, when it comes within the wait before any other write
        // (0 when it has gone already): the port takes it in on this thread.
        const sim::GangBoard::LastFrame last = board_.lastFrame();
        const std::optional<Micros> next = board_.nextWriteIn();
        if (last.number != framesBeforeStep_ && last.replyIn && *last.replyIn <= left &&
            (!next || *last.replyIn <= *next)) {
            advance(*last.replyIn);
            return g_SerialPort.WaitForReply(g_hReplyEvent, kCrossing);
        }
        // Any other write within the wait (a piece of the reply, a late reply to an earlier frame)
        // is read before time moves on.
        const std::optional<Micros> took = nextWrite(left, g_hReplyEvent);
        if (g_hReplyEvent.isSet()) return true;
        if (!took) {
            advance(left);
            return false;
        }
        left -= *took;
    }
}

void BoardClock::cancelAtPause(int nth, std::function<void()> atCancel) {
    cancelAt_ = nth;
    atCancel_ = std::move(atCancel);
}

void BoardClock::advance(Micros by) {
    board_.advanceTime(by);
    elapsedMicros_ += by.count();
}

void BoardClock::pause(uint32_t ms, PauseKind kind) {
    settle();
    if (kind == PauseKind::Work && ++workPauses_ == cancelAt_) {
        g_hStopEvent.set();
        cancelled_ = true;
        if (atCancel_) atCancel_();
        return;
    }
    if (cancelled_) pausesAfterCancel_.push_back(ms);
    Micros left = std::chrono::milliseconds(ms);
    while (const std::optional<Micros> took = nextWrite(left, unanswered_)) left -= *took;
    advance(left);
}

bool BoardClock::letGo(uint32_t quietMs, uint32_t limitMs) {
    settle();
    const Micros quiet = std::chrono::milliseconds(quietMs);
    const Micros limit = std::chrono::milliseconds(limitMs);
    Micros passed(0);
    Micros quietFrom(0);
    for (;;) {
        const Micros until = std::min(quietFrom + quiet, limit);
        const std::optional<Micros> took = nextWrite(until - passed, unanswered_);
        if (!took) {
            advance(until - passed);
            return quietFrom + quiet <= limit;
        }
        // Any byte starts the quiet again.
        passed += *took;
        quietFrom = passed;
    }
}
