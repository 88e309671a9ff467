#include "sim/hid_adapter.h"

#include <algorithm>
#include <utility>

#include "sim/adapter_state.h"

namespace sim {

namespace {

constexpr uint32_t kFlashBase = 0x10000000;
constexpr uint32_t kFlashPage = 2048;
constexpr uint32_t kInfoBase = 0x1FF00000;
constexpr uint32_t kInfoSize = 0x800;
constexpr uint32_t kInfoPage = 0x400;
constexpr uint32_t kCtrlReg = 0x40080004;
constexpr uint32_t kKeyReg = 0x4008000C;
constexpr uint32_t kOptionKeyReg = 0x40080014;
constexpr uint32_t kCtrlKeys[2] = {0x5A3C7E19, 0x1D2E4F60};
constexpr uint32_t kOptionKeys[2] = {0x7C6B5A49, 0x3E2D1C0B};
constexpr uint32_t kWriteEnableBits = 0x7;
constexpr uint32_t kPageBufferSize = 2048;
constexpr uint32_t kSfPageSize = 256;
constexpr uint32_t kSfPages = Adapter::kSerialFlashSize / kSfPageSize;
constexpr std::size_t kAnswerSize = 0x100;
constexpr std::size_t kReportBytes = 80;
constexpr uint32_t kEveryByte = 0x01010101;  // times a byte: a word of four of it

bool inFlash(uint32_t address) { return address - kFlashBase < Adapter::kFlashSize; }
bool inInfo(uint32_t address) { return address - kInfoBase < kInfoSize; }
bool isKeyRegister(uint32_t word) { return word == kKeyReg || word == kOptionKeyReg; }
// Commands that reach into the target's memory, and so need a connected target.
bool isMemoryAccess(uint8_t command) {
    return (command >= 0x04 && command <= 0x07) || command == 0x0B || (command >= 0x26 && command <= 0x28) ||
           command == 0x2B;
}

// How far a key sequence has come after one more word: 2 when it is complete, 0 when broken.
int keyStep(int step, uint32_t value, const uint32_t (&keys)[2]) {
    if (step == 1 && value == keys[1]) return 2;
    return value == keys[0] ? 1 : 0;
}

uint32_t wordAt(std::span<const uint8_t> bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

std::vector<uint8_t> wordBytes(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

std::vector<uint8_t> textBytes(const std::string& text, std::size_t count) {
    std::vector<uint8_t> bytes(count, 0);
    std::copy_n(text.begin(), std::min(count, text.size()), bytes.begin());
    return bytes;
}

// Bytes past the buffer's end are dropped.
void putInto(std::vector<uint8_t>& buffer, uint32_t offset, std::span<const uint8_t> data) {
    if (offset >= buffer.size()) return;
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), buffer.size() - offset), buffer.begin() + offset);
}

}  // namespace

AdapterState::AdapterState()
    : pageBuffer(kPageBufferSize, 0xFF),
      sfPageBuffer(kSfPageSize, 0xFF),
      answer(kAnswerSize, 0) {
    for (int i = 0; i < Adapter::kSites; ++i) {
        targets[i].id = 0x4D470001 + i;
        targets[i].flash.assign(Adapter::kFlashSize, 0xFF);
        targets[i].info.assign(kInfoSize, 0xFF);
    }
}

// The erase time passes on the real clock, or on the test clock's noted pauses, whichever is
// first: with a test clock an erase lasts as long as the host's pauses say.
bool AdapterState::serialFlashBusy() const {
    if (!eraseStarted) return false;
    return eraseEndless || (std::chrono::steady_clock::now() - eraseStart < eraseTime &&
                            std::chrono::milliseconds(pausedMs - erasePausedAt) < eraseTime);
}

void AdapterState::startSerialFlashErase() {
    serialFlash.clear();  // erased
    eraseStarted = true;
    eraseStart = std::chrono::steady_clock::now();
    erasePausedAt = pausedMs;
}

std::vector<uint8_t>& AdapterState::serialFlashBytes() {
    if (serialFlash.empty()) serialFlash.assign(Adapter::kSerialFlashSize, 0xFF);
    return serialFlash;
}

