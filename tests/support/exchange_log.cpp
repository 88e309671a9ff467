#include "exchange_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine_hid/pause.h"
#include "platform/strfmt.h"

namespace {

struct SetLine {
    uint32_t pause;
    uint8_t command;
    uint32_t argument, value;
    bool ok;
};

uint32_t WordOf(const std::vector<uint8_t>& report, size_t at) {
    if (report.size() < at + 4) return 0;
    return report[at] | report[at + 1] << 8 | report[at + 2] << 16 | static_cast<uint32_t>(report[at + 3]) << 24;
}

bool WritesValue(uint8_t command) { return command == 0x04 || command == 0x06; }

std::string Single(const SetLine& s) {
    std::string line = strfmt("%5u  %02X %08X", s.pause, s.command, s.argument);
    if (WritesValue(s.command)) line += strfmt(" = %08X", s.value);
    return line + (s.ok ? "" : " !") + "\n";
}

}  // namespace

ExchangeLog::ExchangeLog(sim::Adapter& adapter) : adapter_(adapter), firstSet_(adapter.setCount()) {
    adapter_.clearLog();
    engine_hid::SetPauseClockForTests([this](uint32_t ms) {
        std::lock_guard lock(mutex_);
        pauses_.emplace_back(adapter_.setCount() - firstSet_, ms);
    });
}

ExchangeLog::~ExchangeLog() { engine_hid::SetPauseClockForTests({}); }

std::string ExchangeLog::text() const {
    std::vector<SetLine> sets;
    for (const auto& exchange : adapter_.exchanges()) {
        if (exchange.kind != sim::Exchange::Kind::Set) continue;
        const auto& r = exchange.report;
        sets.push_back({0, r.size() > 3 ? r[3] : uint8_t{0}, WordOf(r, 4), WordOf(r, 8), exchange.ok});
    }
    uint32_t trailing = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [before, ms] : pauses_) {
            if (before < static_cast<int>(sets.size())) sets[static_cast<size_t>(before)].pause += ms;
            else trailing += ms;
        }
    }
    std::string text;
    for (size_t i = 0; i < sets.size();) {
        // A run: the same command, no pause inside, the argument moving by one fixed step.
        size_t end = i + 1;
        const int64_t step = end < sets.size() ? int64_t{sets[end].argument} - sets[i].argument : 0;
        while (end < sets.size() && step != 0 && sets[end].command == sets[i].command && sets[end].pause == 0 &&
               sets[end].ok && sets[i].ok && int64_t{sets[end].argument} - sets[end - 1].argument == step)
            ++end;
        if (end - i >= 3) {
            text += strfmt("%5u  %02X %08X .. %08X step %lld (%zu)\n", sets[i].pause, sets[i].command, sets[i].argument,
                           sets[end - 1].argument, static_cast<long long>(step), end - i);
            i = end;
        } else {
            text += Single(sets[i]);
            ++i;
        }
    }
    if (trailing) text += strfmt("%5u  end\n", trailing);
    return text;
}

