#include "sim/gang_serial_flash.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kRefused = 1;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kWriteDisable = 0x04;
constexpr uint8_t kChipErase = 0xC7;
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kReadData = 0x03;
constexpr uint8_t kPageProgram = 0x02;

uint32_t AddressAt(std::span<const uint8_t> frame, size_t at) {
    return uint32_t{frame[at]} << 16 | uint32_t{frame[at + 1]} << 8 | frame[at + 2];
}

}  // namespace

BoardSerialFlash::BoardSerialFlash() : bytes_(kSize, 0xFF) {}

BoardSerialFlash::Answer BoardSerialFlash::take(std::span<const uint8_t> frame, Clock::time_point now) {
    std::lock_guard lock(lock_);
    Answer answer;
    const Clock::time_point heldUntil = busyUntil_;
    switch (frame[1]) {
        case 0x20:
            break;
        case 0x21:
            answer.data.assign(kId.begin(), kId.end());
            break;
        case 0x22:
            answer = instruction(frame[2], now);
            break;
        case 0x23:
            if (frame[2] == kWriteStatus && !(writeProtectLow_ && (status_ & kStatusProtect))) status_ = frame[3];
            else answer.status = kRefused;
            break;
        case 0x24:
            if (frame[3] != kReadData) {
                answer.status = kRefused;
                break;
            }
            // The part ignores the address bits above its size.
            for (uint32_t i = 0, a = AddressAt(frame, 4); i < std::min<size_t>(frame[2], readLimit_); ++i)
                answer.data.push_back(bytes_[(a + i) % kSize]);
            break;
        case 0x25:
            answer = program(frame[3], AddressAt(frame, 4), frame.subspan(7, frame[2]));
            break;
        default:
            answer.status = kRefused;
    }
    answer.notBefore = heldUntil;
    return answer;
}

BoardSerialFlash::Answer BoardSerialFlash::instruction(uint8_t instr, Clock::time_point now) {
    switch (instr) {
        case kWriteEnable:
            writeEnable_ = true;
            return {};
        case kWriteDisable:
            writeEnable_ = false;
            return {};
        case kChipErase:
            if (!writeEnable_ || (status_ & kBlockProtect)) return {kRefused, {}, {}};
            writeEnable_ = false;
            std::fill(bytes_.begin(), bytes_.end(), 0xFF);
            busyUntil_ = std::max(now, busyUntil_) + eraseTime_;
            return {};
        default:
            return {kRefused, {}, {}};
    }
}

BoardSerialFlash::Answer BoardSerialFlash::program(uint8_t instr, uint32_t address, std::span<const uint8_t> data) {
    if (instr != kPageProgram || !writeEnable_ || address >= kSize || (status_ & kBlockProtect)) return {kRefused, {}, {}};
    writeEnable_ = false;
    const uint32_t page = address - address % kPageSize;
    for (size_t i = 0; i < data.size(); ++i) bytes_[page + (address + i) % kPageSize] &= data[i];
    return {};
}

std::vector<uint8_t> BoardSerialFlash::read(uint32_t address, size_t count) const {
    std::lock_guard lock(lock_);
    const size_t from = std::min<size_t>(address, kSize);
    const size_t to = std::min<size_t>(from + count, kSize);
    return {bytes_.begin() + static_cast<ptrdiff_t>(from), bytes_.begin() + static_cast<ptrdiff_t>(to)};
}

void BoardSerialFlash::write(uint32_t address, std::span<const uint8_t> bytes) {
    std::lock_guard lock(lock_);
    for (size_t i = 0; i < bytes.size() && address + i < kSize; ++i) bytes_[address + i] = bytes[i];
}

void BoardSerialFlash::setEraseTime(std::chrono::milliseconds time) {
    std::lock_guard lock(lock_);
    eraseTime_ = time;
}

void BoardSerialFlash::setStatus(uint8_t status) {
    std::lock_guard lock(lock_);
    status_ = status;
}

void BoardSerialFlash::holdWriteProtect(bool low) {
    std::lock_guard lock(lock_);
    writeProtectLow_ = low;
}

void BoardSerialFlash::cutReadsTo(size_t bytes) {
    std::lock_guard lock(lock_);
    readLimit_ = bytes;
}

}  // namespace sim
