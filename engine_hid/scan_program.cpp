// The burns that run as passes over the sites: scan first (find the targets, then erase,
// program, verify and the information data each as one pass over the found sites), or one pass
// that does everything for a site before the next. None of them numbers the parts.
#include <algorithm>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_hid/burn_steps.h"
#include "engine_hid/hid_workers.h"
#include "engine_hid/info_area_steps.h"
#include "engine_hid/pause.h"
#include "engine_hid/site_steps.h"
#include "link/hid_commands.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

constexpr ConnectPauses kScanPauses = {10, 10, 10};
constexpr ConnectPauses kSiteConnectPauses = {0, 10, 10};  // "connect the site" of a later pass
constexpr ConnectPauses kNoPauses = {0, 0, 0};

// The scan-first runs program the last page's tail as 0x00; they leave the sites as their last
// pass left them.
constexpr BurnFrame kScanFrame = {0x00, true, PowerOff::No, SiteOrder::LastFirst};
constexpr BurnFrame kScanFrameFirstFirst = {0x00, false, PowerOff::No, SiteOrder::FirstFirst};
constexpr BurnFrame kOnePassFrame = {0xFF, false, PowerOff::Yes, SiteOrder::FirstFirst};

// Whether a pass powers a site off when it is done with it.
enum class PowerAfter { Keep, Off, OffWhenEmpty };

// How a run erases main flash.
enum class MainErase {
    KeepingHead,    // 0x26, 0x27 twice, the information block's first four words written back
    WithQuery,      // 0x26, then the 0x22 query twice
    Pages1K,        // 0x26, then 0x28 at every 1 KB of the first 64 KB
    Pages2K,        // 0x26, then 0x28 at every 2 KB of the first 64 KB
    ChipTwice,      // 0x26 and 0x27, 100 ms, 0x26 and 0x27 again, 200 ms
};

// False when an exchange of the erase failed: the part cannot be taken as erased.
bool EraseMainFlash(WorkerPage& page, SiteRun& run, int site, MainErase erase) {
    bool ok = true;
    const auto step = [&](int result) { ok = run.note(result == 1) && ok; };
    const auto pages = [&](uint32_t stride) {
        step(HidCmdEraseAddr(kTargetFlashBase));
        for (uint32_t offset = 0; offset < 0x10000; offset += stride) step(HidCmdEraseInfo(kTargetFlashBase + offset));
    };
    switch (erase) {
    case MainErase::KeepingHead: {
        KeptInfo kept;
        // A part whose head could not be read is not erased: the head would be lost.
        if (!SaveInfoHead(run, kept, 1, false)) return false;
        step(HidCmdEraseAddr(kTargetFlashBase));
        step(HidCmdErase27());
        step(HidCmdErase27());
        // Once an erase went out the head goes back, whatever the erase answered.
        return WriteBackKept(page, run, site, HeadWords(kept, kTargetInfoBase, kKeptHeadBytes)) && ok;
    }
    case MainErase::WithQuery:
        step(HidCmdEraseAddr(kTargetFlashBase));
        step(HidCmdQuery22());
        step(HidCmdQuery22());
        return ok;
    case MainErase::Pages1K: pages(1024); return ok;
    case MainErase::Pages2K: pages(2048); return ok;
    case MainErase::ChipTwice:
        step(HidCmdEraseAddr(kTargetFlashBase));
        step(HidCmdErase27());
        Pause(100);
        step(HidCmdEraseAddr(kTargetFlashBase));
        step(HidCmdErase27());
        return ok;
    }
    return false;
}

bool Found(int site) { return g_bSocketFound[site] != 0; }
bool FoundAndGood(const SiteRun& run, int site) { return Found(site) && run.mark[site] == SiteRun::kGood; }

void NoteMissing(WorkerPage& page, SiteRun& run, int site) {
    g_bSocketFound[site] = 0;
    run.mark[site] = SiteRun::kNoTarget;
    ShowSiteMissing(page, site);
}

void NoteFound(WorkerPage& page, int site) {
    g_bSocketFound[site] = 1;
    ShowSiteFound(page, site);
}

// One pass over some sites under its heading and elapsed-time line.
void Pass(WorkerPage& page, const char* heading, const char* elapsed, const std::function<void()>& body) {
    page.addLog(heading);
    const double start = platform::wallSeconds();
    body();
    LogAndScroll(page, strfmt(elapsed, SecondsSince(start)));
}

