#include "support/cancel_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>

#include "core/globals.h"
#include "platform/strfmt.h"

namespace {

// Where the run stood when Cancel cut its pause.
struct CancelPoint {
    size_t boardEntries = 0;  // entries of the board's log before it
    size_t notes = 0;         // notes of the run before it
    size_t logLines = 0;      // lines of the page's log before it
    std::chrono::microseconds time{0};
};

bool WakeUpOnly(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0x00 || b == 0xFF; });
}

// What a run's end may send: the leave frame, LEDs, switches opened (closed only to let the
// targets behind them go), socket power off, the serial flash's write disable and the board's
// end command.
bool EndFrame(const std::vector<uint8_t>& f, bool letsGoThroughSwitches) {
    if (WakeUpOnly(f)) return true;
    if (f == std::vector<uint8_t>{0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF}) return true;
    if (f.size() != 6 || f[0] != 0xF0) return false;
    const uint8_t cmd = f[1], state = f[2];
    if (cmd >= 0x01 && cmd <= 0x08) return true;
    if (cmd >= 0x0A && cmd <= 0x0D) return state == 0x00 || letsGoThroughSwitches;
    if (cmd == 0x0F) return state == 0x00;
    if (cmd == 0x22) return state == 0x04;
    return cmd == 0x10;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) text += strfmt(" %02X", b);
    return text;
}

std::optional<uint32_t> PauseOf(const std::string& note) {
    std::istringstream words(note);
    std::string kind;
    uint32_t ms = 0;
    if (words >> kind >> ms && kind == "pause") return ms;
    return std::nullopt;
}

uint32_t PausedAfter(const std::vector<std::string>& notes, size_t from) {
    uint32_t ms = 0;
    for (size_t i = from; i < notes.size(); ++i) ms += PauseOf(notes[i]).value_or(0);
    return ms;
}

// The pauses noted from notes[from] on that the clock did not take in full, in order. The clock
// also takes pauses that nothing notes (around the port's close and re-open).
std::vector<uint32_t> NotTaken(const std::vector<std::string>& notes, size_t from, const std::vector<uint32_t>& taken) {
    std::vector<uint32_t> cut;
    auto next = taken.begin();
    for (size_t i = from; i < notes.size(); ++i) {
        const std::optional<uint32_t> ms = PauseOf(notes[i]);
        if (!ms) continue;
        const auto at = std::find(next, taken.end(), *ms);
        if (at == taken.end()) {
            cut.push_back(*ms);
        } else {
            next = at + 1;
        }
    }
    return cut;
}

// Cancels in each pause of the run at one speed; returns how many pauses the run without Cancel took.
int SweepCancelAt(const CancelSweep& sweep, uint32_t baud) {
    int pauses = 0;
    {
        SimulatedGang gang;
        sweep.arrange(gang, baud);
        gang.run(sweep.worker, sweep.image);
        pauses = gang.clock()->workPauses();
    }
    for (int n = 1; n <= pauses; ++n) {
        SCOPED_TRACE(strfmt("Cancel in pause %d of %d", n, pauses));
        SimulatedGang gang;
        sweep.arrange(gang, baud);
        std::optional<CancelPoint> point;
        gang.clock()->cancelAtPause(n, [&] {
            point = CancelPoint{gang.board.log().size(), gang.notes().size(), gang.bench.page.log.size(),
                                gang.clock()->elapsed()};
        });
        gang.run(sweep.worker, sweep.image);
        if (!point) {
            ADD_FAILURE() << "the run took fewer pauses than without Cancel";
            continue;
        }

        const std::vector<sim::LogEntry> log = gang.board.log();
        for (size_t i = point->boardEntries; i < log.size(); ++i) {
            if (log[i].fromHost) {
                EXPECT_TRUE(EndFrame(log[i].bytes, sweep.letsGoThroughSwitches)) << "sent after Cancel:" << Hex(log[i].bytes);
            }
        }
        // No stage begins, and none is told done.
        const auto& lines = gang.bench.page.log;
        for (size_t i = point->logLines; i < lines.size(); ++i) {
            for (const char* word : {"Begin", "elapsed time", "successful"})
                EXPECT_EQ(lines[i].find(word), std::string::npos) << lines[i];
        }
        // The end's pauses pass on the board's time as they are noted: none is cut.
        EXPECT_GE(gang.clock()->elapsed() - point->time, std::chrono::milliseconds(PausedAfter(gang.notes(), point->notes)));
        EXPECT_EQ(NotTaken(gang.notes(), point->notes, gang.clock()->pausesAfterCancel()), std::vector<uint32_t>{})
            << "pauses of the run's end cut";
        for (int socket = 0; socket < 4; ++socket) {
            const std::optional<sim::GangTarget> target = gang.board.target(socket);
            EXPECT_TRUE(!target || !target->inIsp) << "socket " << socket + 1 << " is left in ISP mode";
        }
        EXPECT_EQ(gang.messages(), std::vector<std::string>{});
        sweep.check(gang);
    }
    return pauses;
}

}  // namespace

int SweepCancel(const CancelSweep& sweep) {
    int pauses = 0;
    for (const uint32_t baud : sweep.bauds) {
        SCOPED_TRACE(strfmt("at %u", baud));
        pauses += SweepCancelAt(sweep, baud);
    }
    return pauses;
}
