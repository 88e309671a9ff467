// The burn: erase, program and verify the image on every site with a target, with serial
// numbers in main flash or in the information area.
#include <utility>

#include "core/counter_texts.h"
#include "core/globals.h"
#include "core/registry_settings.h"
#include "core/worker_page.h"
#include "engine_hid/burn_steps.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {

size_t PagesEnd(size_t size) { return (size + kPageSize - 1) / kPageSize * kPageSize; }

SerialPlace PlanSerial(size_t imageSize, const InfoSerialWindow& infoWindow) {
    if (!g_bSerialEnable) return SerialPlace::kNone;
    const uint64_t end = uint64_t{g_dwSerialAddr} + 4;
    if (g_nSerialLocation != 0) {
        const bool inWindow = g_dwSerialAddr >= infoWindow.first && g_dwSerialAddr <= infoWindow.last;
        return inWindow ? SerialPlace::kInInfoArea : SerialPlace::kOutOfRange;
    }
    if (end > FlashSizeOfMode(g_nChipMode)) return SerialPlace::kOutOfRange;
    return g_dwSerialAddr <= imageSize && end <= PagesEnd(imageSize) ? SerialPlace::kInImage : SerialPlace::kAfterVerify;
}

void ShowLastSerial(WorkerPage& page) { page.setControlText(ctl::kSerialLabel, SerialLastText(g_nLastSerial)); }

std::optional<uint32_t> TakeSerial(WorkerPage& page, SiteRun& run, int site, bool advance) {
    TakeRefusal why = TakeRefusal::None;
    const std::optional<uint32_t> serial = RegTakeLastSn(advance ? 1 : 0, &why);
    if (serial) return serial;
    if (why == TakeRefusal::HeldBack || why == TakeRefusal::OutOfDate) {
        // Why, and the way on, once a run; each part's line names its site.
        if (!std::exchange(run.toldHeldBack, true)) LogAndScroll(page, LastSnRefusalText(why));
        LogAndScroll(page, strfmt("SN not programmed on site %d", site + 1));
    } else {
        LogAndScroll(page, strfmt("%s, SN not programmed on site %d", LastSnRefusalText(why).c_str(), site + 1));
    }
    run.mark[site] = SiteRun::kFailed;
    return std::nullopt;
}

void LogSerial(WorkerPage& page, int site, uint32_t serial) {
    LogAndScroll(page, strfmt("program SN = %u on site %d", serial, site + 1));
}

void LogSerialOutOfRange(WorkerPage& page, int site) {
    LogAndScroll(page, strfmt("SN address 0x%X out of range, SN not programmed on site %d",
                              g_dwSerialAddr, site + 1));
}

