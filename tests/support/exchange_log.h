#pragma once
// The exchanges of a worker with the simulated adapter as a short text, with the pause before
// each from a test clock (the workers' pauses are recorded, not slept), to compare with a
// reviewed golden file:
//
//     pause  command argument [= value]            one set report
//     pause  command first .. last step s (n)      n sets alike whose argument steps by s
//     pause  end                                   the pauses after the last exchange
//
// A set that did not reach the adapter ends in " !". Runs drop the values they write; tests
// check those in the target's memory.
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/hid_adapter.h"

class ExchangeLog {
public:
    // Starts recording from now (the adapter's earlier exchanges are cleared).
    explicit ExchangeLog(sim::Adapter& adapter);
    ~ExchangeLog();
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;

    std::string text() const;

private:
    sim::Adapter& adapter_;
    int firstSet_;
    mutable std::mutex mutex_;
    std::vector<std::pair<int, uint32_t>> pauses_;  // sets made before the pause, its length
};