uint8_t AdapterState::readByte(const TargetState& target, uint32_t address) const {
    uint8_t value;
    if (inFlash(address)) {
        value = target.flash[address - kFlashBase];
    } else if (inInfo(address)) {
        value = target.info[address - kInfoBase];
    } else {
        const uint32_t word = address & ~3u;
        const auto found = target.registers.find(word);
        const uint32_t content = isKeyRegister(word) || found == target.registers.end() ? 0 : found->second;
        value = uint8_t(content >> (8 * (address & 3)));
    }
    if (target.stuckBits.empty()) return value;
    if (const auto stuck = target.stuckBits.find(address); stuck != target.stuckBits.end())
        value = uint8_t((value & ~stuck->second.first) | (stuck->second.second & stuck->second.first));
    return value;
}

void AdapterState::pokeByte(TargetState& target, uint32_t address, uint8_t value) {
    if (inFlash(address)) {
        target.flash[address - kFlashBase] = value;
    } else if (inInfo(address)) {
        target.info[address - kInfoBase] = value;
    } else {
        uint32_t& word = target.registers[address & ~3u];
        const unsigned shift = 8 * (address & 3);
        word = (word & ~(0xFFu << shift)) | (uint32_t(value) << shift);
    }
}

void AdapterState::programByte(TargetState& target, uint32_t address, uint8_t value) {
    if (inFlash(address)) target.flash[address - kFlashBase] &= value;
    else if (inInfo(address)) target.info[address - kInfoBase] &= value;
}

bool AdapterState::infoUnlocked(const TargetState& target, uint32_t address) const {
    const bool optionPage = address - kInfoBase < kInfoPage;
    return target.ctrlUnlocked && (target.optionUnlocked || !optionPage);
}

void AdapterState::writeKey(TargetState& target, uint32_t keyRegister, uint32_t value) {
    if (keyRegister == kKeyReg) {
        target.ctrlKeys = keyStep(target.ctrlKeys, value, kCtrlKeys);
        target.ctrlUnlocked = target.ctrlKeys == 2 || (target.ctrlUnlocked && target.ctrlKeys == 1);
        if (target.ctrlKeys == 0) target.optionUnlocked = false;
    } else {
        target.optionKeys = keyStep(target.optionKeys, value, kOptionKeys);
        target.optionUnlocked = target.ctrlUnlocked && (target.optionKeys == 2 || (target.optionUnlocked && target.optionKeys == 1));
    }
}

void AdapterState::writeWord(TargetState& target, uint32_t address, uint32_t value) {
    if (inFlash(address)) {
        for (uint32_t i = 0; i < 4; ++i) programByte(target, address + i, uint8_t(value >> (8 * i)));
        return;
    }
    if (inInfo(address)) {
        if (!infoUnlocked(target, address)) {
            refused = true;
            return;
        }
        for (uint32_t i = 0; i < 4; ++i) target.pendingInfo[address + i] = uint8_t(value >> (8 * i));
        return;
    }
    const uint32_t word = address & ~3u;
    if (isKeyRegister(word)) {
        writeKey(target, word, value);
        return;
    }
    target.registers[word] = value;
    if (word == kCtrlReg && (value & kWriteEnableBits) == kWriteEnableBits) {
        for (const auto& [byteAddress, byte] : target.pendingInfo) programByte(target, byteAddress, byte);
        target.pendingInfo.clear();
    }
}

void AdapterState::powerOff(TargetState& target) {
    target.powered = false;
    target.connected = false;
    target.ctrlKeys = target.optionKeys = 0;
    target.ctrlUnlocked = target.optionUnlocked = false;
    target.pendingInfo.clear();
}

TargetState* AdapterState::reachableTarget() {
    TargetState& target = targets[selected];
    return target.present && target.powered ? &target : nullptr;
}

void AdapterState::answerBytes(std::span<const uint8_t> bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), answer.size()), answer.begin());
}

void AdapterState::record(Exchange exchange) {
    exchange.pauseMs = std::exchange(pendingPause, 0);
    if (logging) log.push_back(std::move(exchange));
}

