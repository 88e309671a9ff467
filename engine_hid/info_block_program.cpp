// Rewrites the information block of every found target: keeps its first four words, erases
// the block, writes them back with the option words, and compares the block's first 1 KB.
#include <algorithm>
#include <cstring>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/info_block_image.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

constexpr ConnectPauses kScanPauses = {10, 10, 10};
constexpr size_t kKeptBytes = 16;
constexpr size_t kComparedBytes = 1024;
constexpr size_t kWrittenOptionWords = 22;

using KeptWords = std::array<uint8_t, kKeptBytes>;

uint32_t WordAt(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void ScanSites(WorkerPage& page, SiteRun& run) {
    for (int site = 0; site < kSiteCount; ++site) {
        const Reach reach = PowerUpAndConnect(run, site, Connect::Classic, kScanPauses);
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
void ProgramSite(SiteRun& run, int site, const OptionWords& words, KeptWords& kept) {
    if (!SelectSite(run, site)) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    Pause(100);
    FlashUnlockCtrl();
    FlashUnlockOption();
    std::array<uint8_t, kReadBlockSize> head{};
    if (HidReadBlock2(kInfoBlockBase, head) != 1) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    std::copy_n(head.begin(), kKeptBytes, kept.begin());
    HidCmdEraseAddr(kTargetFlashBase);
    HidCmdEraseInfo(kInfoBlockBase);
    for (uint32_t k = 0; k < kKeptBytes / 4; ++k) HidWriteWord(kInfoBlockBase + 4 * k, WordAt(&kept[4 * k]));
    if (g_bInfoBlockEnable) {
        for (uint32_t i = 0; i < kWrittenOptionWords; ++i) HidWriteWord(kOptionWordsBase + 4 * i, words[i]);
    }
    FlashEnableWrite();
}

// The kept words, then the option words, then 0xFF.
std::array<uint8_t, kComparedBytes> ExpectedBlock(const KeptWords& kept, const OptionWords& words) {
    std::array<uint8_t, kComparedBytes> expected;
    expected.fill(0xFF);
    std::copy(kept.begin(), kept.end(), expected.begin());
    for (size_t i = 0; i < words.size(); ++i) {
        for (size_t j = 0; j < 4; ++j) expected[kKeptBytes + 4 * i + j] = static_cast<uint8_t>(words[i] >> (8 * j));
    }
    return expected;
}

// Compares every block and logs each one that differs; a block that cannot be read differs.
void VerifySite(WorkerPage& page, SiteRun& run, int site, const std::array<uint8_t, kComparedBytes>& expected) {
    if (!SelectSite(run, site)) {
        run.mark[site] = SiteRun::kFailed;
        return;
    }
    Pause(10);
    Pause(10);
    HidCmdPrepare();
    Pause(200);
    for (size_t offset = 0; offset < kComparedBytes; offset += kReadBlockSize) {
        std::array<uint8_t, kReadBlockSize> block{};
        const bool read = HidReadBytes(kInfoBlockBase + static_cast<uint32_t>(offset), block) == 1;
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
        std::array<KeptWords, kSiteCount> kept{};
        for (int site = 0; site < kSiteCount; ++site) {
            if (g_bSocketFound[site]) ProgramSite(run, site, words, kept[site]);
        }
        Pause(200);
        LogAndScroll(page, strfmt("program information data elapsed time : %2.1f seconds\n", SecondsSince(start)));

        page.addLog("Begin verify information data........");
        start = platform::wallSeconds();
        for (int site = 0; site < kSiteCount; ++site) {
            if (g_bSocketFound[site] && run.mark[site] == SiteRun::kGood) {
                VerifySite(page, run, site, ExpectedBlock(kept[site], words));
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
