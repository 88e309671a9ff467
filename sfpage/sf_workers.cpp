#include "sfpage/sf_workers.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "core/counter_texts.h"
#include "core/crc16.h"
#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/parameter_file.h"
#include "core/registry_settings.h"
#include "core/worker_page.h"
#include "link/hid_commands.h"
#include "link/run_clock.h"
#include "link/serial_flash_status.h"
#include "platform/durable_file.h"
#include "platform/strfmt.h"
#include "res/flash_page_template.h"
#include "res/icons.h"

using namespace res::sf;
using namespace sfpage;

namespace {

constexpr int kProtectView[] = {kIdcProtectMap, kIdcProtectLabel, kIdcLevel0, kIdcLevel1, kIdcRdpLabel};

}  // namespace

namespace sfpage {

void log(WorkerPage& page, const std::string& line) {
    page.addLog(line);
    page.scrollLog();
}

std::string elapsed(const char* format, double since) {
    return strfmt(format, serial_flash::runClock().seconds() - since);
}

void showProtectView(WorkerPage& page, bool show) {
    for (int id : kProtectView) page.showControl(id, show);
}

// The image file as the run programs it: read again without blocking and to its end, with its
// CRC taken again over sizeLimit bytes of the 0xFF-filled flash. A truncated image is never
// programmed.
std::optional<RunFile> readImage(WorkerPage& page, const SfRun& run, uint32_t sizeLimit) {
    const char* path = run.imagePath.c_str();
    const platform::FileContents file = platform::readRegularFile(run.imagePath, sizeLimit);
    std::string refusal;
    if (file.error == EFBIG) {
        refusal = strfmt("File size more than %X", sizeLimit);
    } else if (file.error != 0) {
        refusal = strfmt(file.opened ? "File : %s could not be read!!!" : "File : %s could not be opened!!!", path);
    } else if (file.contents.empty()) {
        // Its length - 1 would read as 65536 in the block, and a verify would compare nothing.
        refusal = HoldsNoCode(run.imagePath);
    }
    if (!refusal.empty()) {
        g_bTaskDone = 1;
        page.messageBox(refusal, platform::MsgIcon::Error);
        return std::nullopt;
    }
    RunFile image{{file.contents.begin(), file.contents.end()}};
    std::vector<uint8_t> flash(sizeLimit, 0xFF);
    std::copy(image.bytes.begin(), image.bytes.end(), flash.begin());
    image.crc = CalcCRC16(flash, 0xFFFF, 0);
    return image;
}

// Step 1 of the full, verify and program runs.
void beginRun(WorkerPage& page) {
    page.enableControl(kIdcCancel, true);
    page.enableControl(kIdcAuto, false);
    page.setProgressPos(0);
    page.setControlIcon(kIdcLamp, res::kIconFound);
    page.setControlIcon(kIdcFlashLabel, res::kIconFlashOn);
    showProtectView(page, false);
}

// The last step of the full, verify and program runs, on every path.
void endRun(WorkerPage& page, const Result& result) {
    page.setProgressPos(0);
    page.enableControl(kIdcCancel, false);
    page.setControlIcon(kIdcLamp, result.ok() ? res::kIconPass : res::kIconFail);
    page.setControlIcon(kIdcFlashLabel, res::kIconFlashOn);
    page.showControl(kIdcProgress, false);
    showProtectView(page, true);
    page.enableControl(kIdcAuto, true);
    g_bTaskWorking = false;
}

}  // namespace sfpage

