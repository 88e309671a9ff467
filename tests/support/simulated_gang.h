#pragma once
// A gang bench for tests: the simulated gang board on a pseudo-terminal as COM port 1, the
// simulated adapter, settings and files in a temporary folder, chip mode 2, the link on the
// board's simulated time (or, for the one test that needs it, both on the real clock), and a
// record of every pause and step of a run.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/gang_board.h"
#include "support/board_clock.h"
#include "support/simulated_burn.h"

enum class GangTime { Board, Real };

class SimulatedGang {
public:
    explicit SimulatedGang(GangTime time = GangTime::Board);
    ~SimulatedGang();

    // Runs a gang worker on an image file holding these bytes; the busy flag must be clear
    // afterwards. The board has then taken every frame of the run. Every message of the two runs
    // the page starts must carry the error icon.
    void run(void (*worker)(WorkerPage&), const std::vector<uint8_t>& image);
    // Only the listed sockets (0 to 3) keep a target.
    void populate(const std::vector<int>& sockets);

    // The run's exchanges, one line per step: the pauses before it in ms, its tag and wait, the
    // frame sent and the board's reply ("-" for none), as the board logged them.
    std::string exchangeLog() const;
    std::vector<std::string> notes() const;
    // The message boxes and page messages of the run, in that order.
    std::vector<std::string> messages() const;
    // Their icons, in the same order.
    std::vector<platform::MsgIcon> messageIcons() const;
    // Frames the board received, by their first two bytes (after the wake-up bytes).
    int framesOf(uint8_t lead, uint8_t cmd) const;
    // Until the board has taken every frame written so far, for steps driven by hand: one that
    // nothing answers may still be on its way.
    void awaitBoard() const;
    // The board received only the four switches off and the socket power off, and answered them.
    bool onlySwitchedOff() const;
    // Stores a number under a setting name in the settings store.
    void store(const std::string& name, uint32_t value);
    // Removes the value of that name from the settings store, as a hand editing the file would.
    void unstore(const std::string& name);
    // Stores sixteen key bytes of their own (C0 to CF) as "Key Bytes"; returns them.
    std::array<uint8_t, 16> storeKeyBytes();

    // The link's clock on the board's time; none on the real clock.
    BoardClock* clock() { return clock_ ? &*clock_ : nullptr; }

    SimulatedBurn bench;  // adapter, services, recording page, folders
    // Hears every note of the run as it happens, on the worker's thread.
    std::function<void(const std::string&)> onNote;
    sim::GangBoard board;

private:
    std::optional<BoardClock> clock_;
    mutable std::mutex lock_;
    std::vector<std::string> notes_;
};

// For onNote: does what when the nth note equal to step is heard.
std::function<void(const std::string&)> At(std::string step, int n, std::function<void()> what);
// For onNote: Cancel as the nth note equal to step is heard.
std::function<void(const std::string&)> StopAt(std::string step, int n);
// For onNote: the board leaves unanswered the first high-byte frame (of either command set) sent
// once the INI file's "Serial No" stands at serial: an option block's, just after its number.
std::function<void(const std::string&)> DropHiByteOnceSerialNoIs(SimulatedGang& gang, uint32_t serial);
// The socket's target holds these bytes from offset at.
bool Holds(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& bytes, size_t at = 0);