// Finds the targets; with an erase, a found part is erased in the scan too. False, after
// telling the operator, when no site answered.
bool ScanSites(WorkerPage& page, SiteRun& run, const ConnectPauses& pauses, PowerAfter power,
               std::optional<MainErase> erase) {
    Pass(page, "Begin scan IC........", "scan IC elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            const Reach reach = PowerUpAndConnect(page, run, site, Connect::Classic, pauses);
            if (reach == Reach::Connected) {
                run.note(HidCmdPrepare() == 1);
                if (erase && !EraseMainFlash(page, run, site, *erase)) run.mark[site] = SiteRun::kFailed;
                if (erase) Pause(200);
                NoteFound(page, site);
            } else {
                NoteMissing(page, run, site);
            }
            const bool off = power == PowerAfter::Off || (power == PowerAfter::OffWhenEmpty && reach == Reach::NoTarget);
            if (reach != Reach::NotSelected && off) {
                HidSetSocketPower(0);
            }
        }
    });
    if (AnySiteFound()) return true;
    ReportWhenNoSiteFound(page, run);
    return false;
}

// "Connect the site" of the passes after the scan; a found part that no longer answers fails.
bool ConnectSite(WorkerPage& page, SiteRun& run, int site) {
    if (PowerUpAndConnect(page, run, site, Connect::Classic, kSiteConnectPauses) == Reach::Connected) return true;
    run.mark[site] = SiteRun::kFailed;
    return false;
}

void PowerOffWhen(PowerAfter power) {
    if (power == PowerAfter::Off) HidSetSocketPower(0);
}

void ErasePass(WorkerPage& page, SiteRun& run, MainErase erase, PowerAfter power) {
    Pass(page, "Begin chip erase........", "chip erase elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            if (!Found(site)) continue;
            if (ConnectSite(page, run, site) && !EraseMainFlash(page, run, site, erase)) run.mark[site] = SiteRun::kFailed;
            PowerOffWhen(power);
        }
        Pause(200);
    });
}

// Programs the image's pages into a connected part; a part not programmed whole fails.
void ProgramSite(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> pages) {
    int pageCounter = 0;
    page.setProgressPos(0);
    if (!ProgramImage(page, run, pages, pageCounter)) run.mark[site] = SiteRun::kFailed;
}

void ProgramPass(WorkerPage& page, SiteRun& run, std::span<const uint8_t> pages, PowerAfter power) {
    Pass(page, "Begin program........", "program elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            if (!FoundAndGood(run, site)) continue;
            if (ConnectSite(page, run, site)) ProgramSite(page, run, site, pages);
            PowerOffWhen(power);
        }
    });
}

// Reads the programmed pages back; a part that differs fails.
void VerifySite(WorkerPage& page, SiteRun& run, int site, std::span<const uint8_t> pages, int retries,
                MismatchLine line) {
    const auto onBlock = [&](size_t block) { page.setProgressPos(static_cast<int>(block / 64)); };
    if (!VerifyMainFlash(page, run, site, pages, retries, line, onBlock).passed) run.mark[site] = SiteRun::kFailed;
}

// The verify pass after a reconnect of each site.
void VerifyPass(WorkerPage& page, SiteRun& run, std::span<const uint8_t> pages, int retries, MismatchLine line) {
    Pass(page, "Begin verifying........", "Verify elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            if (FoundAndGood(run, site) && ConnectSite(page, run, site)) VerifySite(page, run, site, pages, retries, line);
        }
    });
}

// The information pass of the scan-first runs over the sites it serves.
void InfoPass(WorkerPage& page, SiteRun& run, const OptionWords& words, std::array<KeptInfo, kSiteCount>& kept,
              bool prepare, const std::function<bool(int)>& serves) {
    Pass(page, "Begin program information data........", "program information data elapsed time : %2.1f seconds\n",
         [&] {
             for (int site = 0; site < kSiteCount; ++site) {
                 if (!serves(site)) continue;
                 if (!SelectSite(run, site)) {
                     run.mark[site] = SiteRun::kFailed;
                     continue;
                 }
                 if (prepare) run.note(HidCmdPrepare() == 1);
                 Pause(200);
                 if (!RewriteOptionPage(page, run, site, kept[site], words, g_bInfoBlockEnable != 0)) {
                     run.mark[site] = SiteRun::kFailed;
                 }
             }
             Pause(200);
         });
}

