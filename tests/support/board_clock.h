#pragma once
// The COM link on the simulated board's time (link/com_clock.h), installed while it lives. Time
// moves on from one write of reply bytes to the next, and the port reads each write before it
// moves further, as a line delivers replies in the order of their times. A step's wait ends as
// soon as its reply is read, or once its wait has passed; pauses and let-gos move time on at
// once. So waits take no real time, and a late reply reaches whatever step or pause is under
// way when it leaves the board.
#include <chrono>
#include <cstdint>
#include <optional>

#include "link/com_clock.h"
#include "platform/event.h"
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
    bool letGo(uint32_t quietMs, uint32_t limitMs) override;
    // Until the board has taken every byte the port was given, also those still queued when a
    // run ends: time moves on only behind it, and a run's log is whole.
    void settle() const;

private:
    using Micros = std::chrono::microseconds;
    // Moves time on to the board's next write when it comes within left, and has the port read
    // it; how long that took, or none when no write comes within left (time then stands).
    std::optional<Micros> nextWrite(Micros left, platform::Event& answered);

    sim::GangBoard& board_;
    uint64_t portBytesBefore_;
    int framesBeforeStep_ = 0;
    platform::Event unanswered_;  // a pause waits for no reply
};
