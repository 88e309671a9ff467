#pragma once
// A burn bench for tests: a simulated adapter opened as the program's adapter, recording
// desktop services, settings and files in a temporary folder, the shared globals at known
// values, and image files to burn. Tests that drive the workers directly and tests that press
// Burn on the real page both start from it.
#include <QTemporaryDir>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording_page.h"
#include "recording_services.h"
#include "sim/hid_adapter.h"

struct Counters {
    uint32_t total = 0, pass = 0, fail = 0;
    bool operator==(const Counters&) const = default;
};

class SimulatedBurn {
public:
    // Every site holds a target; the workers' pauses are not slept but noted in the adapter's log.
    SimulatedBurn();
    ~SimulatedBurn();

    // Writes an image file into the temporary folder and returns its path.
    std::string writeImage(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin");
    // Only the listed sites (0 to 3) keep a target.
    void populate(const std::vector<int>& sites);
    // Puts the image into a target's main flash, as a finished part holds it.
    void preload(int site, const std::vector<uint8_t>& image) { adapter.site(site).write(0x10000000, image); }

    // Runs a worker, as its starter would, on an image file holding these bytes; the busy flag
    // must be clear afterwards.
    void run(void (*worker)(WorkerPage&), const std::vector<uint8_t>& image);

    // The counters and "Last SN" as a copy of the program finds them at start-up: stored, and
    // loaded into memory.
    void startWithCounters(const Counters& counters);
    void startWithLastSerial(uint32_t serial);
    // Serial numbers on, at this location (0 main flash, 1 information area) and address, the
    // next one to issue stored and loaded.
    void numberSerials(uint32_t location, uint32_t address, uint32_t next, uint32_t autoInc = 1);
    // Parameter data on, from a file of these lines in the program's Data folder.
    void useParameterFile(const std::string& name, const std::string& lines);

    Counters counters() const;        // g_nTotalCount, g_nPassCount, g_nFailCount
    Counters storedCounters() const;  // as the settings store holds them

    sim::Adapter adapter;
    RecordingServices services;
    RecordingPage page;
    QTemporaryDir folder;
};

// Bytes 0, 1, 2, ... (mod 251, so pages differ from each other).
std::vector<uint8_t> PatternImage(size_t size);
// The first argument of a set report (its bytes 4 to 7).
uint32_t ArgumentOf(const std::vector<uint8_t>& report);
// How many sets of the command, with an argument in [from, to), reached the adapter.
size_t CountSets(const sim::Adapter& adapter, uint8_t command, uint32_t from = 0, uint32_t to = UINT32_MAX);
// The index (from 1, counting only exchanges of that kind) of the first set of the command
// (with the given argument, if any), or of the get that answers it; 0 when there is none.
int FirstExchangeOf(const sim::Adapter& adapter, sim::Exchange::Kind kind, uint8_t command,
                    std::optional<uint32_t> argument = {});
// The faults of the step that brings a site up, the first time a run addresses it: the select
// refused, the power-on refused, the connect's transfer failed, the connect's reply dropped.
enum class ReachFault { Select, PowerOn, ConnectTransfer, ConnectReply };
// Sets that fault up in bench at the exchange where the same run without faults (its exchange
// log clean) met it.
void FailReach(sim::Adapter& bench, const std::vector<sim::Exchange>& clean, int site, ReachFault fault);
