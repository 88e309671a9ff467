#pragma once
// A worker run as text, for golden logs: a test clock (pauses take no time, they only add to
// a virtual clock) and a page that notes what the worker shows, interleaved with the
// simulated adapter's exchanges. Each line starts with the milliseconds since the line before.
//
//      0 | log Begin erase flash
//      0 31
//      0 37 -> 01
//     10 | marquee 0
//      0 [33 00000000 +20 x8 ; 34 00000000 ; | pos 00000000] +0 +1 +1 x262
//
// A set and the get that answers it are one line, with the command's argument when it takes
// one ("-> 01" is byte 1 of the answer of a
// status read, "-> failed" a failed transfer). Runs of lines that differ only in a number
// that grows by a fixed step fold into one line: "+step xcount" after a single line, and a
// bracketed group of two or three lines with the step of each.
#include <string>
#include <vector>

#include "core/worker_page.h"
#include "link/run_clock.h"
#include "sim/hid_adapter.h"

class RunTrace final : public serial_flash::RunClock, public WorkerPage {
public:
    // Installs itself as the workers' clock until destroyed.
    // Its pauses are noted in the adapter, whose serial-flash erase passes with them.
    explicit RunTrace(sim::Adapter& adapter);
    ~RunTrace() override;

    void pause(uint32_t ms) override;
    double seconds() override { return nowMs_ / 1000.0; }

    void appendLog(const std::string& line) override;
    void scrollLog() override {}
    void setProgressRange(int lower, int upper) override;
    void setProgressPos(int pos) override;
    void setProgressMarquee(bool on) override;
    void showControl(int controlId, bool show) override;
    void enableControl(int controlId, bool enable) override;
    void setControlText(int controlId, const std::string& text) override;
    void setControlIcon(int controlId, int iconId) override;
    int messageBox(const std::string& text, platform::MsgIcon icon) override;
    int stopPrompt(int, uint32_t) override { return 0; }
    int warnPrompt(int, uint32_t) override { return 0; }
    std::string imagePath() const override { return {}; }

    // The whole run, folded.
    std::string text() const;
    std::vector<std::string> messages;
    int icon(int controlId) const;  // the last icon put on a control, 0 for none

private:
    struct Event {
        int exchanges;  // the adapter's exchange count when it happened
        uint64_t atMs;
        std::string text;
        bool hasNumber = false;
        uint32_t number = 0;
    };
    void note(std::string text, bool hasNumber = false, uint32_t number = 0);

    sim::Adapter& adapter_;
    uint64_t nowMs_ = 0;
    std::vector<Event> events_;
    std::vector<std::pair<int, uint64_t>> pauses_;  // exchange count and the clock after each pause
};

