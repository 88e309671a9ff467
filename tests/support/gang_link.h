#pragma once
// The real COM port of the program on the simulated gang board: the board serves a
// pseudo-terminal, the port settings point COM port 1 at it, the port is open, and the link runs
// on the board's simulated time.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "sim/gang_board.h"
#include "support/board_clock.h"
#include "support/recording_services.h"
#include "support/temp_config_folder.h"

// Records what the port tells its owner.
class RecordingOwner final : public SerialPortOwner {
public:
    void serialByteReceived(uint8_t byte, unsigned) override { locked([&] { bytes_.push_back(byte); }); }
    void serialFailed(const std::string& report) override { locked([&] { failures_.push_back(report); }); }
    void serialLineEvent(ComLineEvent event, unsigned) override { locked([&] { lineEvents_.push_back(event); }); }
    std::vector<uint8_t> bytes() const { return locked([&] { return bytes_; }); }
    std::vector<ComLineEvent> lineEvents() const { return locked([&] { return lineEvents_; }); }
    std::vector<std::string> failures() const { return locked([&] { return failures_; }); }
    void clear() {
        locked([&] {
            bytes_.clear();
            failures_.clear();
            lineEvents_.clear();
        });
    }

private:
    template <class F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard lock(lock_);
        return f();
    }

    mutable std::mutex lock_;
    std::vector<uint8_t> bytes_;
    std::vector<std::string> failures_;
    std::vector<ComLineEvent> lineEvents_;
};

class GangLinkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Powers the board, closes switch A only and starts ISP mode in socket A's target.
    void EnterIspOnSocketA();
    // All bytes the board received since its log was last cleared, waiting up to 2 s for
    // at least `count` of them.
    std::vector<uint8_t> HostBytes(size_t count);

    TempConfigFolder config;  // the port settings load from a fresh store
    sim::GangBoard board;
    BoardClock clock{board};
    RecordingOwner owner;
    RecordingServices messages;
};

// One COM step: note the tag, queue the frame, wait; true when answered in time.
bool Step(uint8_t tag, const std::function<bool()>& send, uint32_t waitMs = 500);
