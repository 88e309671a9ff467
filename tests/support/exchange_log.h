#pragma once
// The simulated adapter's exchange log as reviewed text, to compare with a golden file.
// One line per command: the pause before it in ms, the command byte, its first argument, the
// value or data it carries, and "?" when its answer was asked for (with the target id of a
// connect and the text of a version). A run of commands that differ only in an address that
// steps evenly, with no pause between them, folds into one line "first..last/step".
#include <string>
#include <vector>

#include "sim/hid_adapter.h"

// A pause after the last exchange ends the text as "pause end".
std::string RenderExchanges(const std::vector<sim::Exchange>& log, uint32_t trailingPause = 0);

// Records a worker's exchanges from now on: clears the adapter's log and notes each of the
// workers' pauses in it (the test clock, so nothing is slept) until destroyed.
class ExchangeLog {
public:
    explicit ExchangeLog(sim::Adapter& adapter);
    ~ExchangeLog();
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;

    std::string text() const { return RenderExchanges(adapter_.exchanges(), adapter_.pauseSinceLastExchange()); }

private:
    sim::Adapter& adapter_;
};
