#include "support/board_clock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/globals.h"
#include "link/serial_port.h"

namespace {

// Real time a byte may take through the pseudo-terminal on a busy machine; only a broken link
// takes longer.
constexpr auto kCrossing = std::chrono::seconds(10);
// Real time the port is given to read the first piece of a reply before the rest leaves; a
// receive side that answers the step from a piece returns at once.
constexpr auto kPieceRead = std::chrono::milliseconds(20);

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

bool BoardClock::waitReply(uint32_t ms) {
    settle();
    const auto limit = std::chrono::milliseconds(ms);
    const sim::GangBoard::LastFrame last = board_.lastFrame();
    if (last.number == framesBeforeStep_ || !last.replyIn || *last.replyIn > limit) {
        board_.advanceTime(limit);
        return false;
    }
    // The reply is on its way: the port takes it in on this thread. A reply in pieces leaves
    // piece by piece, the first read on its own as a line may deliver it.
    std::chrono::microseconds passed(0);
    if (last.firstPieceIn && *last.firstPieceIn < *last.replyIn) {
        board_.advanceTime(*last.firstPieceIn);
        passed = *last.firstPieceIn;
        g_SerialPort.WaitForReply(g_hReplyEvent, kPieceRead);
    }
    board_.advanceTime(*last.replyIn - passed);
    return g_SerialPort.WaitForReply(g_hReplyEvent, kCrossing);
}

void BoardClock::pause(uint32_t ms) {
    settle();
    board_.advanceTime(std::chrono::milliseconds(ms));
}
