#include "sfpage/sf_com_workers.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <vector>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/run_clock.h"
#include "platform/strfmt.h"
#include "res/dump_sf_template.h"
#include "res/flash_page_template.h"
#include "sfpage/adapter_image.h"
#include "sfpage/com_config_records.h"
#include "sfpage/flash_isp.h"

uint32_t g_dwSfConfigAddr = 0x10000;

using namespace sfpage;
using engine_com::Timeout;
using engine_com::kTimeoutText;

namespace {

constexpr uint8_t kTagWake = 0, kTagReadId = 1, kTagInstruction = 2, kTagStatus = 3, kTagRead = 4, kTagProgram = 5;
constexpr uint8_t kTagHandshake = 3, kTagStopMcu = 4, kTagHiByte = 5, kTagPageErase = 0x0C, kTagFinish = 0x0D;
constexpr uint32_t kControlWaitMs = 500;
constexpr uint32_t kDataWaitMs = 800;
constexpr uint8_t kWriteEnable = 0x06, kWriteDisable = 0x04, kChipErase = 0xC7;
constexpr uint8_t kWriteStatus = 0x01, kReadData = 0x03, kPageProgram = 0x02;
constexpr uint32_t kEraseMs = 400;
constexpr uint32_t kSettleMs = 500;
constexpr uint32_t kPageEraseMs = 40;
constexpr uint32_t kFlashPage = 256;  // of the target's flash: a page's number is its addresses' high byte
constexpr uint64_t kAddressEnd = 0x1000000;  // addresses are 24 bits
constexpr uint32_t kBlockBufferSize = 64;
constexpr uint32_t kOptionBlockSize = 8;
constexpr uint32_t kRecordOffsets[] = {16, 48, 64};
constexpr const char* kBlockTimeoutText = "ISP_TRANS8DATA!";

// One run's COM steps, on the gang engine's step machinery.
class SfLink {
public:
    explicit SfLink(WorkerPage& page) : run(page) {}

    bool wake() { return run.step({kTagWake, ComSfCmd20, kControlWaitMs, Timeout::Silent}); }
    bool readId() { return run.step({kTagReadId, ComSfReadId, kControlWaitMs, Timeout::Silent}); }
    bool instruction(uint8_t instr) {
        return run.step({kTagInstruction, [instr] { return ComSfCmd22(instr); }, kControlWaitMs, Timeout::Silent});
    }
    bool clearStatus() {
        return run.step({kTagStatus, [] { return ComSfCmd23(kWriteStatus, 0x00); }, kControlWaitMs, Timeout::Silent});
    }
    // The bytes at address; false when the step timed out or its reply carried fewer bytes.
    bool read(uint32_t address, std::span<uint8_t> out) {
        g_pBlockBuf.takeStoredCount();
        const auto count = static_cast<uint8_t>(out.size());
        if (!run.step({kTagRead, [=] { return ComSfRead(kReadData, address, count); }, kDataWaitMs, Timeout::Silent}))
            return false;
        if (g_pBlockBuf.takeStoredCount() < out.size()) return false;
        std::copy_n(g_pBlockBuf.data(), out.size(), out.begin());
        return true;
    }
    // One program frame; the write must have been enabled. The program run reads back only its
    // option block, and no run reads back the key or the records: a frame the flash refuses ends
    // the run.
    bool programFrame(uint32_t address, std::span<const uint8_t> bytes, const char* timeoutText = nullptr) {
        if (!run.step({kTagProgram, [=] { return ComSfProgram(kPageProgram, address, bytes); }, kDataWaitMs,
                       timeoutText ? Timeout::Message : Timeout::Silent, timeoutText ? timeoutText : ""}))
            return false;
        return taken() || refused(strfmt("the program at 0x%X", address));
    }
    bool enabledProgram(uint32_t address, std::span<const uint8_t> bytes, const char* timeoutText = nullptr) {
        return instruction(kWriteEnable) && programFrame(address, bytes, timeoutText);
    }
    // The write enable and the status clear before it are judged by the erase itself.
    bool chipErase() { return instruction(kChipErase) && (taken() || refused("the chip erase")); }

