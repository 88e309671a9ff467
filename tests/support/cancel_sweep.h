#pragma once
// Cancel in each pause of a run's work in turn, on the board's time. Whatever pause Cancel cuts,
// the run ends there: no step of its work follows, no line tells anything done, the run's end
// takes its own pauses in full and lets every target go, and the operator is told nothing.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "support/simulated_gang.h"

// Where the run stood when Cancel cut its pause.
struct CancelPoint {
    int pause = 0;              // the pause of the work cut, from 1
    size_t boardEntries = 0;    // entries of the board's log before it
    size_t notes = 0;           // notes of the run before it
    size_t logLines = 0;        // lines of the page's log before it
    std::chrono::microseconds time{0};
};

struct CancelSweep {
    std::function<void(SimulatedGang&)> arrange;  // the bench before each run
    void (*worker)(WorkerPage&);
    std::vector<uint8_t> image;
    bool letsGoThroughSwitches = false;  // the end closes switches to let the targets behind them go
    // More checks of the run cancelled at the point.
    std::function<void(SimulatedGang&, const CancelPoint&)> check = [](SimulatedGang&, const CancelPoint&) {};
};

// Runs the sweep; returns how many pauses of the work the run without Cancel took.
int SweepCancel(const CancelSweep& sweep);