// Selects a site and prepares it for the information read-back.
bool PrepareInfoRead(SiteRun& run, int site, uint32_t settleMs) {
    if (!SelectSite(run, site)) return false;
    Pause(10);
    Pause(10);
    run.note(HidCmdPrepare() == 1);
    Pause(settleMs);
    return true;
}

// The bytes 16 to 31 of the option page one by one, then its further blocks: the offset of the
// first byte (in the first block) or block that differs.
std::optional<size_t> FirstInfoDifference(std::span<const uint8_t> expected) {
    std::array<uint8_t, kReadBlockSize> first{};
    const bool read = HidReadBytes(kTargetInfoBase, first) == 1;
    for (size_t i = kKeptHeadBytes; i < kReadBlockSize; ++i) {
        if (!read || first[i] != expected[i]) return i;
    }
    return FirstDifferingBlock(kTargetInfoBase, expected, 1);
}

// The verify pass of a run that left every part powered and connected: no reconnect before
// the comparison, a connect and prepare after it.
void VerifyPoweredPass(WorkerPage& page, SiteRun& run, std::span<const uint8_t> pages) {
    Pass(page, "Begin verifying........", "Verify elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            if (!FoundAndGood(run, site)) continue;
            if (!SelectSite(run, site)) {
                run.mark[site] = SiteRun::kFailed;
                continue;
            }
            HidSetSocketPower(1);
            Pause(10);
            Pause(10);
            Pause(10);
            VerifySite(page, run, site, pages, 1, MismatchLine::Logged);
            HidConnectTarget();
            run.note(HidCmdPrepare() == 1);
        }
    });
}

// Reads each good part's option page back, logs where it first differs and goes on.
void InfoVerifyPass(WorkerPage& page, SiteRun& run, const OptionWords& words, const std::array<KeptInfo, kSiteCount>& kept) {
    Pass(page, "Begin verify information data........", "verify information data elapsed time : %2.1f seconds\n", [&] {
        for (int site = 0; site < kSiteCount; ++site) {
            if (!FoundAndGood(run, site)) continue;
            const auto differs = PrepareInfoRead(run, site, 300) ? FirstInfoDifference(ExpectedOptionPage(kept[site], words))
                                                                 : std::optional<size_t>(0);
            if (!differs) continue;
            LogAndScroll(page, strfmt("Verified information block Failure on 0x%x at site %d!!!",
                                      static_cast<unsigned>(*differs), site + 1));
            run.ok = false;
            run.mark[site] = SiteRun::kFailed;
        }
    });
}

// Reads each good part's option page back; the first that differs ends the run, and no part
// left unchecked passes on its main flash alone.
void InfoVerifyUntilDifference(WorkerPage& page, SiteRun& run, const OptionWords& words,
                               const std::array<KeptInfo, kSiteCount>& kept) {
    page.addLog("Begin verify information data........");
    const double start = platform::wallSeconds();
    for (int site = 0; site < kSiteCount; ++site) {
        if (!FoundAndGood(run, site)) continue;
        const auto differs = PrepareInfoRead(run, site, 200)
                                 ? FirstDifferingBlock(kTargetInfoBase, ExpectedOptionPage(kept[site], words), 0)
                                 : std::optional<size_t>(0);
        if (!differs) continue;
        page.messageBox(strfmt("Verified information block Failure at 0x%x!!!", static_cast<unsigned>(*differs)),
                        platform::MsgIcon::Error);
        run.ok = false;
        for (int later = site; later < kSiteCount; ++later) {
            if (FoundAndGood(run, later)) run.mark[later] = SiteRun::kFailed;
        }
        return;
    }
    LogAndScroll(page, strfmt("verify information data elapsed time : %2.1f seconds\n", SecondsSince(start)));
}

bool AlwaysGoOn(RunImage&) { return true; }

std::span<const uint8_t> Pages(const RunImage& image) { return {image.buffer.data(), PagesEnd(image.size)}; }

void ScanProgram(WorkerPage& page, const BurnFrame& frame, MainErase erase) {
    RunBurnFrame(page, frame, AlwaysGoOn, [&](SiteRun& run, RunImage& image, bool) {
        if (!ScanSites(page, run, kScanPauses, PowerAfter::Off, {})) return;
        ErasePass(page, run, erase, PowerAfter::Off);
        ProgramPass(page, run, Pages(image), PowerAfter::Off);
        VerifyPass(page, run, Pages(image), 1, MismatchLine::Logged);
    });
}

