#include "dialogs/info_block_workers.h"

#include <optional>
#include <span>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_hid/kept_words.h"
#include "engine_hid/pause.h"
#include "link/hid_commands.h"
#include "link/hid_device.h"
#include "platform/byte_order.h"
#include "platform/strfmt.h"
#include "res/info_block_templates.h"

using engine_hid::CommitWriteBack;
using engine_hid::KeptWord;
using engine_hid::KeptWords;
using engine_hid::KeptWordsAt;
using engine_hid::KeptWordText;
using engine_hid::Pause;
using engine_hid::WordsToName;
using engine_hid::WriteBack;

namespace {

constexpr uint32_t kBlock = 32;
constexpr uint32_t kSecurityHeadBytes = 128;
constexpr uint32_t kSecurityWord100 = 0x100;
constexpr uint32_t kSecurityWord108 = 0x108;

uint32_t PageBase(uint32_t pageIndex) { return pageIndex != 0 ? kTargetInfoPage2 : kTargetInfoBase; }

// False when the select failed: what follows would reach the site selected before.
bool SelectAndPrepare(uint32_t socket) {
    if (HidSelectSocket(socket) != 1) return false;
    Pause(200);
    HidCmdPrepare();
    Pause(200);
    return true;
}

void ReportWriteFailure(WorkerPage& page, uint32_t address) {
    page.messageBox(strfmt("Write fail at 0x%08X!", address), platform::MsgIcon::Error);
}

// Reads out from address on the prepared site; nothing is read when the site cannot be selected.
void ReadFromSite(WorkerPage& page, uint32_t socket, uint32_t address, std::span<uint8_t> out) {
    if (SelectAndPrepare(socket)) {
        ReadByteBlocks(page, address, out);
    } else {
        ReportReadFailure(page, address);
    }
}

std::array<uint8_t, kInfoPageSize> ReadPage(WorkerPage& page, uint32_t socket, uint32_t pageIndex) {
    std::array<uint8_t, kInfoPageSize> bytes;
    bytes.fill(0xFF);
    ReadFromSite(page, socket, PageBase(pageIndex), bytes);
    return bytes;
}

// Word writes from address, the bar at each word's index, then the write enable. A write after
// a failed unlock does not take, so that is reported too.
bool WriteWords(WorkerPage& page, uint32_t address, std::span<const uint8_t> bytes, bool unlocked) {
    std::optional<uint32_t> failed;
    for (uint32_t i = 0; 4 * i < bytes.size(); ++i) {
        if (HidWriteWord(address + 4 * i, LittleEndianAt(bytes, 4 * i)) != 1 && !failed) failed = address + 4 * i;
        page.setProgressPos(static_cast<int>(i));
    }
    const bool enabled = FlashEnableWrite();
    if (failed || !enabled || !unlocked) ReportWriteFailure(page, failed.value_or(address));
    return !failed && enabled && unlocked;
}

// Both key pairs, then command 0x26 with the flash base, which the adapter has always been sent
// before information-area writes and erases.
bool UnlockForInfoWrite() {
    const bool ctrl = FlashUnlockCtrl() == 1;
    const bool option = FlashUnlockOption() == 1;
    const bool erase = HidCmdEraseAddr(kTargetFlashBase) == 1;
    return ctrl && option && erase;
}

struct SecurityWords {
    std::array<uint8_t, kSecurityHeadBytes> head;
    std::array<uint8_t, 4> word100, word108;
};

// In the order the adapter has always been asked: block 0, the two single words, blocks 1 to 3.
std::optional<SecurityWords> ReadSecurityWords() {
    SecurityWords words;
    const std::span head(words.head);
    bool ok = HidReadBlock2(kTargetInfoBase, head.subspan(0, kBlock)) == 1;
    ok = HidReadBytes(kTargetInfoBase + kSecurityWord100, words.word100) == 1 && ok;
    ok = HidReadBytes(kTargetInfoBase + kSecurityWord108, words.word108) == 1 && ok;
    for (uint32_t k = 1; k < kSecurityHeadBytes / kBlock; ++k)
        ok = HidReadBlock2(kTargetInfoBase + kBlock * k, head.subspan(kBlock * k, kBlock)) == 1 && ok;
    if (!ok) return std::nullopt;
    return words;
}

}  // namespace

