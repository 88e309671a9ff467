#pragma once
// The gang board's own serial flash, a 2 MB serial-NOR part that the board drives for the
// host through its frames F0 20 to F0 25:
//   F0 20 00 00 00 FF        wakes the flash; answered with status 0
//   F0 21 00 00 00 FF        answers the three id bytes
//   F0 22 i i i FF           instruction i: 06 write enable, 04 write disable, C7 chip erase
//   F0 23 01 v FF FF         writes the status register (the board enables the write itself)
//   F0 24 n 03 a a a FF      answers the n bytes from address a (24 bits, high first)
//   F0 25 n 02 a a a d.. FF  programs n bytes at a: each byte ANDed into the flash
// A chip erase or a program needs the write-enable latch, which each of them clears again;
// block-protect bits in the status register refuse both. A program that runs past the end of
// its 256-byte page goes on at the page's start, as the part's address counter wraps. With the
// status register's protect bit (0x80) set while the board holds the write-protect line low, a
// status write is refused. What the flash refuses is answered with status 1 and leaves the
// flash as it was. A chip erase sets every byte to FF at once; the board answers the frames
// after it only when the erase time has passed.
#include <array>
#include <cstddef>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace sim {

class BoardSerialFlash {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr uint32_t kSize = 0x200000;
    static constexpr uint32_t kPageSize = 256;
    static constexpr std::array<uint8_t, 3> kId = {0x5E, 0x40, 0x15};

    struct Answer {
        uint8_t status = 0;
        std::vector<uint8_t> data;
        Clock::time_point notBefore{};  // the board holds the answer until then
    };

    BoardSerialFlash();

    // One board frame F0 20 to F0 25 as the board received it at now.
    Answer take(std::span<const uint8_t> frame, Clock::time_point now);

    std::vector<uint8_t> read(uint32_t address, size_t count) const;
    // Puts bytes into the flash as a part that was programmed earlier holds them.
    void write(uint32_t address, std::span<const uint8_t> bytes);
    void setEraseTime(std::chrono::milliseconds time);
    void setStatus(uint8_t status);
    // The board holds the flash's write-protect line low (true) or leaves it high.
    void holdWriteProtect(bool low);
    // A fault: read replies carry at most this many bytes.
    void cutReadsTo(size_t bytes);

private:
    static constexpr uint8_t kBlockProtect = 0x1C;
    static constexpr uint8_t kStatusProtect = 0x80;

    Answer program(uint8_t instr, uint32_t address, std::span<const uint8_t> data);
    Answer instruction(uint8_t instr, Clock::time_point now);

    mutable std::mutex lock_;
    std::vector<uint8_t> bytes_;
    bool writeEnable_ = false;
    uint8_t status_ = 0;
    bool writeProtectLow_ = false;
    std::chrono::milliseconds eraseTime_{0};
    Clock::time_point busyUntil_{};
    size_t readLimit_ = SIZE_MAX;
};

}  // namespace sim