bool AdapterState::set(std::span<const uint8_t> report) {
    ++sets;
    const bool ok = !gone && !unplugged && !failSets.contains(sets) && report.size() == featureLength;
    refused = false;
    if (ok) execute(report);
    record({Exchange::Kind::Set, {report.begin(), report.end()}, ok, refused});
    return ok;
}

int AdapterState::get(std::span<uint8_t> report) {
    ++gets;
    const bool ok = !gone && !unplugged && !failGets.contains(gets) && report.size() == featureLength;
    const std::size_t length = !ok ? 0 : shortGets.contains(gets) ? report.size() / 2 : report.size();
    if (length > 0) {
        report[0] = 0;
        std::copy_n(answer.begin(), length - 1, report.begin() + 1);
    }
    record({Exchange::Kind::Get, std::vector<uint8_t>(report.begin(), report.begin() + length), ok});
    return ok ? int(length) : -1;
}

void AdapterState::execute(std::span<const uint8_t> sent) {
    std::array<uint8_t, kReportBytes> r{};
    std::copy_n(sent.begin(), std::min(sent.size(), r.size()), r.begin());
    const uint8_t command = r[3];
    const uint32_t argument = wordAt(r, 4);
    const uint32_t value = wordAt(r, 8);
    const std::span<const uint8_t> data = std::span(r).subspan(8, 32);
    std::fill(answer.begin(), answer.end(), 0);
    TargetState* target = reachableTarget();
    if (isMemoryAccess(command) && !(target && target->connected)) {
        refused = true;
        target = nullptr;
    }

    switch (command) {
    case 0x3A:
        if (argument < uint32_t(Adapter::kSites)) selected = int(argument);
        break;
    case 0x39: {
        TargetState& site = targets[selected];
        if (argument == 1) site.powered = true;
        else powerOff(site);
        break;
    }
    case 0x00:
    case 0x3D:
        if (target) target->connected = true;
        answerBytes(wordBytes(target ? target->id : kEveryByte * unreachedByte));
        break;
    case 0x04:
        if (target) target->debugRegisters[argument] = value;
        break;
    case 0x05:
        if (target) answerBytes(wordBytes(target->debugRegisters[argument]));
        else answerBytes(wordBytes(kEveryByte * unreachedByte));
        break;
    case 0x06:
        if (target) writeWord(*target, argument, value);
        break;
    case 0x07:
    case 0x0B: {
        std::vector<uint8_t> bytes(command == 0x07 ? 4 : 32, unreachedByte);
        if (target)
            for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = readByte(*target, uint32_t(argument + i));
        answerBytes(bytes);
        break;
    }
    case 0x0E: answerBytes(textBytes(version, 4)); break;
    case 0x0F: answerBytes(textBytes(subVersion, 8)); break;
    case 0x27:
        if (target) target->ctrlUnlocked = true;
        if (target) std::fill(target->flash.begin(), target->flash.end(), 0xFF);
        break;
    case 0x28:
        if (target && inInfo(argument) && !infoUnlocked(*target, argument)) {
            refused = true;
        } else if (target && inInfo(argument)) {
            const uint32_t page = (argument - kInfoBase) / kInfoPage * kInfoPage;
            std::fill_n(target->info.begin() + page, kInfoPage, 0xFF);
        } else if (target && inFlash(argument)) {
            const uint32_t page = (argument - kFlashBase) / kFlashPage * kFlashPage;
            std::fill_n(target->flash.begin() + page, kFlashPage, 0xFF);
        }
        break;
    case 0x29:
        putInto(pageBuffer, argument, data);
        break;
    case 0x2B:
        if (target)
            for (uint32_t i = 0; i < kPageBufferSize; ++i) programByte(*target, argument + i, pageBuffer[i]);
        break;
    case 0x31:
        if (!serialFlashBusy()) startSerialFlashErase();
        break;
    case 0x32:
        if (!serialFlashBusy() && argument < kSfPages)
            std::copy_n(serialFlashBytes().begin() + argument * kSfPageSize, kSfPageSize, sfPageBuffer.begin());
        break;
    case 0x33:
        putInto(sfPageBuffer, argument, data);
        break;
    case 0x34:
        if (!serialFlashBusy() && argument < kSfPages)
            for (uint32_t i = 0; i < kSfPageSize; ++i) serialFlashBytes()[argument * kSfPageSize + i] &= sfPageBuffer[i];
        break;
    case 0x35: {
        std::vector<uint8_t> bytes(16, 0xFF);
        if (argument < kSfPageSize)
            std::copy_n(sfPageBuffer.begin() + argument, std::min<std::size_t>(16, kSfPageSize - argument), bytes.begin());
        answerBytes(bytes);
        break;
    }
    case 0x37: answerBytes(std::vector<uint8_t>{uint8_t(serialFlashBusy() ? 0 : 1)}); break;
    default: break;  // 0x03, 0x22 and the erase base 0x26 change nothing; unknown commands are ignored
    }
}