// The adapter needs a moment after the last command before the next task may start.
void SettleAfterTask() {
    Pause(1);
    Pause(1);
}

void ReportReadFailure(WorkerPage& page, uint32_t address) {
    page.messageBox(strfmt("Read fail at 0x%08X!", address), platform::MsgIcon::Error);
}

bool ReadByteBlocks(WorkerPage& page, uint32_t address, std::span<uint8_t> out) {
    std::optional<uint32_t> failed;
    for (uint32_t k = 0; k * kBlock < out.size(); ++k) {
        if (HidReadBytes(address + kBlock * k, out.subspan(kBlock * k, kBlock)) != 1 && !failed)
            failed = address + kBlock * k;
        page.setProgressPos(static_cast<int>(k));
    }
    if (failed) ReportReadFailure(page, *failed);
    return !failed;
}

ParameterArea ReadParameterArea(WorkerPage& page, uint32_t socket) {
    ParameterArea area;
    area.fill(0xFF);
    page.showControl(res::kIdcInfoBar, true);
    page.setProgressRange(0, static_cast<int>(area.size() / kBlock + 1));
    page.setProgressPos(0);
    ReadFromSite(page, socket, kParameterAreaAddr, area);
    page.setProgressPos(static_cast<int>(area.size() / kBlock + 1));
    page.showControl(res::kIdcInfoBar, false);
    SettleAfterTask();
    return area;
}

void WriteParameterArea(WorkerPage& page, uint32_t socket, const ParameterArea& area) {
    page.showControl(res::kIdcInfoBar, true);
    page.setProgressRange(0, static_cast<int>(area.size() / 4));
    page.setProgressPos(0);
    if (HidSelectSocket(socket) == 1) {
        Pause(200);
        const bool unlocked = UnlockForInfoWrite();
        WriteWords(page, kParameterAreaAddr, area, unlocked);
    } else {
        ReportWriteFailure(page, kParameterAreaAddr);
    }
    page.showControl(res::kIdcInfoBar, false);
    SettleAfterTask();
}

std::array<uint8_t, kInfoPageSize> ReadInfoPageBytes(WorkerPage& page, uint32_t socket, uint32_t pageIndex) {
    const auto bytes = ReadPage(page, socket, pageIndex);
    SettleAfterTask();
    return bytes;
}

InfoPageWords ReadInfoPage(WorkerPage& page, uint32_t socket, uint32_t pageIndex) {
    page.showControl(res::kIdcInfoBar, true);
    page.setProgressRange(0, static_cast<int>(kInfoPageSize / kBlock + 1));
    page.setProgressPos(0);
    const auto bytes = ReadPage(page, socket, pageIndex);
    page.setProgressPos(static_cast<int>(kInfoPageSize / kBlock + 1));
    InfoPageWords words;
    for (size_t i = 0; i < words.size(); ++i) words[i] = LittleEndianAt(bytes, 4 * i);
    page.showControl(res::kIdcInfoBar, false);
    SettleAfterTask();
    return words;
}

void WriteInfoPage(WorkerPage& page, uint32_t socket, uint32_t pageIndex, const InfoPageWords& words) {
    std::array<uint8_t, kInfoPageSize> bytes;
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t j = 0; j < 4; ++j) bytes[4 * i + j] = static_cast<uint8_t>(words[i] >> (8 * j));
    page.showControl(res::kIdcInfoBar, true);
    page.setProgressRange(0, static_cast<int>(words.size()));
    page.setProgressPos(0);
    if (SelectAndPrepare(socket)) {
        const bool unlocked = UnlockForInfoWrite();
        WriteWords(page, PageBase(pageIndex), bytes, unlocked);
    } else {
        ReportWriteFailure(page, PageBase(pageIndex));
    }
    page.showControl(res::kIdcInfoBar, false);
    SettleAfterTask();
}