namespace {

std::span<const uint8_t> pageOf(const std::vector<uint8_t>& image, uint32_t page) {
    return std::span(image).subspan(page * g_nSFPageSize, g_nSFPageSize);
}

// Loads each page into the adapter's page buffer and programs it; a failed transfer is noted
// and the next page goes on. A page whose load failed is not programmed: the buffer may still
// hold the page before it.
void programPages(WorkerPage& page, const std::vector<uint8_t>& image, uint32_t pages, Result& result) {
    const double start = serial_flash::runClock().seconds();
    bool transfersOk = true;
    for (uint32_t n = 0; n < pages; ++n) {
        const bool loaded = HidSfLoadPageBuffer(0, pageOf(image, n));
        transfersOk = loaded && HidSfProgramPage(n) && transfersOk;
        page.setProgressPos(static_cast<int>(n));
    }
    result.note(transfersOk);
    log(page, elapsed(transfersOk ? "program successful, elapsed time : %2.1f seconds\n"
                                  : "program failed, elapsed time : %2.1f seconds\n",
                      start));
}

// Reads each page back and compares it; the first page that differs, or that cannot be read,
// ends the verification and fails the run.
void verifyPages(WorkerPage& page, const std::vector<uint8_t>& image, uint32_t pages, Result& result) {
    log(page, "Begin verifying........");
    page.setProgressPos(0);
    const double start = serial_flash::runClock().seconds();
    std::vector<uint8_t> readBack(g_nSFPageSize);
    for (uint32_t n = 0; n < pages; ++n) {
        const bool read = HidSfReadPage(n) && HidSfReadPageBuffer(0, readBack);
        const auto expected = pageOf(image, n);
        if (!read || !std::equal(expected.begin(), expected.end(), readBack.begin())) {
            result.fail();
            break;
        }
        page.setProgressPos(static_cast<int>(n));
    }
    log(page, elapsed("Verify elapsed time : %2.1f seconds\n", start));
}

// The file's bytes padded with 0xFF to whole pages.
std::vector<uint8_t> wholePages(std::vector<uint8_t> bytes) {
    bytes.resize(SfPagesFor(bytes.size()) * g_nSFPageSize, 0xFF);
    return bytes;
}

void showPageProgress(WorkerPage& page, uint32_t pages, bool shown) {
    page.setProgressRange(0, static_cast<int>(pages));
    page.setProgressPos(0);
    page.showControl(kIdcProgress, shown);
}

using PageStep = void (*)(WorkerPage&, const std::vector<uint8_t>&, uint32_t, Result&);

// The verify-only and program-only runs: the pages that hold the file, without the block.
void runOnFilePages(WorkerPage& page, const SfRun& run, const char* begin, PageStep step) {
    Result result;
    beginRun(page);
    const std::optional<RunFile> file = readImage(page, run, run.flashSize);
    if (file && serial_flash::waitWhileBusy(page)) {
        const std::vector<uint8_t> image = wholePages(file->bytes);
        const uint32_t pages = SfPagesFor(image.size());
        showPageProgress(page, pages, true);
        log(page, begin);
        step(page, image, pages, result);
    } else {
        result.fail();
    }
    endRun(page, result);
}

}  // namespace

SfRun SfRunFromSettings(const std::string& imagePath, const std::string& imageType) {
    SfRun run;
    run.imagePath = imagePath;
    run.imageType = imageType;
    run.info = InfoBlockSettingsInUse();
    run.flashSize = FlashSizeOfMode(g_nChipMode);
    run.image.limitEnable = g_bLimitEnable != 0;
    run.image.limitQuantity = g_nLimitQuantity;
    run.image.chipMode = g_nChipMode;
    run.image.serialEnable = g_bSerialEnable != 0;
    // The address as the operator stored it: the adapter's EEPROM location takes addresses that
    // the HID burn's correction would move.
    run.image.serialAddr = RegLoadSnStartAddr();
    run.image.serialInEeprom = g_nSerialLocation != 0;
    run.image.serialAutoInc = g_bSerialAutoInc != 0;
    run.image.lastSerial = g_nLastSerial;
    return run;
}