// Site

void Site::removeTarget() {
    std::lock_guard lock(state_->mutex);
    state_->targets[index_].present = false;
    state_->targets[index_].connected = false;
}

void Site::insertTarget() {
    std::lock_guard lock(state_->mutex);
    state_->targets[index_].present = true;
}

void Site::setTargetId(uint32_t id) {
    std::lock_guard lock(state_->mutex);
    state_->targets[index_].id = id;
}

uint32_t Site::targetId() const {
    std::lock_guard lock(state_->mutex);
    return state_->targets[index_].id;
}

bool Site::targetPresent() const {
    std::lock_guard lock(state_->mutex);
    return state_->targets[index_].present;
}

bool Site::powered() const {
    std::lock_guard lock(state_->mutex);
    return state_->targets[index_].powered;
}

bool Site::connected() const {
    std::lock_guard lock(state_->mutex);
    return state_->targets[index_].connected;
}

std::vector<uint8_t> Site::read(uint32_t address, std::size_t count) const {
    std::lock_guard lock(state_->mutex);
    const TargetState& target = state_->targets[index_];
    // Tests read whole flash images: a range of plain flash is copied at once.
    if (count > 0 && target.stuckBits.empty() && inFlash(address) && inFlash(uint32_t(address + count - 1))) {
        const auto from = target.flash.begin() + (address - kFlashBase);
        return std::vector<uint8_t>(from, from + static_cast<std::ptrdiff_t>(count));
    }
    std::vector<uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = state_->readByte(target, uint32_t(address + i));
    return bytes;
}

uint32_t Site::word(uint32_t address) const { return wordAt(read(address, 4), 0); }

void Site::write(uint32_t address, std::span<const uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    for (std::size_t i = 0; i < bytes.size(); ++i) state_->pokeByte(state_->targets[index_], uint32_t(address + i), bytes[i]);
}

void Site::stickBits(uint32_t address, uint8_t mask, uint8_t value) {
    std::lock_guard lock(state_->mutex);
    state_->targets[index_].stuckBits[address] = {mask, value};
}

uint32_t Site::debugRegister(uint32_t number) const {
    std::lock_guard lock(state_->mutex);
    const auto& registers = state_->targets[index_].debugRegisters;
    const auto found = registers.find(number);
    return found == registers.end() ? 0 : found->second;
}

// Adapter

Adapter::Adapter() : state_(std::make_shared<AdapterState>()) {}

Adapter::~Adapter() {
    std::lock_guard lock(state_->mutex);
    state_->gone = true;
}

Site Adapter::site(int index) { return Site(state_, std::clamp(index, 0, kSites - 1)); }

int Adapter::selectedSite() const {
    std::lock_guard lock(state_->mutex);
    return state_->selected;
}

void Adapter::setFirmwareVersion(std::string_view text) {
    std::lock_guard lock(state_->mutex);
    state_->version = text;
}

void Adapter::setFirmwareSubVersion(std::string_view text) {
    std::lock_guard lock(state_->mutex);
    state_->subVersion = text;
}