    engine_com::GangRun run;

private:
    // The reply to the frame just answered reports a refusal by a status other than 0; a board
    // that always answers 0 fails no run.
    static bool taken() { return g_byReplyStatus == 0; }
    bool refused(const std::string& what) {
        const unsigned status = g_byReplyStatus;
        run.page.messageBox(strfmt("Serial flash refused %s (status %u)!", what.c_str(), status), platform::MsgIcon::Error);
        return false;
    }
};

// Calls piece(address, offset, count) for blocks of up to 32 bytes over length bytes from
// address, none of them across a 256-byte page; false when a piece fails or the stop event is set.
bool ForEachBlock(SfLink& link, uint32_t address, uint32_t length,
                  const std::function<bool(uint32_t, uint32_t, uint32_t)>& piece) {
    for (uint32_t offset = 0; offset < length;) {
        if (link.run.stopRequested()) return false;
        const uint32_t at = address + offset;
        const uint32_t count = std::min({kSfComBlock, length - offset, g_nSFPageSize - at % g_nSFPageSize});
        if (!piece(at, offset, count)) return false;
        offset += count;
    }
    return true;
}

uint32_t BlocksOf(uint32_t length) { return (length + kSfComBlock - 1) / kSfComBlock; }

bool AllocateBlockBuffer(WorkerPage& page) {
    if (g_pBlockBuf.allocate(kBlockBufferSize)) return true;
    page.messageBox(strfmt("Error allocating data buffer memory for %d  bytes\n", kBlockBufferSize),
                    platform::MsgIcon::None);
    return false;
}

// The writes end with write disable while the link still answers.
void EndWrites(SfLink& link) {
    if (!link.run.timedOut) link.instruction(kWriteDisable);
}

// Every path's end: the time-out message, the buffer freed, the port closed (opened again at
// the board's speed first when asked).
void ReleaseLink(SfLink& link, bool atBoardSpeed) {
    if (link.run.timedOut) link.run.page.messageBox(kTimeoutText, platform::MsgIcon::Error);
    g_pBlockBuf.release();
    engine_com::ReleaseBoardPort(atBoardSpeed);
}

// The image of a verify, program or full run: the file's bytes and 0xFF up to at least end.
struct LoadedImage {
    std::vector<uint8_t> bytes;
    uint32_t size = 0;
};

bool LoadImage(WorkerPage& page, const SfRun& run, uint32_t end, LoadedImage& image) {
    if (!AllocateBlockBuffer(page)) return false;
    const std::optional<RunFile> file = readImage(page, run, run.flashSize);
    if (!file) return false;
    image.size = static_cast<uint32_t>(file->bytes.size());
    image.bytes = file->bytes;
    image.bytes.resize(std::max<size_t>(image.size, end), 0xFF);
    return true;
}

using BlockStep = std::function<bool(uint32_t address, uint32_t offset, uint32_t count)>;

// A pass over length bytes from start in blocks, with the bar and the begin and end lines.
bool BlockPass(SfLink& link, uint32_t start, uint32_t length, const char* beginLine, const char* doneLine,
               const BlockStep& step) {
    WorkerPage& page = link.run.page;
    page.setProgressRange(0, static_cast<int>(BlocksOf(length)));
    page.setProgressPos(0);
    page.showControl(res::sf::kIdcProgress, true);
    log(page, beginLine);
    const double begin = serial_flash::runClock().seconds();
    const bool done = ForEachBlock(link, start, length, [&](uint32_t at, uint32_t offset, uint32_t count) {
        if (!step(at, offset, count)) return false;
        page.setProgressPos(static_cast<int>(offset / kSfComBlock + 1));
        return true;
    });
    if (done) log(page, elapsed(doneLine, begin));
    return done;
}

// Programs length image bytes from start, write enable before each block.
bool ProgramImage(SfLink& link, const std::vector<uint8_t>& image, uint32_t start, uint32_t length) {
    return BlockPass(link, start, length, "Begin programming.............",
                     "program successful, elapsed time : %2.1f seconds\n", [&](uint32_t at, uint32_t offset, uint32_t count) {
                         return link.enabledProgram(at, std::span(image).subspan(offset, count), kBlockTimeoutText);
                     });
}

// Compares length image bytes with the serial flash from start; a block that differs, or whose
// read fails, ends it.
bool VerifyImage(SfLink& link, const std::vector<uint8_t>& image, uint32_t start, uint32_t length) {
    return BlockPass(link, start, length, "Begin verifying........", "Verify successful, elapsed time : %2.1f seconds\n",
                     [&](uint32_t at, uint32_t offset, uint32_t count) {
                         std::array<uint8_t, kSfComBlock> block;
                         const std::span<uint8_t> read(block.data(), count);
                         const bool wasRead = link.read(at, read);
                         if (link.run.timedOut) return false;
                         // A block that cannot be read is never a match.
                         if (wasRead && std::equal(read.begin(), read.end(), image.begin() + offset)) return true;
                         link.run.page.messageBox(strfmt("Verified Failure at 0x%x!!!", at), platform::MsgIcon::Error);
                         return false;
                     });
}

// The first steps of the runs that erase: wake, id, status cleared, write enabled.
bool PrepareErase(SfLink& link, bool logId) {
    if (!link.wake() || !link.readId()) return false;
    if (logId)
        log(link.run.page, strfmt("Flash ID : %02X %02X %02X\n", g_pBlockBuf[0], g_pBlockBuf[1], g_pBlockBuf[2]));
    return link.clearStatus() && link.instruction(kWriteEnable);
}

// Cancel ends the pause the erase needs: the erase is not told done.
bool EraseChip(SfLink& link) { return link.chipErase() && link.run.pause(kEraseMs); }

bool Covers(uint32_t start, uint32_t length, uint32_t from, uint32_t count) {
    return uint64_t{start} < uint64_t{from} + count && uint64_t{from} < uint64_t{start} + length;
}

// Asks the operator, as the gang run does, before an image that locks the target is written.
// The guard reads the option block's bytes of the image laid out from start.
bool PassesProtectionGuard(SfLink& link, const LoadedImage& image, uint32_t start) {
    link.run.image = {};
    link.run.optionAddr = g_dwOptionAddr;
    // Only an image that reaches the block is laid out, padded to the block's end, so a far
    // option address allocates nothing.
    const uint64_t end = uint64_t{start} + image.size;
    if (end >= g_dwOptionAddr) {
        std::vector<uint8_t>& laid = link.run.image.buffer;
        laid.assign(std::max<uint64_t>(end, uint64_t{g_dwOptionAddr} + kOptionBlockSize), 0xFF);
        std::copy_n(image.bytes.begin(), image.size, laid.begin() + start);
        link.run.image.size = end;
    }
    return engine_com::ProtectionGuard(link.run);
}

// The option block follows an image that ends below it, when it has something to carry.
bool OptionBlockFollows(uint32_t start, uint32_t size) {
    return (g_bEncry || g_bCodeOption) && uint64_t{start} + size <= g_dwOptionAddr;
}

// The key would be ANDed into the image bytes or the option block where it lies on them, and
// the run would pass without it: such a run is refused before its first frame.
bool KeyClearOfImage(WorkerPage& page, uint32_t start, uint32_t size) {
    if (!g_bEncry) return true;
    const uint32_t keySize = static_cast<uint32_t>(g_KeyBytes.size());
    if (!Covers(start, size, kSfComKeyAddr, keySize) &&
        !(OptionBlockFollows(start, size) && Covers(g_dwOptionAddr, kOptionBlockSize, kSfComKeyAddr, keySize)))
        return true;
    page.messageBox(strfmt("Key address 0x%X lies on the code or the option block!", kSfComKeyAddr),
                    platform::MsgIcon::Error);
    return false;
}

// Tells the operator the refusal, when there is one; true when there is none.
bool NotRefused(WorkerPage& page, const std::string& refusal) {
    if (refusal.empty()) return true;
    page.messageBox(refusal, platform::MsgIcon::Error);
    return false;
}

// The option block is the target's: past the flash of its chip model its address would not
// fit the frame's 24 bits or the records' 16, and a length cut at its end would wrap.
bool OptionBlockInFlash(WorkerPage& page, uint32_t flashSize) {
    return NotRefused(page, engine_com::OptionBeyondFlashRefusal(g_dwOptionAddr, flashSize));
}

// The option block goes out in one program frame, and the flash wraps a program at the end of
// its page over the page's start: a block that would cross a page, or lie past the flash, is
// refused before the first frame.
bool OptionBlockInPlace(WorkerPage& page, uint32_t start, uint32_t size, uint32_t flashSize) {
    if (!OptionBlockFollows(start, size)) return true;
    if (!OptionBlockInFlash(page, flashSize)) return false;
    if (g_dwOptionAddr % g_nSFPageSize + kOptionBlockSize <= g_nSFPageSize) return true;
    page.messageBox(strfmt("Option Addr 0x%X puts the option block across a %u-byte page!", g_dwOptionAddr, g_nSFPageSize),
                    platform::MsgIcon::Error);
    return false;
}

// The option block to program, its serial number taken from the INI file (and advanced there)
// as it is spent, as the gang runs take theirs.
bool NumberedOptionBlock(SfLink& link, std::array<uint8_t, kOptionBlockSize>& block) {
    const bool numbered = g_bCodeOption && g_bGangSerialEnable;
    if (numbered && !engine_com::TakeSerialNumber(link.run, engine_com::NumbersPerPart())) return false;
    block = CodeOptionBlock();
    if (numbered && g_bSerialAutoInc) ++g_nGangSerial;
    return true;
}

// Nothing erases the flash before the program run: a block written over one a failed run left
// holds the AND of both, another number than this run gave. It is read back, and a flash that
// holds other bytes fails the run, the block named.
bool HoldsWritten(SfLink& link, uint32_t address, std::span<const uint8_t> written, const char* what) {
    std::array<uint8_t, kSfComBlock> block;
    const std::span<uint8_t> read(block.data(), written.size());
    const bool wasRead = link.read(address, read);
    if (link.run.timedOut) return false;
    if (wasRead && std::equal(read.begin(), read.end(), written.begin())) return true;
    link.run.page.messageBox(strfmt("%s at 0x%X does not hold what was written!!!", what, address), platform::MsgIcon::Error);
    return false;
}

enum class FullRunKind { Plain, Serial };

// The records start the adapter's numbering at the number the INI file issues next. An adapter
// that numbers a limited quantity of parts gets that range: the file moves on past it before the
// first frame, so that the next adapter and the gang runs start after it. Without a limit the
// adapter's range is open and the file stays.
uint32_t AdapterNumbers() {
    return engine_com::GivesSerialNumbers() && g_bLimitEnable ? g_nLimitQuantity : 0;
}

// How many image bytes the full run programs, by the image's type.
uint32_t LengthToProgram(FullRunKind kind, const std::string& type, uint32_t size) {
    const uint32_t withOption = g_dwOptionAddr + kOptionBlockSize;
    if (type == "des") {
        if (kind == FullRunKind::Plain) return size >= 16385 ? withOption : size;
        return std::min(size, withOption);
    }
    if (type == (kind == FullRunKind::Plain ? "pnt" : "bin")) return size;
    return g_bCodeOption ? size : std::min(size, g_dwOptionAddr);
}

// The records tell the adapter the length programmed in 16 bits: a longer image would read as
// a few bytes, or none, and the adapter would burn parts without the rest of it.
bool LengthFitsTheRecords(WorkerPage& page, uint32_t length) {
    if (length <= 0xFFFF) return true;
    page.messageBox(strfmt("0x%X bytes to program do not fit the configuration records (at most 0xFFFF)!", length),
                    platform::MsgIcon::Error);
    return false;
}

// The records are written after the code: over it they would leave both wrong, and where the
// code's bytes are 0 the verify would still match while every record read 0.
bool RecordsClearOfCode(WorkerPage& page, uint32_t start, uint32_t length) {
    const uint32_t first = g_dwSfConfigAddr + kRecordOffsets[0];
    const uint32_t end = g_dwSfConfigAddr + kRecordOffsets[2] + kSfComBlock;
    if (!Covers(start, length, first, end - first)) return true;
    page.messageBox(strfmt("Configuration records at 0x%X to 0x%X lie on the code!", first, end - 1),
                    platform::MsgIcon::Error);
    return false;
}

SfConfigSettings ConfigSettingsInUse(FullRunKind kind) {
    SfConfigSettings s;
    s.encry = g_bEncry != 0;
    s.codeOption = g_bCodeOption != 0;
    s.optionSerial = g_bOptionSerial != 0;
    s.gangSerialEnable = g_bGangSerialEnable != 0;
    s.serialAutoInc = g_bSerialAutoInc != 0;
    s.beepSound = g_bBeepSound != 0;
    s.logSteps = g_bLogSteps != 0;
    s.keyWrite = g_bKeyWrite != 0;
    s.protectNoRead = g_bProtectNoRead != 0;
    s.protectNoProgram = g_bProtectNoProgram != 0;
    s.limitEnable = g_bLimitEnable != 0;
    s.gangSerial = g_nGangSerial;
    s.gangSerialFixed = g_GangSerialFixed;
    s.optionAddr = g_dwOptionAddr;
    s.configAddr = g_dwSfConfigAddr;
    s.chipMode = g_nChipMode;
    s.key = g_KeyBytes;
    s.imageSum = g_wSfImageCrc;
    s.limitQuantity = kind == FullRunKind::Serial ? CFlashISP::EncodeSerialNumber(g_nLimitQuantity) : g_nLimitQuantity;
    s.keyAddr = g_dwKeyAddr;
    return s;
}

// The +48 record shares its last 16 bytes with the +64 record's first 16 (the key); they are
// the +16 record's own, so only its first 16 are written, and the key is not ANDed with them.
bool WriteConfigRecords(SfLink& link, const SfConfigRecords& records) {
    const SfConfigRecord* record[] = {&records.at16, &records.at48, &records.at64};
    for (int i = 0; i < 3; ++i) {
        const size_t length = i == 1 ? kRecordOffsets[2] - kRecordOffsets[1] : kSfComBlock;
        if (!link.enabledProgram(g_dwSfConfigAddr + kRecordOffsets[i], std::span(*record[i]).first(length))) return false;
    }
    return true;
}

void FullRun(WorkerPage& page, const SfRun& run, FullRunKind kind) {
    g_bTaskWorking = true;
    beginRun(page);
    LoadGangSettings();
    SfLink link(page);
    Result result;
    LoadedImage image;
    // The records carry the file's bytes at the option address, wherever the image starts in
    // the serial flash: the guard reads those.
    const bool loaded = OptionBlockInFlash(page, run.flashSize) &&
                        LoadImage(page, run, g_dwOptionAddr + kOptionBlockSize, image);
    const uint32_t length = loaded ? LengthToProgram(kind, run.imageType, image.size) : 0;
    // With no code before the block the records would say length 0, or the block's 8 bytes of
    // a "des" image, or put the block over the code's first bytes; the gate refuses it alike.
    const uint32_t codeBeforeOption = std::min(length, g_dwOptionAddr);
    const bool ready = loaded &&
                       NotRefused(page, engine_com::NoCodeBeforeOptionRefusal(g_dwOptionAddr, codeBeforeOption)) &&
                       LengthFitsTheRecords(page, length) && RecordsClearOfCode(page, g_nIspStartAddr, length) &&
                       (kind == FullRunKind::Plain || PassesProtectionGuard(link, image, 0)) &&
                       engine_com::TakeSerialNumber(link.run, AdapterNumbers());
    bool done = ready && PrepareErase(link, true);
    if (done) {
        const double begin = serial_flash::runClock().seconds();
        done = EraseChip(link);
        if (done) log(page, elapsed("erase chip elapsed time : %2.1f seconds\n", begin));
        done = done && link.run.pause(kSettleMs);
    }
    const std::span<const uint8_t> file = std::span(image.bytes).first(image.size);
    done = done && ProgramImage(link, image.bytes, g_nIspStartAddr, length) &&
           WriteConfigRecords(link, BuildSfConfigRecords(ConfigSettingsInUse(kind), file, length)) &&
           VerifyImage(link, image.bytes, g_nIspStartAddr, length);
    result.note(done);
    if (ready) {
        EndWrites(link);
        if (kind == FullRunKind::Serial && !link.run.timedOut) link.run.sendUnanswered(ComBoardCmd10);
    }
    ReleaseLink(link, true);
    endRun(page, result);
}

// The erase runs: the erase-wait bar over their steps, the erase time when all went through.
void EraseRun(WorkerPage& page, bool (*erase)(SfLink&)) {
    g_bTaskWorking = true;
    SfLink link(page);
    showProtectView(page, false);
    log(page, "Begin erase chip all data.............");
    page.setProgressMarquee(true);
    const double begin = serial_flash::runClock().seconds();
    const bool ready = AllocateBlockBuffer(page);
    const bool erased = ready && PrepareErase(link, false) && erase(link);
    if (ready) EndWrites(link);
    if (erased && !link.run.timedOut) log(page, elapsed("erase chip elapsed time : %2.1f seconds\n", begin));
    page.setProgressMarquee(false);
    ReleaseLink(link, false);
    showProtectView(page, true);
    g_bTaskWorking = false;
}

// In place of the chip erase: the marker programmed at 0x5000 and read back, write enabled.
bool WriteMarker(SfLink& link) {
    std::array<uint8_t, kSfComBlock> marker;
    marker.fill(0xFF);
    BuildBitMask(kSfComMarkBits, marker);
    std::array<uint8_t, kSfComBlock> readBack;
    if (!link.programFrame(kSfComMarkAddr, marker) || !link.read(kSfComMarkAddr, readBack)) return false;
    // The flash only clears bits: a marker that took reads back at least its zero bits.
    if (CountLeadingZeroBits(readBack) < kSfComMarkBits) {
        link.run.page.messageBox(strfmt("Verified Failure at 0x%x!!!", kSfComMarkAddr), platform::MsgIcon::Error);
        return false;
    }
    return link.instruction(kWriteEnable);
}

}  // namespace

