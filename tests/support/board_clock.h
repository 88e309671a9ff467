#pragma once
// The COM link on the simulated board's time (link/com_clock.h), installed while it lives. Time
// moves on from one write of reply bytes to the next, and the port reads each write before it
// moves further, as a line delivers replies in the order of their times. A step's wait ends as
// soon as its reply is read, or once its wait has passed; pauses and let-gos move time on at
// once. So waits take no real time, and a late reply reaches whatever step or pause is under
// way when it leaves the board.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

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
    void pause(uint32_t ms, PauseKind kind) override;
    bool letGo(uint32_t quietMs, uint32_t limitMs) override;
    // Until the board has taken every byte the port was given, also those still queued when a
    // run ends: time moves on only behind it, and a run's log is whole.
    void settle() const;

    // Cancel as the nth pause of the work (from 1, of those of 1 ms or more) begins: the stop
    // event is set and the pause gives way at once, as Cancel pressed in it would make it.
    // atCancel runs then, on the worker's thread. 0 never cancels.
    void cancelAtPause(int nth, std::function<void()> atCancel = {});
    // Pauses of the work begun since the clock was made, cut or not.
    int workPauses() const { return workPauses_; }
    // The pauses taken after the one Cancel cut, each in ms, in order; read once the run has ended.
    const std::vector<uint32_t>& pausesAfterCancel() const { return pausesAfterCancel_; }
    // Time the board's clock has moved on since the clock was made.
    std::chrono::microseconds elapsed() const { return std::chrono::microseconds(elapsedMicros_.load()); }

private:
    using Micros = std::chrono::microseconds;
    // Moves time on to the board's next write when it comes within left, and has the port read
    // it; how long that took, or none when no write comes within left (time then stands).
    std::optional<Micros> nextWrite(Micros left, platform::Event& answered);

    void advance(Micros by);

    sim::GangBoard& board_;
    uint64_t portBytesBefore_;
    int framesBeforeStep_ = 0;
    platform::Event unanswered_;  // a pause waits for no reply
    std::atomic<int> workPauses_{0};
    int cancelAt_ = 0;
    std::function<void()> atCancel_;
    bool cancelled_ = false;
    std::vector<uint32_t> pausesAfterCancel_;
    std::atomic<int64_t> elapsedMicros_{0};
};