std::vector<uint8_t> Adapter::pageBuffer() const {
    std::lock_guard lock(state_->mutex);
    return state_->pageBuffer;
}

std::vector<uint8_t> Adapter::serialFlash(uint32_t offset, std::size_t count) const {
    std::lock_guard lock(state_->mutex);
    std::vector<uint8_t> bytes(count, 0xFF);
    const std::vector<uint8_t>& flash = state_->serialFlash;
    for (std::size_t i = 0; i < count && offset + i < flash.size(); ++i) bytes[i] = flash[offset + i];
    return bytes;
}

void Adapter::writeSerialFlash(uint32_t offset, std::span<const uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    std::vector<uint8_t>& flash = state_->serialFlashBytes();
    for (std::size_t i = 0; i < bytes.size() && offset + i < kSerialFlashSize; ++i) flash[offset + i] = bytes[i];
}

void Adapter::setSerialFlashEraseTime(std::chrono::milliseconds duration) {
    std::lock_guard lock(state_->mutex);
    state_->eraseTime = duration;
    state_->eraseEndless = false;
}

void Adapter::makeSerialFlashEraseEndless() {
    std::lock_guard lock(state_->mutex);
    state_->eraseEndless = true;
}

bool Adapter::serialFlashBusy() const {
    std::lock_guard lock(state_->mutex);
    return state_->serialFlashBusy();
}

void Adapter::startSerialFlashErase() {
    std::lock_guard lock(state_->mutex);
    state_->startSerialFlashErase();
}

void Adapter::failSetAt(int n) {
    std::lock_guard lock(state_->mutex);
    state_->failSets.insert(n);
}

void Adapter::failGetAt(int n) {
    std::lock_guard lock(state_->mutex);
    state_->failGets.insert(n);
}

void Adapter::shortenGetAt(int n) {
    std::lock_guard lock(state_->mutex);
    state_->shortGets.insert(n);
}

void Adapter::answerUnreachedWith(uint8_t byte) {
    std::lock_guard lock(state_->mutex);
    state_->unreachedByte = byte;
}

void Adapter::notePause(uint32_t ms) {
    std::lock_guard lock(state_->mutex);
    state_->pendingPause += ms;
    state_->pausedMs += ms;
}

uint32_t Adapter::pauseSinceLastExchange() const {
    std::lock_guard lock(state_->mutex);
    return state_->pendingPause;
}

void Adapter::unplug() {
    std::lock_guard lock(state_->mutex);
    state_->unplugged = true;
}

void Adapter::setFeatureReportLength(uint16_t length) {
    std::lock_guard lock(state_->mutex);
    state_->featureLength = length;
}

void Adapter::failReportDescriptor() {
    std::lock_guard lock(state_->mutex);
    state_->descriptorFails = true;
}

void Adapter::setUsbIds(uint16_t vendorId, uint16_t productId) {
    std::lock_guard lock(state_->mutex);
    state_->vendorId = vendorId;
    state_->productId = productId;
}

void Adapter::setTransferLatency(std::chrono::microseconds latency) {
    std::lock_guard lock(state_->mutex);
    state_->latency = latency;
}

std::vector<Exchange> Adapter::exchanges() const {
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

std::vector<std::vector<uint8_t>> Adapter::sentReports() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::vector<uint8_t>> reports;
    for (const Exchange& exchange : state_->log)
        if (exchange.kind == Exchange::Kind::Set && exchange.ok) reports.push_back(exchange.report);
    return reports;
}

std::vector<uint8_t> Adapter::sentCommands() const {
    std::vector<uint8_t> commands;
    for (const auto& report : sentReports()) commands.push_back(report.size() > 3 ? report[3] : 0);
    return commands;
}

void Adapter::clearLog() {
    std::lock_guard lock(state_->mutex);
    state_->log.clear();
}

void Adapter::setLogging(bool on) {
    std::lock_guard lock(state_->mutex);
    state_->logging = on;
}

int Adapter::setCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->sets;
}

int Adapter::getCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->gets;
}

int Adapter::openHandles() const {
    std::lock_guard lock(state_->mutex);
    return state_->openHandles;
}

}  // namespace sim