namespace {

// The block fields of the run with option words; false, after telling the operator, when its
// parameter file cannot be read.
bool AddOptionFields(WorkerPage& page, const InfoBlockSettings& info, AdapterImageSettings& settings) {
    AdapterOptionFields& options = settings.options.emplace();
    options.bootDataMarker = info.bootDataEnable != 0;
    options.infoBlockMarker = info.infoBlockEnable != 0;
    options.words = StandAloneOptionWords(info);
    if (!info.paramEnable) return true;
    auto& area = options.parameters.emplace();
    area.fill(0xFF);
    if (LoadParameterFile(ParameterFilePath(info.paramFile), area) == 0) return true;
    page.messageBox("File could not be opened !", platform::MsgIcon::Error);
    return false;
}

// An adapter that numbers a limited quantity of parts takes that range from "Last SN": the store
// moves on past it before the first frame, so that the next adapter and the HID burns start
// after it. Without a limit the adapter's range is open and it starts at "Last SN" as the run
// was given it. False, told to the operator, when the store cannot keep the range, the numbers
// are used up, or another copy set "Last SN" below the numbers this copy gave.
bool TakeAdapterNumbers(WorkerPage& page, AdapterImageSettings& settings) {
    if (!settings.serialEnable || !settings.limitEnable) return true;
    TakeRefusal why = TakeRefusal::None;
    const std::optional<uint32_t> first = RegTakeLastSn(settings.limitQuantity, &why);
    if (!first) {
        page.messageBox(LastSnRefusalText(why) + " !", platform::MsgIcon::Error);
        return false;
    }
    settings.lastSerial = *first;
    page.setControlText(kIdcSerialLast, SerialLastText(g_nLastSerial));
    return true;
}

// The block's 16 bits hold the quantity as a limit only below 0xFFFF, which reads as none: an
// adapter given more would number past the range taken for it.
bool QuantityFitsTheBlock(WorkerPage& page, const AdapterImageSettings& settings) {
    const std::string refusal = LimitQuantityRefusal(settings.limitEnable, settings.limitQuantity);
    if (!refusal.empty()) page.messageBox(refusal, platform::MsgIcon::Error);
    return refusal.empty();
}

void FullRun(WorkerPage& page, const SfRun& run, bool withOptions) {
    Result result;
    beginRun(page);
    // The file ends before the configuration block.
    const std::optional<RunFile> file = readImage(page, run, std::min(run.flashSize, kSfBlockOffset));
    AdapterImageSettings settings = run.image;
    // A flash that stays busy is known before the adapter's range of numbers is taken.
    if (!file || !QuantityFitsTheBlock(page, settings) || (withOptions && !AddOptionFields(page, run.info, settings)) ||
        !serial_flash::waitWhileBusy(page) || !TakeAdapterNumbers(page, settings)) {
        result.fail();
        endRun(page, result);
        return;
    }
    const std::vector<uint8_t> image = BuildAdapterImage(file->bytes, file->crc, settings);
    const uint32_t pages = SfPagesFor(image.size());
    showPageProgress(page, pages, false);
    log(page, "Begin erase flash");
    log(page, "Waiting.....");
    page.setProgressMarquee(true);
    const double eraseStart = serial_flash::runClock().seconds();
    const bool erased = serial_flash::eraseSerialFlash(page);
    page.setProgressMarquee(false);
    if (!erased) {
        result.fail();
        endRun(page, result);
        return;
    }
    log(page, elapsed("erase flash elapsed time : %2.1f seconds\n", eraseStart));
    page.showControl(kIdcProgress, true);
    log(page, "Begin programming.............");
    programPages(page, image, pages, result);
    verifyPages(page, image, pages, result);
    endRun(page, result);
}

}  // namespace

void AutoSFThread(WorkerPage& page, const SfRun& run) { FullRun(page, run, false); }

void AutoSFParamThread(WorkerPage& page, const SfRun& run) { FullRun(page, run, true); }

void VerifySFThread(WorkerPage& page, const SfRun& run) {
    runOnFilePages(page, run, "Begin verifying........", verifyPages);
}

void ProgramSFThread(WorkerPage& page, const SfRun& run) {
    runOnFilePages(page, run, "Begin programming.............", programPages);
}

void EraseSFThread(WorkerPage& page) {
    showProtectView(page, false);
    log(page, "Begin erase chip all data.............");
    page.setProgressMarquee(true);
    const double start = serial_flash::runClock().seconds();
    const bool erased = serial_flash::eraseSerialFlash(page);
    serial_flash::runClock().pause(1);
    if (erased) log(page, elapsed("erase chip elapsed time : %2.1f seconds\n", start));
    page.setProgressMarquee(false);
    serial_flash::runClock().pause(1);
    showProtectView(page, true);
    g_bTaskWorking = false;
}