bool EraseInfoPageKeepingSecurity(WorkerPage& page, uint32_t socket, uint32_t pageIndex) {
    if (!SelectAndPrepare(socket)) {
        page.messageBox("Erase fail!", platform::MsgIcon::Error);
        SettleAfterTask();
        return false;
    }
    const std::optional<SecurityWords> kept = ReadSecurityWords();
    if (!kept) {
        // Erasing now would lose the security words for good.
        page.messageBox("Can not read the security words, page not erased!", platform::MsgIcon::Error);
        SettleAfterTask();
        return false;
    }
    const uint32_t base = PageBase(pageIndex);
    KeptWords words = KeptWordsAt(base, kept->head);
    words.push_back({base + kSecurityWord100, LittleEndianAt(kept->word100, 0)});
    words.push_back({base + kSecurityWord108, LittleEndianAt(kept->word108, 0)});
    bool ok = UnlockForInfoWrite();
    ok = HidCmdEraseInfo(base) == 1 && ok;
    KeptWords lost = WriteBack(words);
    ok = CommitWriteBack(words, lost) && ok;
    SettleAfterTask();
    // What was read from a site never opened is not a part's: its erase names no word.
    const KeptWords named = WordsToName(lost);
    if (!named.empty()) {
        // The words are nowhere else now: the operator restores them with Write.
        std::string text = "Erase fail!\r\nKept words not written back:";
        for (const KeptWord& word : named) text += "\r\n" + KeptWordText(word);
        page.messageBox(text, platform::MsgIcon::Error);
    } else if (!ok || !lost.empty()) {
        page.messageBox("Erase fail!", platform::MsgIcon::Error);
    }
    return ok && lost.empty();
}

int PowerAndConnect(uint32_t socket) {
    if (HidSelectSocket(socket) != 1) return kConnectTransferFailed;
    Pause(10);
    HidSetSocketPower(1);
    Pause(10);
    const int result = HidConnectTarget();
    if (result == kConnectOk) HidCmdPrepare();
    return result;
}

void OpenDebugSite(uint32_t socket) {
    // The report buffers serve one user at a time.
    if (g_bTaskWorking) return;
    if (!OpenHidDevice()) {
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    if (PowerAndConnect(socket) != kConnectOk) MessageBox("No Target IC found!", platform::MsgIcon::Error);
}

bool CopySecurityToPage2(WorkerPage& page, uint32_t socket) {
    if (HidSelectSocket(socket) != 1) {
        page.messageBox("Erase fail!", platform::MsgIcon::Error);
        SettleAfterTask();
        return false;
    }
    Pause(200);
    std::array<uint8_t, 4> ignored;
    bool ok = HidReadWord05(0x0, ignored) == 1;
    ok = HidReadWord05(0x4, ignored) == 1 && ok;
    ok = HidWriteWord04(0x4, 0x50000000) == 1 && ok;
    ok = HidReadWord05(0x4, ignored) == 1 && ok;
    ok = HidWriteWord04(0x8, 0xF0) == 1 && ok;
    ok = HidReadWord(0xFC, ignored) == 1 && ok;
    ok = HidWriteWord04(0x8, 0x0) == 1 && ok;
    ok = HidWriteWord2(0x0, 0x23000042) == 1 && ok;
    ok = HidReadWord(0xC, ignored) == 1 && ok;
    ok = HidWriteWord2(0x4, 0x40014000) == 1 && ok;
    ok = HidReadWord05(0xC, ignored) == 1 && ok;
    SettleAfterTask();
    if (!ok) page.messageBox("Erase fail!", platform::MsgIcon::Error);
    return ok;
}
