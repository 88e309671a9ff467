#include "support/cancel_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>

#include "core/globals.h"
#include "platform/strfmt.h"

namespace {

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

uint32_t PausedAfter(const std::vector<std::string>& notes, size_t from) {
    uint32_t ms = 0;
    for (size_t i = from; i < notes.size(); ++i) {
        std::istringstream words(notes[i]);
        std::string kind;
        uint32_t pause = 0;
        if (words >> kind >> pause && kind == "pause") ms += pause;
    }
    return ms;
}

}  // namespace

int SweepCancel(const CancelSweep& sweep) {
    int pauses = 0;
    {
        SimulatedGang gang;
        sweep.arrange(gang);
        gang.run(sweep.worker, sweep.image);
        pauses = gang.clock()->workPauses();
    }
    for (int n = 1; n <= pauses; ++n) {
        SCOPED_TRACE(strfmt("Cancel in pause %d of %d", n, pauses));
        SimulatedGang gang;
        sweep.arrange(gang);
        std::optional<CancelPoint> point;
        gang.clock()->cancelAtPause(n, [&] {
            point = CancelPoint{n, gang.board.log().size(), gang.notes().size(), gang.bench.page.log.size(),
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
        for (int socket = 0; socket < 4; ++socket) {
            const std::optional<sim::GangTarget> target = gang.board.target(socket);
            EXPECT_TRUE(!target || !target->inIsp) << "socket " << socket + 1 << " is left in ISP mode";
        }
        EXPECT_EQ(gang.messages(), std::vector<std::string>{});
        sweep.check(gang, *point);
    }
    return pauses;
}