namespace {

constexpr ConnectPauses kBurnConnectPauses = {10, 20, 250};


// True when every exchange of the erase step went through.
bool EraseChip(WorkerPage& page, SiteRun& run, int site, Connect connect) {
    page.addLog(strfmt("Begin chip erase target IC %s on site %d", g_strChipName[g_nChipMode].c_str(), site + 1));
    const double start = platform::wallSeconds();
    bool erased = true;
    const auto step = [&](int result) { erased = run.note(result == 1) && erased; };
    // The adapter reads the information block's head before it erases; the bytes are not used.
    std::array<uint8_t, kReadBlockSize> discard{};
    step(HidReadBlock2(kTargetInfoBase, discard));
    step(HidReadBytes(kTargetInfoBase + 0x100, std::span(discard).first(4)));
    step(HidReadBytes(kTargetInfoBase + 0x108, std::span(discard).first(4)));
    for (uint32_t offset : {0x20u, 0x40u, 0x60u}) step(HidReadBlock2(kTargetInfoBase + offset, discard));
    if (connect == Connect::Classic) {
        step(HidCmdEraseAddr(kTargetFlashBase));
        step(HidCmdEraseAddr(kTargetFlashBase));
    }
    step(HidCmdErase27());
    step(HidCmdErase27());
    Pause(200);
    LogAndScroll(page, strfmt("chip erase elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
    return erased;
}

// False when the part gets no number (and fails).
bool WriteSerialIntoImage(WorkerPage& page, SiteRun& run, RunImage& image, int site, SerialLine line) {
    const std::optional<uint32_t> serial = TakeSerial(page, run, site, g_bSerialAutoInc != 0);
    if (!serial) return false;
    for (int i = 0; i < 4; ++i) image.buffer[g_dwSerialAddr + i] = static_cast<uint8_t>(*serial >> (8 * i));
    if (line == SerialLine::Logged) LogSerial(page, site, *serial);
    if (g_bSerialAutoInc) ShowLastSerial(page);
    return true;
}

void VerifySite(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> pages, int& pageCounter,
                int retries) {
    LogAndScroll(page, strfmt("Begin verifying on site %d", site + 1));
    const double start = platform::wallSeconds();
    const int base = pageCounter;
    const auto onBlock = [&](size_t block) { page.setProgressPos(base + static_cast<int>(block / 64)); };
    const VerifyResult result = VerifyMainFlash(page, run, site, pages, retries, MismatchLine::Logged, onBlock);
    if (!result.passed) run.mark[site] = SiteRun::kFailed;
    pageCounter += static_cast<int>(result.blocksMatched / 64);
    LogAndScroll(page, strfmt("Verify elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
}

}  // namespace

// A page whose load failed is not committed: the buffer would still hold the page before it.
bool ProgramImage(WorkerPage& page, SiteRun& run, std::span<const uint8_t> pages, int& pageCounter) {
    for (size_t offset = 0; offset < pages.size(); offset += kPageSize) {
        if (!run.note(HidLoadPageBuffer(0, pages.subspan(offset, kPageSize)) == 1)) return false;
        if (!run.note(HidProgramPage(kTargetFlashBase + static_cast<uint32_t>(offset)) == 1)) return false;
        page.setProgressPos(pageCounter++);
    }
    return true;
}

// Reads the serial word back; a part that does not hold it fails, with the word's address.
bool SerialReadsBack(WorkerPage& page, int site, uint32_t address, uint32_t serial) {
    std::array<uint8_t, 4> word{};
    const bool read = HidReadWord(address, word) == 1;
    const uint32_t value = word[0] | word[1] << 8 | word[2] << 16 | static_cast<uint32_t>(word[3]) << 24;
    if (read && value == serial) return true;
    LogAndScroll(page, strfmt("SN Verified Failure on 0x%x at site %d!!!", address, site + 1));
    return false;
}

// The serial word past the image's pages, written on its own into every connected part.
// The number is used up even when the write fails: it may have reached the part.
void WriteSerialAfterImage(WorkerPage& page, SiteRun& run, int site, SerialLine line) {
    const std::optional<uint32_t> serial = TakeSerial(page, run, site, g_bSerialAutoInc != 0);
    if (!serial) return;
    if (line == SerialLine::Logged) LogSerial(page, site, *serial);
    const uint32_t address = kTargetFlashBase + g_dwSerialAddr;
    run.note(HidWriteWord(address, *serial) == 1);
    if (!SerialReadsBack(page, site, address, *serial)) run.mark[site] = SiteRun::kFailed;
    if (g_bSerialAutoInc) ShowLastSerial(page);
}

void ProgramAndVerify(WorkerPage& page, SiteRun& run, int site, RunImage& image, SerialPlace serial,
                      const BurnStyle& style) {
    int pageCounter = 0;
    LogAndScroll(page, "Begin program........");
    const double start = platform::wallSeconds();
    if (serial == SerialPlace::kInImage && !WriteSerialIntoImage(page, run, image, site, style.serialLine)) return;
    const std::span<const uint8_t> pages(image.buffer.data(), PagesEnd(image.size));
    const bool programmed = ProgramImage(page, run, pages, pageCounter);
    LogAndScroll(page, strfmt("program elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
    if (programmed) {
        VerifySite(page, run, site, pages, pageCounter, style.verifyRetries);
    } else {
        run.mark[site] = SiteRun::kFailed;
    }
}

namespace {

constexpr BurnStyle kBurnStyle = {2, SerialLine::Logged};

// The serial word in the information area, for a part that passed. The number is used up
// whatever follows: it may have reached the part, so it is never issued again. A part whose
// write enable fails, or that does not hold the word, fails.
void WriteSerialIntoInfoArea(WorkerPage& page, SiteRun& run, int site) {
    const std::optional<uint32_t> serial = TakeSerial(page, run, site, true);
    if (!serial) return;
    LogSerial(page, site, *serial);
    const uint32_t address = kTargetSerialBase + g_dwSerialAddr;
    run.note(HidWriteWord(address, *serial) == 1);
    const bool enabled = run.note(FlashEnableWrite());
    if (!SerialReadsBack(page, site, address, *serial) || !enabled) run.mark[site] = SiteRun::kFailed;
    ShowLastSerial(page);
}

// Adapters of older firmware are driven with the classic connect and a prepare after it; the
// older burn drives every adapter so, without the prepare.
enum class Generation { Current, Old };

void BurnSite(WorkerPage& page, SiteRun& run, int site, Connect connect, Generation generation, RunImage& image,
              SerialPlace serial) {
    page.setProgressPos(0);
    if (PowerUpAndConnect(page, run, site, connect, kBurnConnectPauses) != Reach::Connected) {
        g_bSocketFound[site] = 0;
        run.mark[site] = SiteRun::kNoTarget;
        ShowSiteMissing(page, site);
        return;
    }
    if (connect == Connect::Classic && generation == Generation::Current) run.note(HidCmdPrepare() == 1);
    g_bSocketFound[site] = 1;
    ShowSiteFound(page, site);

    if (EraseChip(page, run, site, connect)) {
        ProgramAndVerify(page, run, site, image, serial, kBurnStyle);
    } else {
        run.mark[site] = SiteRun::kFailed;  // a part whose erase did not go through cannot hold the image
    }
    switch (serial) {
    case SerialPlace::kInInfoArea:
        if (run.mark[site] == SiteRun::kGood) WriteSerialIntoInfoArea(page, run, site);
        break;
    case SerialPlace::kAfterVerify: WriteSerialAfterImage(page, run, site, SerialLine::Logged); break;
    case SerialPlace::kOutOfRange: LogSerialOutOfRange(page, site); break;
    case SerialPlace::kNone:
    case SerialPlace::kInImage: break;
    }
}

void BurnAllSites(WorkerPage& page, Generation generation) {
    SerialPlace serial = SerialPlace::kNone;
    const auto plan = [&](RunImage& image) {
        serial = PlanSerial(image.size, kParameterSerialWindow);
        return true;
    };
    constexpr BurnFrame kBurnFrame = {0xFF, true, PowerOff::Yes, SiteOrder::LastFirst};
    RunBurnFrame(page, kBurnFrame, plan, [&](SiteRun& run, RunImage& image, bool newerFirmware) {
        const Connect connect = newerFirmware && generation == Generation::Current ? Connect::Alt : Connect::Classic;
        for (int site = 0; site < kSiteCount; ++site) BurnSite(page, run, site, connect, generation, image, serial);
        ReportWhenNoSiteFound(page, run);
    });
}

}  // namespace
}  // namespace engine_hid

void SiteProgramThread(WorkerPage& page) { engine_hid::BurnAllSites(page, engine_hid::Generation::Current); }

void SiteProgramThreadOld(WorkerPage& page) { engine_hid::BurnAllSites(page, engine_hid::Generation::Old); }
