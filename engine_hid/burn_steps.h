#pragma once
// The burn's own steps, which the site-by-site variants share: where the serial number goes,
// programming the image's pages, verifying them, and writing the serial word.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "engine_hid/site_steps.h"

class WorkerPage;

namespace engine_hid {

// The image is programmed and verified in whole pages, the last one's tail the fill byte.
size_t PagesEnd(size_t size);

// Where a serial word in the information area may lie: base + address for addresses first to
// last (multiples of 4 apart from that are the caller's affair).
struct InfoSerialWindow {
    uint32_t base, first, last;
};
// The burn's window: the parameter area at 0x1FF00600.
constexpr InfoSerialWindow kParameterSerialWindow = {0x1FF00600, 0, 0x1FC};

// Where this run writes serial numbers: into the image when the word lies within the pages the
// image covers, else on its own after the verify; or into the information area.
enum class SerialPlace { kNone, kInImage, kAfterVerify, kInInfoArea, kOutOfRange };
SerialPlace PlanSerial(size_t imageSize, const InfoSerialWindow& infoWindow);

// Serial numbers are taken from the store (RegTakeLastSn), so two running copies never issue
// one twice; the label then shows "Last SN" as the store holds it.
void ShowLastSerial(WorkerPage& page);
// The part's number from the store, advanced there when asked. A store that cannot keep it, or
// numbers used up, give none: the part is not numbered and fails, so that no number is given twice.
std::optional<uint32_t> TakeSerial(WorkerPage& page, SiteRun& run, int site, bool advance);
void LogSerial(WorkerPage& page, int site, uint32_t serial);
void LogSerialOutOfRange(WorkerPage& page, int site);
// Reads the serial word back; a part that does not hold serial fails, with the word's address.
bool SerialReadsBack(WorkerPage& page, int site, uint32_t address, uint32_t serial);

// How a site-by-site run differs in the shared program-and-verify step: the verify's retries,
// and whether the serial number's placement is logged.
enum class SerialLine { Logged, Silent };
struct BurnStyle {
    int verifyRetries;
    SerialLine serialLine;
};

// Programs and verifies the image's pages on an erased part (with the serial number in the
// image when planned so); a part that is not programmed whole fails.
void ProgramAndVerify(WorkerPage& page, SiteRun& run, int site, RunImage& image, SerialPlace serial,
                      const BurnStyle& style);
// Loads and commits one 2048-byte page after another; false at the first failed exchange.
bool ProgramImage(WorkerPage& page, SiteRun& run, std::span<const uint8_t> pages, int& pageCounter);
// The serial word past the image's pages, written on its own into every connected part.
void WriteSerialAfterImage(WorkerPage& page, SiteRun& run, int site, SerialLine line);

}  // namespace engine_hid
