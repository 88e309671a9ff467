// The burn: erase, program and verify the image on every site with a target, with serial
// numbers in main flash or in the information area.
#include <algorithm>

#include "app/counter_texts.h"
#include "app/globals.h"
#include "app/registry_settings.h"
#include "app/worker_page.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

constexpr uint32_t kPageSize = 2048;
constexpr uint32_t kSerialWindow = 512;  // the information area's parameter window at 0x1FF00600
constexpr ConnectPauses kBurnConnectPauses = {10, 20, 250};

// Where this run writes serial numbers.
struct SerialPlan {
    enum Where { kNone, kInImage, kInInfoArea, kOutOfRange } where = kNone;
    size_t programLength = 0;  // image bytes to program and verify, the serial included
};

SerialPlan PlanSerial(size_t imageSize) {
    SerialPlan plan{SerialPlan::kNone, imageSize};
    if (!g_bSerialEnable) return plan;
    const uint64_t end = uint64_t{g_dwSerialAddr} + 4;
    if (g_nSerialLocation == 0) {
        if (end > FlashSizeOfMode(g_nChipMode)) {
            plan.where = SerialPlan::kOutOfRange;
        } else {
            // Pages past the image are programmed too when the serial lies there.
            plan.where = SerialPlan::kInImage;
            plan.programLength = std::max<size_t>(imageSize, end);
        }
    } else {
        plan.where = end > kSerialWindow ? SerialPlan::kOutOfRange : SerialPlan::kInInfoArea;
    }
    return plan;
}

// The label follows "Last SN" as the store holds it once a number was taken.
void ShowLastSerial(WorkerPage& page) {
    page.setControlText(ctl::kSerialLabel, SerialLastText(g_nLastSerial));
}

void LogSerialOutOfRange(WorkerPage& page, int site) {
    LogAndScroll(page, strfmt("SN address 0x%X out of range, SN not programmed on site %d",
                              g_dwSerialAddr, site + 1));
}