void DumpSFComThread(WorkerPage& dialog, const DumpRequest& request) {
    using namespace res::dump_sf;
    g_bTaskWorking = true;
    SfLink link(dialog);
    dialog.showControl(kIdcProgress, true);
    dialog.enableControl(kIdcCancel, true);
    const uint64_t from = uint64_t{request.fromPage} * g_nSFPageSize;
    const uint64_t length = uint64_t{request.pageCount} * g_nSFPageSize;
    if (from + length > kAddressEnd) {
        dialog.messageBox("From Page + Page Count is beyond the serial flash address range !", platform::MsgIcon::Error);
    } else if (AllocateBlockBuffer(dialog)) {
        std::vector<uint8_t> bytes(length);
        dialog.setProgressRange(0, static_cast<int>(request.pageCount));
        dialog.setProgressPos(0);
        // A time-out has its own message; a short reply, such as a refused read, needs one.
        const auto readBlock = [&](uint32_t at, uint32_t offset, uint32_t count) {
            if (!link.read(at, std::span(bytes).subspan(offset, count))) {
                if (!link.run.timedOut)
                    dialog.messageBox(strfmt("Serial flash read failed at 0x%X!", at), platform::MsgIcon::Error);
                return false;
            }
            dialog.setProgressPos(static_cast<int>((offset + count) / g_nSFPageSize));
            return true;
        };
        const bool read = link.wake() && link.readId() &&
                          ForEachBlock(link, static_cast<uint32_t>(from), static_cast<uint32_t>(length), readBlock);
        EndWrites(link);
        if (read && !link.run.timedOut) WriteSfDump(dialog, request, bytes);
    }
    ReleaseLink(link, true);
    dialog.showControl(kIdcProgress, false);
    dialog.enableControl(kIdcCancel, false);
    g_bTaskWorking = false;
}

