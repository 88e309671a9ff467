#pragma once
// The simulated adapter's inside, shared by the Adapter object, its Site views and the open
// handles, so a handle that outlives its adapter fails instead of touching freed memory.
#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/hid_adapter.h"

namespace sim {

struct TargetState {
    bool present = true;
    uint32_t id = 0;
    bool powered = false;
    bool connected = false;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> info;
    std::map<uint32_t, uint32_t> registers;       // by word address
    std::map<uint32_t, uint32_t> debugRegisters;  // by register number
    std::map<uint32_t, std::pair<uint8_t, uint8_t>> stuckBits;  // byte address: mask, value
    // The flash controller: how far each key sequence has come, what is unlocked, and the
    // information-area writes waiting for the write enable (byte address: value).
    int ctrlKeys = 0, optionKeys = 0;
    bool ctrlUnlocked = false, optionUnlocked = false;
    std::map<uint32_t, uint8_t> pendingInfo;
};

struct AdapterState {
    mutable std::mutex mutex;

    std::array<TargetState, Adapter::kSites> targets;
    int selected = 0;
    std::string version = "V010";
    std::string subVersion = "20240115";
    std::vector<uint8_t> pageBuffer;

    std::vector<uint8_t> serialFlash;  // empty while erased: most runs never touch it
    std::vector<uint8_t> sfPageBuffer;
    std::chrono::milliseconds eraseTime{0};
    bool eraseEndless = false;
    bool eraseStarted = false;
    std::chrono::steady_clock::time_point eraseStart;
    uint64_t pausedMs = 0;        // all the host's pauses a test clock noted
    uint64_t erasePausedAt = 0;   // pausedMs when the erase started

    std::vector<uint8_t> answer;  // what the next get returns, bytes from 1 on
    std::set<int> failSets;
    std::set<int> failGets;
    std::set<int> shortGets;
    uint8_t unreachedByte = 0xFF;
    bool unplugged = false;
    bool gone = false;  // the Adapter object no longer exists
    uint16_t featureLength = Adapter::kDefaultFeatureLength;
    bool descriptorFails = false;
    uint16_t vendorId = 0x040B;
    uint16_t productId = 0x917F;
    std::chrono::microseconds latency{0};

    std::vector<Exchange> log;
    uint32_t pendingPause = 0;
    bool refused = false;  // set by execute for the exchange being logged
    bool logging = true;
    int sets = 0;
    int gets = 0;
    int openHandles = 0;

    AdapterState();
    // The device side of one exchange; the caller holds the mutex.
    bool set(std::span<const uint8_t> report);
    int get(std::span<uint8_t> report);  // bytes answered, or -1
    bool serialFlashBusy() const;
    void startSerialFlashErase();
    std::vector<uint8_t>& serialFlashBytes();  // the serial flash, made on first use

    uint8_t readByte(const TargetState& target, uint32_t address) const;
    void pokeByte(TargetState& target, uint32_t address, uint8_t value);  // sets the byte exactly

private:
    void execute(std::span<const uint8_t> report);
    TargetState* reachableTarget();
    void record(Exchange exchange);
    void programByte(TargetState& target, uint32_t address, uint8_t value);  // clears bits only
    void writeWord(TargetState& target, uint32_t address, uint32_t value);
    void writeKey(TargetState& target, uint32_t keyRegister, uint32_t value);
    bool infoUnlocked(const TargetState& target, uint32_t address) const;
    void powerOff(TargetState& target);
    void answerBytes(std::span<const uint8_t> bytes);
};

}  // namespace sim
