#pragma once
// Steps that the HID workers share: the page's controls and icons, loading the run's image,
// the adapter's version, bringing a site up, comparing main flash, and the end of a run.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/services.h"

class WorkerPage;

namespace engine_hid {

constexpr int kSiteCount = 4;
constexpr uint32_t kReadBlockSize = 32;
constexpr uint32_t kPageSize = 2048;  // a target flash page, programmed as one

// Controls of the IC page.
namespace ctl {
constexpr int kAuto = 1002;
constexpr int kProgram = 1003;  // hidden: the start buttons of the program-only and verify-only runs
constexpr int kVerify = 1004;
constexpr int kCancel = 1006;
constexpr int kProgress = 1008;
constexpr int kSerialLabel = 1012;
constexpr int kSiteIcon1 = 1103;   // 1103 to 1106: sites 1 to 4
constexpr int kIndicator1 = 1107;  // 1107 to 1110
constexpr int kBurn = 1114;
constexpr int kTotal = 1118;
constexpr int kPass = 1119;
constexpr int kFail = 1120;
constexpr int kYield = 1121;
constexpr int kConfig = 1149;
// The protection group: protect-area map, "Protect Area:", "Level 0", "Level 1", "RDP Protect :".
constexpr std::array<int, 5> kProtectionGroup = {1143, 1145, 1138, 1139, 1144};
}  // namespace ctl

namespace icon {
constexpr int kPass = 150;
constexpr int kFail = 151;
constexpr int kIdle = 152;  // also: no target
constexpr int kWorking = 166;
constexpr int kBurnProgram = 168;
constexpr int kBurnVerify = 170;
constexpr std::array<int, 4> kTargetPresent = {153, 155, 159, 160};
constexpr std::array<int, 4> kNoTarget = {154, 156, 157, 158};
}  // namespace icon

// What a run knows about each site, and the run's status. The status follows the last
// exchange that the run checks (and is false after an early stop); each part's own result is
// its mark, which only a good read-back leaves at kGood. A site the run could not select, power
// or connect to is shown empty, but its socket may hold a part that was never worked on: that
// stays with the run to its end, whatever the later exchanges on other sites say.
struct SiteRun {
    enum Mark { kFailed = 0, kGood = 1, kNoTarget = 2 };
    std::array<int, kSiteCount> mark = {kGood, kGood, kGood, kGood};
    bool ok = true;
    bool siteUnreached = false;
    bool toldHeldBack = false;  // the run said why it gives no serial number, with the way on (TakeSerial)

    bool note(bool exchangeOk) {
        ok = exchangeOk;
        return exchangeOk;
    }
    bool allSitesGood() const;
    // The run passes (the long tone) when its status is good, no part failed and every site
    // it addressed was reached.
    bool passed() const { return ok && !siteUnreached && allSitesGood(); }
};

// The image the run burns: a buffer of the chip model's flash size and a page more, filled with
// the run's fill byte (0xFF, the erased state, unless a run asks for 0x00) and then with the
// file's bytes, and their count.
struct RunImage {
    std::vector<uint8_t> buffer;
    size_t size = 0;
};
// Reads the page's image file and checks it against the chip model's flash size; tells the
// operator and gives nothing when it cannot be used. The gang runs show a failed allocation and
// an image too large for the flash with the error icon, as every message of theirs.
std::optional<RunImage> LoadRunImage(WorkerPage& page, uint8_t fill,
                                     platform::MsgIcon allocationIcon = platform::MsgIcon::None,
                                     platform::MsgIcon oversizeIcon = platform::MsgIcon::Warning);

// Logs the adapter's version and sub-version; true when the version is "V007" or later.
bool ReadFirmwareVersion(WorkerPage& page, SiteRun& run);

// True when a target answered on some site in this run (g_bSocketFound).
bool AnySiteFound();
// "No Target IC found!" when no site answered; the run then counts as failed.
void ReportWhenNoSiteFound(WorkerPage& page, SiteRun& run);
void ShowSiteFound(WorkerPage& page, int site);
void ShowSiteMissing(WorkerPage& page, int site);
void ShowProtectionGroup(WorkerPage& page, bool show);
void LogAndScroll(WorkerPage& page, const std::string& line);

enum class Connect { Classic, Alt };  // 0x00, or 0x3D of firmware "V007" and later
struct ConnectPauses {
    uint32_t afterSelect, afterPower, afterConnect;
};
// Selects the site, powers it and connects to its target. A select that fails leaves another
// site addressed: nothing more is sent to it, the site counts as empty and the run as failed.
// A power-on the adapter refused, or a connect whose exchange failed, says nothing about the
// socket: the site is shown empty too, and the run fails. Each of these logs a line naming the site.
enum class Reach { Connected, NoTarget, NotSelected, Failed };
Reach PowerUpAndConnect(WorkerPage& page, SiteRun& run, int site, Connect connect, const ConnectPauses& pauses);
// Addresses a site for the steps that follow; a failure fails the run.
bool SelectSite(SiteRun& run, int site);
int ConnectTarget(Connect connect);

// Compares main flash from 0x10000000 with image block by block (a partial last block only
// with the image's bytes). A block that differs, or whose read fails, is read again after a
// classic reconnect up to `retries` times before the failure is logged. onBlock(b) runs after
// each block that matched. Returns the blocks that matched and whether all did (never for an
// empty image: nothing was read back). Some runs fail a part without the log line.
struct VerifyResult {
    size_t blocksMatched = 0;
    bool passed = false;
};
enum class MismatchLine { Logged, Silent };
VerifyResult VerifyMainFlash(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> image,
                             int retries, MismatchLine line,
                             const std::function<void(size_t block)>& onBlock);

// Selects every site in the given order, powers it off when asked, and counts each found site
// into Total and Pass or Fail, with its result icon.
enum class PowerOff { Yes, No };
enum class SiteOrder { LastFirst, FirstFirst };
void CountSites(WorkerPage& page, const SiteRun& run, PowerOff powerOff, SiteOrder order);

// The end of a burn or verify run: counters and yield shown (and saved when asked), Auto.
// enabled, the Burn button's idle icon back, the progress bar hidden. A gang variant holds the
// page between the two halves.
enum class SaveCounters { Yes, No };
void ShowRunEnd(WorkerPage& page, SaveCounters save, int burnIcon);
void ShowRunCounters(WorkerPage& page, SaveCounters save);
void GiveBackButtons(WorkerPage& page, int burnIcon);
// The long pass tone when the run passed, else two short ones.
void SoundRunResult(const SiteRun& run);

// The frame of a burn: the busy flag, the controls at the start, the image (read into a buffer
// of the fill byte), prepare (false stops the run), the site icons and the firmware lines; then
// sites, told whether the firmware is "V007" or later; at the end the sites counted in the given
// order, the counters shown and saved, the tone, and the busy flag cleared.
struct BurnFrame {
    uint8_t fill;
    bool hidesProtection;
    PowerOff endPower;
    SiteOrder endOrder;
};
void RunBurnFrame(WorkerPage& page, const BurnFrame& frame, const std::function<bool(RunImage&)>& prepare,
                  const std::function<void(SiteRun&, RunImage&, bool newerFirmware)>& sites);

// Elapsed wall-clock seconds since start (platform::wallSeconds).
double SecondsSince(double start);

}  // namespace engine_hid