void VerifySFComThread(WorkerPage& page, const SfRun& run) {
    g_bTaskWorking = true;
    beginRun(page);
    SfLink link(page);
    Result result;
    LoadedImage image;
    const bool ready = LoadImage(page, run, 0, image);
    result.note(ready && VerifyImage(link, image.bytes, g_nIspStartAddr, image.size));
    if (ready) EndWrites(link);
    ReleaseLink(link, true);
    endRun(page, result);
}

void ProgramSFComThread(WorkerPage& page, const SfRun& run) {
    g_bTaskWorking = true;
    beginRun(page);
    LoadGangSettings();
    SfLink link(page);
    Result result;
    LoadedImage image;
    const uint32_t start = g_nIspStartAddr;
    const bool ready = LoadImage(page, run, 0, image) && KeyClearOfImage(page, start, image.size) &&
                       OptionBlockInPlace(page, start, image.size, run.flashSize) && PassesProtectionGuard(link, image, start);
    bool done = ready && link.wake() && ProgramImage(link, image.bytes, start, image.size);
    if (done && OptionBlockFollows(start, image.size)) {
        std::array<uint8_t, kOptionBlockSize> block;
        done = NumberedOptionBlock(link, block) && link.enabledProgram(g_dwOptionAddr, block) &&
               HoldsWritten(link, g_dwOptionAddr, block, "Option block");
    }
    if (done && g_bEncry) done = link.enabledProgram(kSfComKeyAddr, g_KeyBytes);
    result.note(done);
    if (ready) EndWrites(link);
    ReleaseLink(link, true);
    endRun(page, result);
}

