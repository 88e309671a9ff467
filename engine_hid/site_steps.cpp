#include "engine_hid/site_steps.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "core/counter_texts.h"
#include "core/counters.h"
#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/registry_settings.h"
#include "core/worker_page.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/durable_file.h"
#include "platform/services.h"
#include "platform/strfmt.h"

namespace engine_hid {

namespace {

bool ReadAndCompare(uint32_t address, std::span<const uint8_t> expected, SiteRun& run) {
    std::array<uint8_t, kReadBlockSize> block{};
    if (!run.note(HidReadBlock(address, block) == 1)) return false;
    return std::equal(expected.begin(), expected.end(), block.begin());
}

std::string Counter(uint32_t count) { return strfmt("%d", static_cast<int>(count)); }

}  // namespace

bool SiteRun::allSitesGood() const {
    return std::none_of(mark.begin(), mark.end(), [](int m) { return m == kFailed; });
}

std::optional<RunImage> LoadRunImage(WorkerPage& page, uint8_t fill, platform::MsgIcon allocationIcon,
                                     platform::MsgIcon oversizeIcon) {
    const std::string path = page.imagePath();
    const size_t flashSize = FlashSizeOfMode(g_nChipMode);
    // Read without blocking and to its end: a FIFO or a device is refused at once, and a file
    // that cannot be read whole is never burnt truncated.
    const platform::FileContents file = platform::readRegularFile(path, flashSize);
    if (file.error == EFBIG) {
        page.messageBox("Code size exceed the max. size of flash!!!", oversizeIcon);
        return std::nullopt;
    }
    if (file.error != 0) {
        page.messageBox(strfmt(file.opened ? "File : %s could not be read!!!" : "File : %s could not be opened!!!",
                               path.c_str()),
                        platform::MsgIcon::Error);
        return std::nullopt;
    }
    // An image without code would pass every part without one compare.
    if (file.contents.empty()) {
        page.messageBox(HoldsNoCode(path), platform::MsgIcon::Error);
        return std::nullopt;
    }
    RunImage image;
    // Whole pages of the chip model's flash and one page more: the last page of any image the
    // model takes is whole.
    const size_t bufferSize = (flashSize / kPageSize + 1) * kPageSize;
    try {
        image.buffer.assign(bufferSize, fill);
    } catch (const std::bad_alloc&) {
        page.messageBox(strfmt("Error allocating data buffer memory for %d  bytes\n", static_cast<int>(bufferSize)),
                        allocationIcon);
        return std::nullopt;
    }
    std::copy(file.contents.begin(), file.contents.end(), image.buffer.begin());
    image.size = file.contents.size();
    return image;
}

bool ReadFirmwareVersion(WorkerPage& page, SiteRun& run) {
    // The adapter answers texts without a terminator; the zeroed buffer ends them.
    std::array<uint8_t, 20> text{};
    const auto asText = [&] { return reinterpret_cast<const char*>(text.data()); };
    // A failed query is logged as such, not as an empty version.
    const auto logText = [&](bool read, const char* format, const char* failure) {
        page.addLog(read ? strfmt(format, asText()) : failure);
    };
    logText(run.note(HidGetFirmwareVersion(std::span(text).first(4)) == 1), "Firmware Version : %s",
            "Read firmware version fail !");
    // Byte by byte, unsigned, over ten zero-padded bytes.
    constexpr std::array<uint8_t, 10> kFirstAltConnect = {'V', '0', '0', '7'};
    const bool newer = std::memcmp(text.data(), kFirstAltConnect.data(), kFirstAltConnect.size()) >= 0;
    text.fill(0);
    logText(run.note(HidGetFirmwareSubVersion(std::span(text).first(8)) == 1), "Firmware Sub Version : %s",
            "Read firmware sub version fail !");
    return newer;
}

bool AnySiteFound() {
    return std::any_of(g_bSocketFound.begin(), g_bSocketFound.end(), [](uint32_t found) { return found != 0; });
}

void ReportWhenNoSiteFound(WorkerPage& page, SiteRun& run) {
    if (AnySiteFound()) return;
    page.messageBox("No Target IC found!", platform::MsgIcon::Error);
    run.ok = false;
}

void ShowSiteFound(WorkerPage& page, int site) {
    page.setControlIcon(ctl::kSiteIcon1 + site, icon::kWorking);
    page.setControlIcon(ctl::kIndicator1 + site, icon::kTargetPresent[site]);
}

void ShowSiteMissing(WorkerPage& page, int site) {
    page.setControlIcon(ctl::kSiteIcon1 + site, icon::kIdle);
    page.setControlIcon(ctl::kIndicator1 + site, icon::kNoTarget[site]);
}

void ShowProtectionGroup(WorkerPage& page, bool show) {
    for (int id : ctl::kProtectionGroup) page.showControl(id, show);
}

void LogAndScroll(WorkerPage& page, const std::string& line) {
    page.addLog(line);
    page.scrollLog();
}

int ConnectTarget(Connect connect) {
    return connect == Connect::Alt ? HidConnectTargetAlt() : HidConnectTarget();
}

bool SelectSite(SiteRun& run, int site) {
    if (HidSelectSocket(site) == 1) return true;
    run.siteUnreached = true;
    return false;
}

Reach PowerUpAndConnect(WorkerPage& page, SiteRun& run, int site, Connect connect, const ConnectPauses& pauses) {
    const auto named = [&](const char* text) { LogAndScroll(page, strfmt(text, site + 1)); };
    if (!SelectSite(run, site)) {
        named("Select fail at site %d!!!");
        return Reach::NotSelected;
    }
    const auto unreached = [&](const char* text) {
        run.siteUnreached = true;
        named(text);
        return Reach::Failed;
    };
    Pause(pauses.afterSelect);
    if (HidSetSocketPower(1) != 1) return unreached("Power on fail at site %d!!!");
    Pause(pauses.afterPower);
    const int result = ConnectTarget(connect);
    Pause(pauses.afterConnect);
    if (result == kConnectTransferFailed) return unreached("Connect fail at site %d!!!");
    return result == kConnectOk ? Reach::Connected : Reach::NoTarget;
}

VerifyResult VerifyMainFlash(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> image,
                             int retries, MismatchLine line,
                             const std::function<void(size_t block)>& onBlock) {
    VerifyResult result;
    const size_t blocks = (image.size() + kReadBlockSize - 1) / kReadBlockSize;
    for (size_t b = 0; b < blocks; ++b) {
        const uint32_t address = kTargetFlashBase + static_cast<uint32_t>(b * kReadBlockSize);
        const auto expected = image.subspan(b * kReadBlockSize,
                                            std::min<size_t>(kReadBlockSize, image.size() - b * kReadBlockSize));
        bool same = ReadAndCompare(address, expected, run);
        for (int retry = 0; !same && retry < retries; ++retry) {
            HidConnectTarget();  // the classic connect, whatever the firmware
            same = ReadAndCompare(address, expected, run);
        }
        if (!same) {
            if (line == MismatchLine::Logged) {
                LogAndScroll(page, strfmt("Verified Failure on 0x%x at site %d!!!", address, site + 1));
            }
            return result;
        }
        ++result.blocksMatched;
        onBlock(b);
    }
    // An empty image reads nothing back, and a part is never passed unread.
    result.passed = blocks > 0;
    return result;
}

void CountSites(WorkerPage& page, const SiteRun& run, PowerOff powerOff, SiteOrder order) {
    for (int i = 0; i < kSiteCount; ++i) {
        const int site = order == SiteOrder::LastFirst ? kSiteCount - 1 - i : i;
        HidSelectSocket(site);
        if (powerOff == PowerOff::Yes) HidSetSocketPower(0);
        if (!g_bSocketFound[site]) continue;
        const bool passed = run.mark[site] == SiteRun::kGood;
        CountPart(passed);
        page.setControlIcon(ctl::kSiteIcon1 + site, passed ? icon::kPass : icon::kFail);
    }
}

void ShowRunEnd(WorkerPage& page, SaveCounters save, int burnIcon) {
    ShowRunCounters(page, save);
    GiveBackButtons(page, burnIcon);
}

void ShowRunCounters(WorkerPage& page, SaveCounters save) {
    page.setProgressPos(0);
    page.enableControl(ctl::kCancel, false);
    const Counts counts = save == SaveCounters::Yes ? SaveCountedParts() : CurrentCounts();
    page.setControlText(ctl::kTotal, Counter(counts.total));
    page.setControlText(ctl::kPass, Counter(counts.pass));
    page.setControlText(ctl::kFail, Counter(counts.fail));
    page.setControlText(ctl::kYield, YieldText(counts.pass, counts.total));
}

void GiveBackButtons(WorkerPage& page, int burnIcon) {
    page.enableControl(ctl::kAuto, true);
    page.setControlIcon(ctl::kBurn, burnIcon);
    page.showControl(ctl::kProgress, false);
}

void SoundRunResult(const SiteRun& run) {
    if (!g_bBeepSound) return;
    if (run.passed()) {
        Beep(784, 900);
    } else {
        Beep(800, 100);
        Pause(20);
        Beep(800, 100);
    }
}

void RunBurnFrame(WorkerPage& page, const BurnFrame& frame, const std::function<bool(RunImage&)>& prepare,
                  const std::function<void(SiteRun&, RunImage&, bool newerFirmware)>& sites) {
    g_bTaskWorking = true;
    page.enableControl(ctl::kCancel, true);
    page.enableControl(ctl::kAuto, false);
    page.setProgressPos(0);
    if (frame.hidesProtection) ShowProtectionGroup(page, false);
    g_bSocketFound.fill(0);
    SiteRun run;

    auto image = LoadRunImage(page, frame.fill);
    if (image && prepare(*image)) {
        page.showControl(ctl::kProgress, true);
        page.enableControl(ctl::kCancel, true);
        for (int site = 0; site < kSiteCount; ++site) ShowSiteMissing(page, site);
        const bool newer = ReadFirmwareVersion(page, run);
        page.setProgressRange(0, static_cast<int>(image->size / kPageSize) * 2 + 2);
        page.setProgressPos(0);
        sites(run, *image, newer);
    } else {
        run.ok = false;
    }

    CountSites(page, run, frame.endPower, frame.endOrder);
    ShowRunEnd(page, SaveCounters::Yes, icon::kBurnProgram);
    if (frame.hidesProtection) ShowProtectionGroup(page, true);
    SoundRunResult(run);
    g_bTaskWorking = false;
}

double SecondsSince(double start) { return platform::wallSeconds() - start; }

}  // namespace engine_hid
