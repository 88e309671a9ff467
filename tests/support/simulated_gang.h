#pragma once
// A gang bench for tests: the simulated gang board on a pseudo-terminal as COM port 1, the
// simulated adapter, settings and files in a temporary folder, chip mode 2, pauses skipped and
// waits shortened by a test clock that also notes every pause and step of a run. A step that
// the board leaves unanswered times out as soon as the board has taken its frame.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/gang_board.h"
#include "support/simulated_burn.h"

class SimulatedGang {
public:
    // waitPercent shortens every wait of a step (never below 60 ms), so time-outs stay fast.
    explicit SimulatedGang(uint32_t waitPercent = 20);
    ~SimulatedGang();

    // Runs a gang worker on an image file holding these bytes; the busy flag must be clear
    // afterwards.
    void run(void (*worker)(WorkerPage&), const std::vector<uint8_t>& image);
    // Only the listed sockets (0 to 3) keep a target.
    void populate(const std::vector<int>& sockets);

    // The run's exchanges, one line per step: the pauses before it in ms, its tag and wait, the
    // frame sent and the board's reply ("-" for none), as the board logged them.
    std::string exchangeLog() const;
    std::vector<std::string> notes() const;
    // The message boxes and page messages of the run, in that order.
    std::vector<std::string> messages() const;
    // Frames the board received, by their first two bytes (after the wake-up bytes).
    int framesOf(uint8_t lead, uint8_t cmd) const;
    // Until the board has taken every frame noted so far: one that nothing answers may still
    // be on its way.
    void awaitBoard() const;
    // The board received only the four switches off and the socket power off, and answered them.
    bool onlySwitchedOff() const;
    // Stores a number under a setting name in the settings store.
    void store(const std::string& name, uint32_t value);

    SimulatedBurn bench;  // adapter, services, recording page, folders
    // Hears every note of the run as it happens, on the worker's thread.
    std::function<void(const std::string&)> onNote;
    sim::GangBoard board;

private:
    bool waitForReply(uint32_t limitMs);

    mutable std::mutex lock_;
    std::vector<std::string> notes_;
    std::atomic<int> unansweredBefore_{0};
};