void EraseSFComThread(WorkerPage& page) { EraseRun(page, EraseChip); }

void EraseSFMarkComThread(WorkerPage& page) { EraseRun(page, WriteMarker); }

void AutoSFComThread(WorkerPage& page, const SfRun& run) { FullRun(page, run, FullRunKind::Plain); }

void AutoSFSerialComThread(WorkerPage& page, const SfRun& run) { FullRun(page, run, FullRunKind::Serial); }

void ErasePagesComThread(WorkerPage& page, const PageRange& pages) {
    g_bTaskWorking = true;
    SfLink link(page);
    engine_com::GangRun& run = link.run;
    // A page's number is the high byte of its addresses.
    const uint64_t end = uint64_t{pages.first} + pages.count;
    const uint64_t flashPages = std::min<uint64_t>(FlashSizeOfMode(g_nChipMode) / kFlashPage, 256);
    if (end > flashPages) {
        page.messageBox(strfmt("Pages 0x%X to 0x%X lie beyond the flash of 0x%X bytes!", pages.first,
                               static_cast<uint32_t>(end - 1), FlashSizeOfMode(g_nChipMode)),
                        platform::MsgIcon::Error);
    } else {
        log(page, "Begin erase chip data.............");
        const double begin = serial_flash::runClock().seconds();
        page.setProgressRange(static_cast<int>(pages.first), static_cast<int>(end));
        bool erased = run.step({kTagHandshake, ComIspStart, kControlWaitMs, Timeout::Silent}) &&
                      run.step({kTagStopMcu, ComIspStopMcu, kControlWaitMs, Timeout::Silent});
        for (uint32_t n = pages.first; erased && n < end; ++n) {
            const auto hi = static_cast<uint8_t>(n);
            // Cancel ends the pause a page's erase needs: that page is not told erased.
            erased = !run.stopRequested() &&
                     run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kDataWaitMs, Timeout::Silent}) &&
                     run.step({kTagPageErase, ComIspCmd18, kDataWaitMs, Timeout::Silent}) && run.pause(kPageEraseMs) &&
                     run.step({kTagFinish, ComIspCmdFinish, kDataWaitMs, Timeout::Silent});
            if (erased) page.setProgressPos(static_cast<int>(n));
        }
        run.leave();
        if (erased) log(page, elapsed("erase chip elapsed time : %2.1f seconds\n", begin));
    }
    ReleaseLink(link, false);
    g_bTaskWorking = false;
}

void BuildBitMask(uint32_t bits, std::span<uint8_t> out) {
    const size_t zeros = std::min<size_t>(bits / 8, out.size());
    std::fill_n(out.begin(), zeros, 0x00);
    if (zeros < out.size()) out[zeros] = static_cast<uint8_t>(0xFF >> (bits % 8));
}

uint32_t CountLeadingZeroBits(std::span<const uint8_t> bytes) {
    uint32_t zeros = 0;
    for (uint8_t byte : bytes) {
        if (byte != 0) return zeros + static_cast<uint32_t>(std::countl_zero(byte));
        zeros += 8;
    }
    return zeros;
}
