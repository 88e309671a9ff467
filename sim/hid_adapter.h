#pragma once
// The simulated programmer adapter: an in-process HID device behind platform::HidBackend, with
// four sites, a target on each, the adapter's page buffer, firmware version texts and serial
// flash, faults that a test names, and a log of every exchange.
//
//     sim::Adapter adapter;
//     sim::installSimulatedAdapter(adapter);
//     adapter.site(2).removeTarget();
//     adapter.failGetAt(37);              // the 37th get-feature exchange fails
//
// How the simulated adapter answers the commands whose meaning lies inside the adapter:
// - 0x3A selects the site the following commands address; 0x39 powers that site on (1) or off
//   (anything else; power-off also drops the connection, locks the flash controller and loses
//   information-area writes not yet committed).
// - 0x00 and 0x3D answer the selected site's target id in bytes 1-4, or 0xFFFFFFFF when no
//   target answers (absent or unpowered). 0x03 and 0x22 change nothing (0x22 answers zeros).
// - Memory access (0x04 to 0x07, 0x0B, the erases 0x26 to 0x28, the commit 0x2B) reaches the
//   target only after a connect answered since its power-on. Before that the adapter refuses
//   it: nothing changes, reads give 0xFF (or the byte answerUnreachedWith set), and the log
//   marks the exchange as refused.
// - The flash controller: the two key words 0x5A3C7E19, 0x1D2E4F60 written in turn to 0x4008000C
//   unlock it; then 0x7C6B5A49, 0x3E2D1C0B to 0x40080014 unlock the options. Any other word
//   written to a key register locks what it guards. The adapter's chip erase 0x27 unlocks the
//   controller (not the options) as it works. Information-area erases and writes
//   are refused unless the controller is unlocked, and for the first 1 KB page (the option
//   words) the options too. Information-area writes wait in the controller until a write to
//   0x40080004 sets bits 0 to 2; only then do they reach the area.
// - Target memory, per site: main flash 0x10000000 to 0x1000FFFF, information area 0x1FF00000
//   to 0x1FF007FF (two 1 KB pages), both erased to 0xFF; programming ANDs the new bits in, so it
//   can only clear bits. The flash-controller registers 0x40080004 (control, reads back what was
//   written), 0x4008000C and 0x40080014 (key registers, read as 0), and any other address as a
//   plain 32-bit register (0 until written). Memory is byte-addressed: a read at address a
//   answers the bytes a, a+1, ... whatever region they lie in.
// - 0x06 writes the word in bytes 8-11 at the address; 0x07 answers the 4 bytes from the
//   address; 0x0B the 32 bytes from the address. 0x04 and 0x05 write and read the debug-port
//   register whose number is in bytes 4-7 (a register file of its own, 0 until written).
// - Erases: 0x26 latches its address as the base of the erases that follow and erases nothing
//   (the erases below name their own regions, so the latch changes nothing); 0x27 erases the
//   whole main flash; 0x28 erases the 1 KB information page holding the address, or, with a
//   main-flash address (the scan engines erase main flash page by page with it), the 2048-byte
//   main-flash page holding it. An address outside both regions erases nothing.
// - 0x29 puts the 32 bytes of bytes 8-39 into the 2048-byte page buffer at the offset (bytes
//   past the buffer's end are dropped); 0x2B programs the whole page buffer at the address
//   (bytes falling outside main flash and the information area are dropped).
// - Serial flash, 2 MB in 256-byte pages, with its own 256-byte page buffer: 0x31 erases it all
//   to 0xFF; the erase takes the set erase time (on the real clock, or on the pauses a test
//   clock noted, whichever passes first), during which the flash is busy and ignores 0x31, 0x32
//   and 0x34. 0x37 answers the status byte: 1 when the serial flash is ready, 0 while an
//   erase runs. 0x32 copies page n into the page buffer, 0x33 loads the buffer like 0x29, 0x34
//   programs the buffer into page n (AND), 0x35 answers 16 bytes of the buffer from the offset.
//   A page beyond the flash reads as 0xFF and programs nothing.
// - 0x0E answers the 4-character version text, 0x0F the 8-character sub-version text.
// - A get answers the query of the set before it; a get after a command that answers nothing
//   returns zeros. A report of another length than the adapter's feature-report length fails.
// - Each logged exchange carries the pause the host made before it, as a test clock reported
//   it through notePause.
// - As the hidraw node's lock holds it, the adapter is held by one open at a time: an open
//   while a handle is open (another copy of the program) is refused as in use.
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Exchange {
    enum class Kind { Set, Get };
    Kind kind = Kind::Set;
    std::vector<uint8_t> report;  // as sent (set) or as answered (get)
    bool ok = true;               // false when the exchange failed
    bool refused = false;         // the adapter would not carry the command out (see above)
    uint32_t pauseMs = 0;         // the host's pause before this exchange
};