void EraseChip(WorkerPage& page, SiteRun& run, int site, Connect connect) {
    page.addLog(strfmt("Begin chip erase target IC %s on site %d", g_strChipName[g_nChipMode].c_str(), site + 1));
    const double start = platform::wallSeconds();
    // The adapter reads the information block's head before it erases; the bytes are not used.
    std::array<uint8_t, kReadBlockSize> discard{};
    run.note(HidReadBlock2(kTargetInfoBase, discard) == 1);
    run.note(HidReadBytes(kTargetInfoBase + 0x100, std::span(discard).first(4)) == 1);
    run.note(HidReadBytes(kTargetInfoBase + 0x108, std::span(discard).first(4)) == 1);
    for (uint32_t offset : {0x20u, 0x40u, 0x60u}) run.note(HidReadBlock2(kTargetInfoBase + offset, discard) == 1);
    if (connect == Connect::Classic) {
        run.note(HidCmdEraseAddr(kTargetFlashBase) == 1);
        run.note(HidCmdEraseAddr(kTargetFlashBase) == 1);
    }
    run.note(HidCmdErase27() == 1);
    run.note(HidCmdErase27() == 1);
    Pause(200);
    LogAndScroll(page, strfmt("chip erase elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
}

void WriteSerialIntoImage(WorkerPage& page, RunImage& image, int site) {
    const uint32_t serial = RegTakeLastSn(g_bSerialAutoInc != 0);
    for (int i = 0; i < 4; ++i) image.buffer[g_dwSerialAddr + i] = static_cast<uint8_t>(serial >> (8 * i));
    LogAndScroll(page, strfmt("program SN = %d on site %d", static_cast<int>(serial), site + 1));
    if (g_bSerialAutoInc) ShowLastSerial(page);
}

// Loads and commits one 2048-byte page after another; the tail past the image is 0xFF.
void ProgramImage(WorkerPage& page, SiteRun& run, std::span<const uint8_t> buffer, size_t length,
                  int& pageCounter) {
    for (size_t offset = 0; offset < length; offset += kPageSize) {
        run.note(HidLoadPageBuffer(0, buffer.subspan(offset, kPageSize)) == 1);
        run.note(HidProgramPage(kTargetFlashBase + static_cast<uint32_t>(offset)) == 1);
        page.setProgressPos(pageCounter++);
    }
}

void VerifySite(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> image, int& pageCounter) {
    LogAndScroll(page, strfmt("Begin verifying on site %d", site + 1));
    const double start = platform::wallSeconds();
    const int base = pageCounter;
    const auto onBlock = [&](size_t block) { page.setProgressPos(base + static_cast<int>(block / 64)); };
    const VerifyResult result = VerifyMainFlash(page, run, site, image, 2, onBlock);
    if (!result.passed) run.mark[site] = SiteRun::kFailed;
    pageCounter += static_cast<int>(result.blocksMatched / 64);
    LogAndScroll(page, strfmt("Verify elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
}

// The serial word in the information area, for a site that passed.
void WriteSerialIntoInfoArea(WorkerPage& page, SiteRun& run, int site) {
    const uint32_t serial = RegTakeLastSn(true);
    LogAndScroll(page, strfmt("program SN = %d on site %d", static_cast<int>(serial), site + 1));
    const bool written = run.note(HidWriteWord(kTargetSerialBase + g_dwSerialAddr, serial) == 1);
    run.note(FlashEnableWrite());
    // A part whose serial word did not reach it is not a finished part.
    if (!written) run.mark[site] = SiteRun::kFailed;
    ShowLastSerial(page);
}

void BurnSite(WorkerPage& page, SiteRun& run, int site, Connect connect, RunImage& image, const SerialPlan& serial) {
    int pageCounter = 0;
    page.setProgressPos(0);
    if (PowerUpAndConnect(run, site, connect, kBurnConnectPauses) != Reach::Connected) {
        g_bSocketFound[site] = 0;
        run.mark[site] = SiteRun::kNoTarget;
        ShowSiteMissing(page, site);
        return;
    }
    if (connect == Connect::Classic) run.note(HidCmdPrepare() == 1);
    g_bSocketFound[site] = 1;
    ShowSiteFound(page, site);

    EraseChip(page, run, site, connect);
    LogAndScroll(page, "Begin program........");
    const double start = platform::wallSeconds();
    if (serial.where == SerialPlan::kInImage) WriteSerialIntoImage(page, image, site);
    const std::span<const uint8_t> programmed(image.buffer.data(), serial.programLength);
    ProgramImage(page, run, image.buffer, serial.programLength, pageCounter);
    LogAndScroll(page, strfmt("program elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));

    VerifySite(page, run, site, programmed, pageCounter);
    if (serial.where == SerialPlan::kInInfoArea && run.mark[site] == SiteRun::kGood) {
        WriteSerialIntoInfoArea(page, run, site);
    }
    if (serial.where == SerialPlan::kOutOfRange) LogSerialOutOfRange(page, site);
}

}  // namespace
}  // namespace engine_hid

void SiteProgramThread(WorkerPage& page) {
    using namespace engine_hid;
    g_bTaskWorking = true;
    page.enableControl(ctl::kCancel, true);
    page.enableControl(ctl::kAuto, false);
    page.setProgressPos(0);
    ShowProtectionGroup(page, false);
    g_bSocketFound.fill(0);
    SiteRun run;

    if (auto image = LoadRunImage(page)) {
        const SerialPlan serial = PlanSerial(image->size);
        page.showControl(ctl::kProgress, true);
        page.enableControl(ctl::kCancel, true);
        for (int site = 0; site < kSiteCount; ++site) ShowSiteMissing(page, site);
        const Connect connect = ReadFirmwareVersion(page, run) ? Connect::Alt : Connect::Classic;
        const int wholePages = static_cast<int>(serial.programLength / kPageSize);
        page.setProgressRange(0, wholePages * 2 + 2);
        page.setProgressPos(0);

        for (int site = 0; site < kSiteCount; ++site) BurnSite(page, run, site, connect, *image, serial);

        ReportWhenNoSiteFound(page, run);
    } else {
        run.ok = false;
    }

    CountSites(page, run, PowerOff::Yes);
    ShowRunEnd(page, SaveCounters::Yes, icon::kBurnProgram);
    ShowProtectionGroup(page, true);
    SoundRunResult(run);
    g_bTaskWorking = false;
}
