#pragma once
// The serial-flash page's worker tasks. Each runs on the thread its starter created (which set
// g_bTaskWorking), talks to the page only through WorkerPage and clears g_bTaskWorking as its
// last step on every path. They do not look at the stop event: a run goes on to its end.
//
// The page's progress marquee (WorkerPage::setProgressMarquee) is the shaded erase-wait bar.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine_hid/info_block_image.h"
#include "link/serial_flash_status.h"
#include "sfpage/adapter_image.h"

class WorkerPage;

// What a run works on, copied on the user-interface thread before the worker starts.
struct SfRun {
    std::string imagePath;
    uint32_t flashSize = 0;  // of the chip model: larger files are refused
    AdapterImageSettings image;
    std::string imageType{};  // the lower-case extension of the file chosen on the page
    InfoBlockSettings info{};  // what the run with option words puts into the block
};

// The run of the current settings on the image at path.
SfRun SfRunFromSettings(const std::string& imagePath, const std::string& imageType = "bin");

// Every run but the erase first waits while the serial flash is busy (an erase left unfinished)
// and fails when it stays busy.
//
// Builds the adapter image with its configuration block, erases the serial flash, programs
// every page of the image and verifies it; the lamp shows the result.
void AutoSFThread(WorkerPage& page, const SfRun& run);
// Compares the pages that hold the image file, without the block.
void VerifySFThread(WorkerPage& page, const SfRun& run);
// Programs the pages that hold the image file, without erase, block or verification.
void ProgramSFThread(WorkerPage& page, const SfRun& run);
// Erases the whole serial flash; lamp and label stay as they are.
void EraseSFThread(WorkerPage& page);
// The full run with the block's boot-data and information-block markers, the option words and,
// when the run names one, the parameter file. Nothing starts it.
void AutoSFParamThread(WorkerPage& page, const SfRun& run);

// The steps the serial-flash runs share, over HID and over the COM link.
namespace sfpage {

// A run's result: a failure, once noted, stays.
class Result {
public:
    void note(bool ok) { ok_ = ok_ && ok; }
    void fail() { ok_ = false; }
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
};

// A line in the operation list, scrolled to.
void log(WorkerPage& page, const std::string& line);
// format with the run clock's seconds since `since`.
std::string elapsed(const char* format, double since);
void showProtectView(WorkerPage& page, bool show);
// The image file read again for the run, at most sizeLimit bytes, and its CRC-16 over sizeLimit
// bytes of the 0xFF-filled flash; empty, unreadable and too large files are reported and give
// nothing.
struct RunFile {
    std::vector<uint8_t> bytes;
    uint16_t crc = 0;
};
std::optional<RunFile> readImage(WorkerPage& page, const SfRun& run, uint32_t sizeLimit);
// The first and the last steps of the full, verify and program runs: buttons, lamp, the
// protection view; the end clears g_bTaskWorking.
void beginRun(WorkerPage& page);
void endRun(WorkerPage& page, const Result& result);

}  // namespace sfpage
