// Rewrites the information block of every found target: keeps its first four words, erases
// the block, writes them back with the option words, and compares the block's first 1 KB.
#include <algorithm>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/info_area_steps.h"
#include "engine_hid/info_block_image.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

constexpr ConnectPauses kScanPauses = {10, 10, 10};

void ScanSites(WorkerPage& page, SiteRun& run) {
    for (int site = 0; site < kSiteCount; ++site) {
        const Reach reach = PowerUpAndConnect(page, run, site, Connect::Classic, kScanPauses);
        if (reach != Reach::Connected) {
            g_bSocketFound[site] = 0;
            run.mark[site] = SiteRun::kNoTarget;
            ShowSiteMissing(page, site);
            if (reach == Reach::NoTarget) HidSetSocketPower(0);
            continue;
        }
        HidCmdPrepare();
        g_bSocketFound[site] = 1;
        ShowSiteFound(page, site);
    }
}

// Keeps the block's first four words, erases it and writes them back with the option words.
// A site whose kept words cannot be read is left unerased: erasing would lose them.
void ProgramSite(WorkerPage& page, SiteRun& run, int site, const OptionWords& words, KeptInfo& kept) {
    if (!SelectSite(run, site)) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    Pause(100);
    if (!RewriteOptionPage(page, run, site, kept, words, g_bInfoBlockEnable != 0)) run.mark[site] = SiteRun::kFailed;
}

// Compares every block and logs each one that differs; a block that cannot be read differs.
void VerifySite(WorkerPage& page, SiteRun& run, int site, const std::array<uint8_t, kInfoPageBytes>& expected) {
    if (!SelectSite(run, site)) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    Pause(10);
    Pause(10);
    HidCmdPrepare();
    Pause(200);
    for (size_t offset = 0; offset < expected.size(); offset += kReadBlockSize) {
        std::array<uint8_t, kReadBlockSize> block{};
        const bool read = HidReadBytes(kTargetInfoBase + static_cast<uint32_t>(offset), block) == 1;
        if (read && std::equal(block.begin(), block.end(), expected.begin() + offset)) continue;
        LogAndScroll(page, strfmt("Verified information block Failure at 0x%x!!!", static_cast<unsigned>(offset)));
        run.mark[site] = SiteRun::kFailed;
    }
}

}  // namespace
}  // namespace engine_hid

void ProgramInfoBlockThread(WorkerPage& page) {
    using namespace engine_hid;
    g_bTaskWorking = true;
    page.enableControl(ctl::kAuto, false);
    ShowProtectionGroup(page, false);
    page.showControl(ctl::kConfig, false);
    SiteRun run;
    const OptionWords words = BuildOptionWords();

    ReadFirmwareVersion(page, run);
    page.addLog("Begin scan IC........");
    double start = platform::wallSeconds();
    ScanSites(page, run);
    page.addLog(strfmt("scan IC elapsed time : %2.1f seconds\n", SecondsSince(start)));

    if (!AnySiteFound()) {
        page.messageBox("No Target IC found!", platform::MsgIcon::Error);
    } else {
        page.addLog("Begin program information data........");
        start = platform::wallSeconds();
        std::array<KeptInfo, kSiteCount> kept;
        for (int site = 0; site < kSiteCount; ++site) {
            if (g_bSocketFound[site]) ProgramSite(page, run, site, words, kept[site]);
        }
        Pause(200);
        LogAndScroll(page, strfmt("program information data elapsed time : %2.1f seconds\n", SecondsSince(start)));

        page.addLog("Begin verify information data........");
        start = platform::wallSeconds();
        for (int site = 0; site < kSiteCount; ++site) {
            if (g_bSocketFound[site] && run.mark[site] == SiteRun::kGood) {
                VerifySite(page, run, site, ExpectedOptionPage(kept[site], words));
            }
        }
        LogAndScroll(page, strfmt("verify information data elapsed time : %2.1f seconds\n", SecondsSince(start)));
    }

    CountSites(page, run, PowerOff::No, SiteOrder::LastFirst);
    page.enableControl(ctl::kAuto, true);
    page.setControlIcon(ctl::kBurn, icon::kBurnProgram);
    ShowProtectionGroup(page, true);
    page.showControl(ctl::kConfig, true);
    g_bTaskWorking = false;
}
