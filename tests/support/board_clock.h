#pragma once
// The COM link on the simulated board's time (link/com_clock.h), installed while it lives. A
// step's wait ends as soon as the board has answered the step's frame, or has shown that it
// will not answer within the wait; the board's time then moves on by what the wait took, and
// pauses move it on at once. So pauses and time-outs take no real time, and a late reply leaves
// the board only once the step that missed it has timed out.
#include <cstdint>

#include "link/com_clock.h"
#include "sim/gang_board.h"

class BoardClock final : public ComClock {
public:
    explicit BoardClock(sim::GangBoard& board);
    ~BoardClock();
    BoardClock(const BoardClock&) = delete;
    BoardClock& operator=(const BoardClock&) = delete;

    void stepBegins() override;
    bool waitReply(uint32_t ms) override;
    void pause(uint32_t ms) override;
    // Until the board has taken every byte the port was given, also those still queued when a
    // run ends: time moves on only behind it, and a run's log is whole.
    void settle() const;

private:
    sim::GangBoard& board_;
    uint64_t portBytesBefore_;
    int framesBeforeStep_ = 0;
};
