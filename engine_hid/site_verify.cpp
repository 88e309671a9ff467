// The verify-only run: compares every site's main flash with the image, changes nothing on
// the targets and saves no counter.
#include <algorithm>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

constexpr ConnectPauses kVerifyConnectPauses = {0, 10, 0};

// The bar counts blocks of all four sites in units of k blocks, k the least that keeps the
// range below 255, so it reaches its end with the last site.
struct VerifyProgress {
    size_t blocksPerSite;
    size_t unit;

    explicit VerifyProgress(size_t blocks) : blocksPerSite(blocks), unit(1) {
        while (kSiteCount * blocksPerSite / unit >= 255) ++unit;
    }
    int upper() const { return static_cast<int>(kSiteCount * blocksPerSite / unit); }
    int at(int site, size_t blocksDone) const {
        return static_cast<int>((site * blocksPerSite + blocksDone) / unit);
    }
};

void VerifySite(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> image,
                const VerifyProgress& progress) {
    if (PowerUpAndConnect(page, run, site, Connect::Classic, kVerifyConnectPauses) != Reach::Connected) {
        g_bSocketFound[site] = 0;
        run.mark[site] = SiteRun::kNoTarget;
        ShowSiteMissing(page, site);
        return;
    }
    g_bSocketFound[site] = 1;
    run.mark[site] = SiteRun::kGood;
    ShowSiteFound(page, site);
    Pause(10);
    const bool prepared = run.note(HidCmdPrepare() == 1);
    Pause(10);
    // A site that could not be prepared was never compared: it does not pass.
    if (!prepared) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    const auto onBlock = [&](size_t block) { page.setProgressPos(progress.at(site, block + 1)); };
    if (!VerifyMainFlash(page, run, site, image, 1, MismatchLine::Logged, onBlock).passed) {
        run.mark[site] = SiteRun::kFailed;
    }
}

}  // namespace
}  // namespace engine_hid

void SiteVerifyThread(WorkerPage& page) {
    using namespace engine_hid;
    g_bTaskWorking = true;
    page.enableControl(ctl::kCancel, true);
    page.enableControl(ctl::kAuto, false);
    page.setProgressPos(0);
    g_bSocketFound.fill(0);
    SiteRun run;

    if (auto image = LoadRunImage(page, 0xFF)) {
        page.showControl(ctl::kProgress, true);
        page.enableControl(ctl::kCancel, true);
        ReadFirmwareVersion(page, run);
        const std::span<const uint8_t> bytes(image->buffer.data(), image->size);
        const VerifyProgress progress((image->size + kReadBlockSize - 1) / kReadBlockSize);
        page.setProgressRange(0, progress.upper());
        page.setProgressPos(0);
        LogAndScroll(page, "Begin verifying........");
        const double start = platform::wallSeconds();

        for (int site = 0; site < kSiteCount; ++site) {
            VerifySite(page, run, site, bytes, progress);
            page.setProgressPos(progress.at(site + 1, 0));
        }

        LogAndScroll(page, strfmt("Verify elapsed time : %2.1f seconds\n", SecondsSince(start)));
        ReportWhenNoSiteFound(page, run);
    } else {
        run.ok = false;
    }

    CountSites(page, run, PowerOff::Yes, SiteOrder::LastFirst);
    ShowRunEnd(page, SaveCounters::No, icon::kBurnVerify);
    SoundRunResult(run);
    g_bTaskWorking = false;
}
