// The site-by-site burns that also write the information area: the serial number in its second
// page, or the information words and the parameter data with the serial number in it. Each
// keeps the information block's head across the chip erase.
#include <algorithm>

#include "core/globals.h"
#include "core/parameter_file.h"
#include "core/registry_settings.h"
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

constexpr ConnectPauses kSitePauses = {10, 10, 10};
constexpr BurnStyle kSiteStyle = {1, SerialLine::Silent};
// The serial word in the second page, clear of the four kept words at its start.
constexpr InfoSerialWindow kSecondPageSerialWindow = {kInfoSecondPage, 0x10, 0x3FC};

using ParameterData = std::array<uint8_t, kParameterAreaSize>;

// Connects the site and prepares its target; false, with the site shown empty, when none answers.
bool ReachSite(WorkerPage& page, SiteRun& run, int site) {
    page.setProgressPos(0);
    if (PowerUpAndConnect(page, run, site, Connect::Classic, kSitePauses) != Reach::Connected) {
        g_bSocketFound[site] = 0;
        run.mark[site] = SiteRun::kNoTarget;
        ShowSiteMissing(page, site);
        return false;
    }
    run.note(HidCmdPrepare() == 1);
    g_bSocketFound[site] = 1;
    ShowSiteFound(page, site);
    return true;
}

// The chip erase with the information block's head kept: headBlocks of 32 bytes and the two
// single words are read first and written back after the erase (the first headWords of the head).
struct HeadErase {
    size_t headBlocks;
    size_t headWords;
    int eraseAddrCount;
};

bool EraseKeepingHead(WorkerPage& page, SiteRun& run, int site, const HeadErase& erase, KeptInfo& kept) {
    page.addLog("Begin chip erase........");
    const double start = platform::wallSeconds();
    bool erased = SaveInfoHead(run, kept, erase.headBlocks, true);
    if (erased) {
        for (int i = 0; i < erase.eraseAddrCount; ++i) erased = run.note(HidCmdEraseAddr(kTargetFlashBase) == 1) && erased;
        erased = run.note(HidCmdErase27() == 1) && erased;
        erased = run.note(HidCmdErase27() == 1) && erased;
        // Once an erase went out the head goes back, whatever the erase answered.
        KeptWords words = HeadWords(kept, kTargetInfoBase, 4 * erase.headWords);
        const KeptWords singles = SingleWords(kept);
        words.insert(words.end(), singles.begin(), singles.end());
        erased = WriteBackKept(page, run, site, words) && erased;
    }
    Pause(200);
    LogAndScroll(page, strfmt("chip erase elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
    return erased;
}

// The kept head's first four words, written back at the start of the rewritten page.
PageWrites KeptHeadAt(uint32_t page, const KeptInfo& kept) { return {HeadWords(kept, page, kKeptHeadBytes)}; }

// A serial number is spent once its write went out: the part may hold it even when the exchange
// failed. One whose write never went out is given back (when it was advanced at all).
void SettleSerial(WorkerPage& page, uint32_t serial, bool advanced, bool sent) {
    if (!advanced) return;
    if (sent) {
        ShowLastSerial(page);
    } else {
        RegReturnLastSn(serial);
    }
}

// Writes the serial word into the second page of the information area (the kept head's first
// four words go to the page's start); a part fails unless the rewrite went through and the word
// reads back.
enum class Advance { Always, WhenAutoIncrease };
void WriteSerialIntoSecondPage(WorkerPage& page, SiteRun& run, int site, const KeptInfo& kept, uint32_t address,
                               Advance advance) {
    LogAndScroll(page, strfmt("program serial on site %d", site + 1));
    const bool used = advance == Advance::Always || g_bSerialAutoInc;
    const std::optional<uint32_t> taken = TakeSerial(page, run, site, used);
    if (!taken) return;
    const uint32_t serial = *taken;
    bool sent = false;
    const bool written = UnlockFlash(run) && RewriteInfoPage(page, run, site, kInfoSecondPage,
                                                             {KeptHeadAt(kInfoSecondPage, kept), {{}, [&] {
                                                                  sent = true;
                                                                  return run.note(HidWriteWord(address, serial) == 1);
                                                              }}});
    if (!written || !SerialReadsBack(page, site, address, serial)) run.mark[site] = SiteRun::kFailed;
    SettleSerial(page, serial, used, sent);
}

constexpr BurnFrame kSiteFrame = {0xFF, true, PowerOff::No, SiteOrder::LastFirst};

// After a rewrite of the information area: the settling pause, then the area read back from base
// against expected. A part fails when the rewrite did not go through or the area differs.
struct ReadBackTexts {
    const char* failure;  // offset, site
    const char* elapsed;  // seconds, site
};
void SettleAndReadBack(WorkerPage& page, SiteRun& run, int site, double start, bool written, uint32_t base,
                       std::span<const uint8_t> expected, const ReadBackTexts& texts) {
    Pause(200);
    LogAndScroll(page, strfmt("program information data elapsed time : %2.1f seconds on site %d", SecondsSince(start), site + 1));
    LogAndScroll(page, strfmt("Begin verify information data on site %d", site + 1));
    start = platform::wallSeconds();
    const auto differs = FirstDifferingBlock(base, expected, 0);
    if (differs) {
        LogAndScroll(page, strfmt(texts.failure, static_cast<unsigned>(*differs), site + 1));
        run.ok = false;
    }
    if (differs || !written) run.mark[site] = SiteRun::kFailed;
    LogAndScroll(page, strfmt(texts.elapsed, SecondsSince(start), site + 1));
}

// The information words, then the block read back against them.
void WriteInfoData(WorkerPage& page, SiteRun& run, int site, const OptionWords& words, KeptInfo& kept) {
    LogAndScroll(page, strfmt("Begin program information data on site %d", site + 1));
    const double start = platform::wallSeconds();
    const bool written = UnlockFlash(run) && SaveInfoHead(run, kept, 1, true) &&
                         RewriteInfoPage(page, run, site, kTargetInfoBase,
                                         {KeptHeadAt(kTargetInfoBase, kept),
                                          {{}, [&] { return WriteInfoWords(run, words); }},
                                          {SingleWords(kept)}});
    SettleAndReadBack(page, run, site, start, written, kTargetInfoBase, ExpectedOptionPage(kept, words),
                      {"Verified information block Failure on 0x%x at site %d!!!",
                       "verify information data elapsed time : %2.1f seconds on site %d"});
}

// The parameter data, with this part's serial number in it when numbering is on, then read back.
void WriteParameterData(WorkerPage& page, SiteRun& run, int site, ParameterData& parameters, const KeptInfo& kept) {
    LogAndScroll(page, strfmt("Begin program information parameter data on site %d", site + 1));
    const bool numbered = g_bSerialEnable && g_dwSerialAddr <= kParameterAreaSize - 4;
    if (g_bSerialEnable && !numbered) LogSerialOutOfRange(page, site);
    uint32_t serial = 0;
    if (numbered) {
        const std::optional<uint32_t> taken = TakeSerial(page, run, site, true);
        if (!taken) return;
        serial = *taken;
        for (int i = 0; i < 4; ++i) parameters[g_dwSerialAddr + i] = static_cast<uint8_t>(serial >> (8 * i));
    }
    const double start = platform::wallSeconds();
    bool sent = false;
    const bool written = UnlockFlash(run) && RewriteInfoPage(page, run, site, kInfoSecondPage,
                                                             {KeptHeadAt(kInfoSecondPage, kept), {{}, [&] {
                                                                  sent = true;
                                                                  return WriteWords(run, kTargetSerialBase, parameters);
                                                              }}});
    SettleAndReadBack(page, run, site, start, written, kTargetSerialBase, parameters,
                      {"Verified information parameter Failure on 0x%x at site %d!!!",
                       "verify information parater elapsed time : %2.1f seconds on site %d"});
    SettleSerial(page, serial, numbered, sent);
}

}  // namespace
}  // namespace engine_hid