class Adapter;
struct AdapterState;

// One site of the adapter and the target on it; a view, cheap to copy.
class Site {
public:
    void removeTarget();
    void insertTarget();
    void setTargetId(uint32_t id);
    uint32_t targetId() const;
    bool targetPresent() const;
    bool powered() const;
    bool connected() const;  // a connect answered since the last power-on

    // Test access to the target's memory, whatever the power: flash, information area and
    // registers as the commands see them (stuck bits included).
    std::vector<uint8_t> read(uint32_t address, std::size_t count) const;
    uint32_t word(uint32_t address) const;
    // Sets the bytes as given (no AND), for preparing a target.
    void write(uint32_t address, std::span<const uint8_t> bytes);
    // The bits of mask at that byte address always read as the same bits of value.
    void stickBits(uint32_t address, uint8_t mask, uint8_t value);
    uint32_t debugRegister(uint32_t number) const;

private:
    friend class Adapter;
    Site(std::shared_ptr<AdapterState> state, int index) : state_(std::move(state)), index_(index) {}
    std::shared_ptr<AdapterState> state_;
    int index_;
};

class Adapter {
public:
    static constexpr int kSites = 4;
    static constexpr uint32_t kFlashSize = 0x10000;
    static constexpr uint32_t kSerialFlashSize = 0x200000;
    static constexpr uint16_t kDefaultFeatureLength = 65;

    // Four sites, each with a powered-off target (ids 0x4D470001 to 0x4D470004), firmware "V010",
    // serial-flash erase without delay, no faults.
    Adapter();
    ~Adapter();  // handles still open on it fail from then on
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    Site site(int index);
    int selectedSite() const;

    void setFirmwareVersion(std::string_view text);     // "V006", "V007", "V010"
    void setFirmwareSubVersion(std::string_view text);  // up to 8 characters
    std::vector<uint8_t> pageBuffer() const;

    std::vector<uint8_t> serialFlash(uint32_t offset, std::size_t count) const;
    void writeSerialFlash(uint32_t offset, std::span<const uint8_t> bytes);
    void setSerialFlashEraseTime(std::chrono::milliseconds duration);
    void makeSerialFlashEraseEndless();
    bool serialFlashBusy() const;
    // An erase under way, as one the host started and never saw finish.
    void startSerialFlashErase();

    // Faults. Exchanges count from 1, sets and gets each on their own, from construction on.
    void failSetAt(int n);
    void failGetAt(int n);
    void shortenGetAt(int n);  // the nth get answers only the first half of the report
    // Every byte the adapter answers for a target it does not reach (a connect's id, a refused
    // read) is this one: 0xFF by default, 0x00 as an adapter whose data line idles low.
    void answerUnreachedWith(uint8_t byte);
    void unplug();  // every exchange fails from now on
    void setFeatureReportLength(uint16_t length);  // what the report descriptor declares
    void failReportDescriptor();                    // the descriptor cannot be read
    void setUsbIds(uint16_t vendorId, uint16_t productId);
    // Time each feature-report transfer takes (a benchmark models 1 ms).
    void setTransferLatency(std::chrono::microseconds latency);

    // A test clock reports a pause of the host; the next logged exchange carries it.
    void notePause(uint32_t ms);
    // The pauses noted since the last logged exchange.
    uint32_t pauseSinceLastExchange() const;

    // The exchange log.
    std::vector<Exchange> exchanges() const;
    std::vector<std::vector<uint8_t>> sentReports() const;  // the sets that reached the adapter
    std::vector<uint8_t> sentCommands() const;              // byte 3 of each of those
    void clearLog();
    void setLogging(bool on);  // on by default; benchmarks switch it off
    int setCount() const;
    int getCount() const;

    // How many handles the program holds open on this adapter.
    int openHandles() const;

    // The shared inside, for the simulated back end.
    std::shared_ptr<AdapterState> state() const { return state_; }

private:
    std::shared_ptr<AdapterState> state_;
};

// Makes the given adapters, in this enumeration order, the program's HID interfaces until
// removeSimulatedAdapters; the adapters must outlive that period or be removed first.
void installSimulatedAdapters(const std::vector<Adapter*>& adapters);
void installSimulatedAdapter(Adapter& adapter);
// Back to the real hidraw back end.
void removeSimulatedAdapters();

// SWD_ISP_SIMULATOR=1 in the environment.
bool simulatorRequested();
// The process-wide adapter that SWD_ISP_SIMULATOR=1 installs: targets on all four sites, a
// serial-flash erase of two seconds.
Adapter& environmentAdapter();

}  // namespace sim
