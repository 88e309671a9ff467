#pragma once
// The serial-flash page's worker tasks. Each runs on the thread its starter created (which set
// g_bTaskWorking), talks to the page only through WorkerPage and clears g_bTaskWorking as its
// last step on every path. They do not look at the stop event: a run goes on to its end.
//
// The page's progress marquee (WorkerPage::setProgressMarquee) is the shaded erase-wait bar.
#include <cstdint>
#include <string>

#include "sfpage/adapter_image.h"

class WorkerPage;

// What a run works on, copied on the user-interface thread before the worker starts.
struct SfRun {
    std::string imagePath;
    uint32_t flashSize = 0;  // of the chip model: larger files are refused
    AdapterImageSettings image;
};

// The run of the current settings on the image at path.
SfRun SfRunFromSettings(const std::string& imagePath);

// The erase wait ends with an error after this long.
constexpr uint32_t kSfEraseBoundSeconds = 60;

// Builds the adapter image with its configuration block, erases the serial flash, programs
// every page of the image and verifies it; the lamp shows the result.
void AutoSFThread(WorkerPage& page, const SfRun& run);
// Compares the pages that hold the image file, without the block.
void VerifySFThread(WorkerPage& page, const SfRun& run);
// Programs the pages that hold the image file, without erase, block or verification.
void ProgramSFThread(WorkerPage& page, const SfRun& run);
// Erases the whole serial flash; lamp and label stay as they are.
void EraseSFThread(WorkerPage& page);