void SiteProgramSerialThread(WorkerPage& page) {
    using namespace engine_hid;
    SerialPlace serial = SerialPlace::kNone;
    const auto plan = [&](RunImage& image) {
        serial = PlanSerial(image.size, kSecondPageSerialWindow);
        return true;
    };
    RunBurnFrame(page, kSiteFrame, plan, [&](SiteRun& run, RunImage& image, bool) {
        for (int site = 0; site < kSiteCount; ++site) {
            if (!ReachSite(page, run, site)) continue;
            KeptInfo kept;
            if (EraseKeepingHead(page, run, site, {4, 32, 2}, kept)) {
                ProgramAndVerify(page, run, site, image, serial, kSiteStyle);
            } else {
                run.mark[site] = SiteRun::kFailed;
            }
            switch (serial) {
            case SerialPlace::kInInfoArea:
                if (run.mark[site] == SiteRun::kGood) {
                    WriteSerialIntoSecondPage(page, run, site, kept, kInfoSecondPage + g_dwSerialAddr,
                                              Advance::WhenAutoIncrease);
                }
                break;
            case SerialPlace::kAfterVerify: WriteSerialAfterImage(page, run, site, SerialLine::Silent); break;
            case SerialPlace::kOutOfRange: LogSerialOutOfRange(page, site); break;
            case SerialPlace::kNone:
            case SerialPlace::kInImage: break;
            }
        }
        ReportWhenNoSiteFound(page, run);
    });
}

void SiteProgramInfoThread(WorkerPage& page) {
    using namespace engine_hid;
    const OptionWords words = BuildSiteInfoWords();
    ParameterData parameters;
    parameters.fill(0xFF);
    const auto loadParameters = [&](RunImage&) {
        if (!g_bParamEnable) return true;
        const std::string path = g_strExeDir + "Data/" + g_strParam;
        if (LoadParameterFile(path, parameters) == 0) return true;
        page.messageBox(strfmt("File could not be opened\r\n%s !", path.c_str()), platform::MsgIcon::Error);
        return false;
    };
    const auto burnSite = [&](SiteRun& run, int site, RunImage& image) {
        if (!ReachSite(page, run, site)) return;
        KeptInfo kept;
        const HeadErase erase = g_bInfoBlockEnable ? HeadErase{1, 4, 1} : HeadErase{4, 32, 2};
        if (EraseKeepingHead(page, run, site, erase, kept)) {
            ProgramAndVerify(page, run, site, image, SerialPlace::kNone, kSiteStyle);
        } else {
            run.mark[site] = SiteRun::kFailed;
        }
        const auto good = [&] { return run.mark[site] == SiteRun::kGood; };
        if (g_bInfoBlockEnable && good()) WriteInfoData(page, run, site, words, kept);
        if (g_bSerialEnable && !g_bParamEnable && good()) {
            if (g_dwSerialAddr <= kParameterSerialWindow.last) {
                WriteSerialIntoSecondPage(page, run, site, kept, kTargetSerialBase + g_dwSerialAddr, Advance::Always);
            } else {
                LogSerialOutOfRange(page, site);
            }
        }
        if (g_bParamEnable && good()) WriteParameterData(page, run, site, parameters, kept);
    };
    RunBurnFrame(page, kSiteFrame, loadParameters, [&](SiteRun& run, RunImage& image, bool) {
        for (int site = 0; site < kSiteCount; ++site) burnSite(run, site, image);
        ReportWhenNoSiteFound(page, run);
    });
}