// Each site found is erased, programmed and compared before the next; a run without targets
// counts nothing and sounds the fail tone.
void OnePass(WorkerPage& page, MainErase erase) {
    RunBurnFrame(page, kOnePassFrame, AlwaysGoOn, [&](SiteRun& run, RunImage& image, bool) {
        const std::span<const uint8_t> pages = Pages(image);
        Pass(page, "Begin scan IC........", "scan IC elapsed time : %2.1f seconds\n", [&] {
            for (int site = 0; site < kSiteCount; ++site) {
                page.setProgressPos(0);
                if (PowerUpAndConnect(page, run, site, Connect::Classic, kNoPauses) != Reach::Connected) {
                    NoteMissing(page, run, site);
                    continue;
                }
                run.note(HidCmdPrepare() == 1);
                const bool erased = EraseMainFlash(page, run, site, erase);
                NoteFound(page, site);
                if (erase == MainErase::ChipTwice) Pause(200);
                if (!erased) {
                    run.mark[site] = SiteRun::kFailed;
                    continue;
                }
                ProgramSite(page, run, site, pages);
                if (run.mark[site] == SiteRun::kGood) VerifySite(page, run, site, pages, 0, MismatchLine::Silent);
            }
        });
        if (!AnySiteFound()) run.ok = false;
    });
}

}  // namespace
}  // namespace engine_hid

void ScanProgramInfoThread(WorkerPage& page) {
    using namespace engine_hid;
    const OptionWords words = BuildOptionWords();
    RunBurnFrame(page, kScanFrame, AlwaysGoOn, [&](SiteRun& run, RunImage& image, bool) {
        if (!ScanSites(page, run, kScanPauses, PowerAfter::Keep, {})) return;
        ErasePass(page, run, g_bInfoBlockEnable ? MainErase::KeepingHead : MainErase::WithQuery, PowerAfter::Keep);
        ProgramPass(page, run, Pages(image), PowerAfter::Keep);
        Pause(100);
        VerifyPoweredPass(page, run, Pages(image));
        if (!g_bInfoBlockEnable) return;
        std::array<KeptInfo, kSiteCount> kept;
        InfoPass(page, run, words, kept, false, [&](int site) { return FoundAndGood(run, site); });
        InfoVerifyPass(page, run, words, kept);
    });
}

void ScanProgramInfoThreadB(WorkerPage& page) {
    using namespace engine_hid;
    const OptionWords words = BuildOptionWords();
    RunBurnFrame(page, kScanFrame, AlwaysGoOn, [&](SiteRun& run, RunImage& image, bool) {
        if (!ScanSites(page, run, kScanPauses, PowerAfter::Off, {})) return;
        ErasePass(page, run, MainErase::KeepingHead, PowerAfter::Off);
        ProgramPass(page, run, Pages(image), PowerAfter::Off);
        VerifyPass(page, run, Pages(image), 1, MismatchLine::Logged);
        std::array<KeptInfo, kSiteCount> kept;
        InfoPass(page, run, words, kept, true, Found);
        InfoVerifyUntilDifference(page, run, words, kept);
    });
}

void ScanProgramThread(WorkerPage& page) {
    engine_hid::ScanProgram(page, engine_hid::kScanFrame, engine_hid::MainErase::KeepingHead);
}

void ScanProgramThreadB(WorkerPage& page) {
    engine_hid::ScanProgram(page, engine_hid::kScanFrameFirstFirst, engine_hid::MainErase::Pages1K);
}

void ScanProgramNoEraseThread(WorkerPage& page) {
    using namespace engine_hid;
    RunBurnFrame(page, kScanFrameFirstFirst, AlwaysGoOn, [&](SiteRun& run, RunImage& image, bool) {
        if (!ScanSites(page, run, kNoPauses, PowerAfter::OffWhenEmpty, MainErase::ChipTwice)) return;
        ProgramPass(page, run, Pages(image), PowerAfter::Keep);
        VerifyPass(page, run, Pages(image), 0, MismatchLine::Silent);
    });
}

void ScanOnePassThread(WorkerPage& page) { engine_hid::OnePass(page, engine_hid::MainErase::Pages2K); }

void ScanOnePassThreadB(WorkerPage& page) { engine_hid::OnePass(page, engine_hid::MainErase::ChipTwice); }
