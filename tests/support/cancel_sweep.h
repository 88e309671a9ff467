#pragma once
// Cancel in each pause of a run's work in turn, on the board's time. Whatever pause Cancel cuts,
// the run ends there: no step of its work follows, no line tells anything done, the run's end
// takes its own pauses in full and lets every target go, and the operator is told nothing.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/simulated_gang.h"

struct CancelSweep {
    // The bench before each run, with the speed to store.
    std::function<void(SimulatedGang&, uint32_t baud)> arrange;
    void (*worker)(WorkerPage&);
    std::vector<uint8_t> image;
    // The board's own speed and another: the runs that change the speed pause after it.
    std::vector<uint32_t> bauds = {115200, 57600};
    bool letsGoThroughSwitches = false;  // the end closes switches to let the targets behind them go
    // More checks of each run cancelled.
    std::function<void(SimulatedGang&)> check = [](SimulatedGang&) {};
};

// Runs the sweep at each speed; returns how many pauses of the work the runs without Cancel took.
int SweepCancel(const CancelSweep& sweep);
