#include "engine_hid/info_area_steps.h"

#include <algorithm>

#include "link/hid_commands.h"
#include "platform/byte_order.h"
#include "platform/strfmt.h"

namespace engine_hid {
namespace {

// Logs each kept word that did not go back (none read from a part the run did not reach, nor
// one that read erased); true when there is none.
bool NoneLost(WorkerPage& page, int site, const KeptWords& lost) {
    for (const KeptWord& word : WordsToName(lost)) {
        LogAndScroll(page, strfmt("Kept word not written back on site %d, %s", site + 1, KeptWordText(word).c_str()));
    }
    return lost.empty();
}

}  // namespace

bool SaveInfoHead(SiteRun& run, KeptInfo& kept, size_t blocks, bool singles) {
    bool read = true;
    const auto step = [&](int result) { read = run.note(result == 1) && read; };
    kept.headBytes = blocks * kReadBlockSize;
    kept.singles = singles;
    const auto block = [&](size_t b) { return std::span(kept.head).subspan(b * kReadBlockSize, kReadBlockSize); };
    step(HidReadBlock2(kTargetInfoBase, block(0)));
    if (singles) {
        step(HidReadBytes(kTargetInfoBase + 0x100, kept.word100));
        step(HidReadBytes(kTargetInfoBase + 0x108, kept.word108));
    }
    for (size_t b = 1; b < blocks; ++b) {
        step(HidReadBlock2(kTargetInfoBase + static_cast<uint32_t>(b * kReadBlockSize), block(b)));
    }
    return read;
}

bool WriteWords(SiteRun& run, uint32_t address, std::span<const uint8_t> bytes) {
    bool written = true;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        written = run.note(HidWriteWord(address + static_cast<uint32_t>(i), LittleEndianAt(bytes, i)) == 1) && written;
    }
    return written;
}

KeptWords HeadWords(const KeptInfo& kept, uint32_t page, size_t bytes) {
    return KeptWordsAt(page, std::span(kept.head).first(bytes));
}

KeptWords SingleWords(const KeptInfo& kept) {
    KeptWords words = KeptWordsAt(kTargetInfoBase + 0x100, kept.word100);
    words.push_back(KeptWordsAt(kTargetInfoBase + 0x108, kept.word108).front());
    return words;
}

bool WriteBackKept(WorkerPage& page, SiteRun& run, int site, const KeptWords& words) {
    return run.note(NoneLost(page, site, WriteBack(words)));
}

bool UnlockFlash(SiteRun& run) {
    const bool ctrl = run.note(FlashUnlockCtrl() == 1);
    return run.note(FlashUnlockOption() == 1) && ctrl;
}

bool WriteInfoWords(SiteRun& run, const OptionWords& words) {
    bool written = true;
    for (uint32_t i = 0; i < kInfoWordsWritten; ++i) {
        written = run.note(HidWriteWord(kOptionWordsBase + 4 * i, words[i]) == 1) && written;
    }
    return written;
}

bool RewriteInfoPage(WorkerPage& page, SiteRun& run, int site, uint32_t pageAddress,
                     std::initializer_list<PageWrites> writes) {
    const bool erased = run.note(HidCmdEraseAddr(kTargetFlashBase) == 1) && run.note(HidCmdEraseInfo(pageAddress) == 1);
    bool written = erased;
    KeptWords kept, lost;
    for (const PageWrites& group : writes) {
        if (group.fresh) {
            if (erased) written = group.fresh() && written;
            continue;
        }
        kept.insert(kept.end(), group.kept.begin(), group.kept.end());
        const KeptWords failed = WriteBack(group.kept);
        lost.insert(lost.end(), failed.begin(), failed.end());
    }
    const bool committed = run.note(CommitWriteBack(kept, lost));
    return NoneLost(page, site, lost) && committed && written;
}

bool RewriteOptionPage(WorkerPage& page, SiteRun& run, int site, KeptInfo& kept, const OptionWords& words,
                       bool writeWords) {
    return UnlockFlash(run) && SaveInfoHead(run, kept, 1, false) &&
           RewriteInfoPage(page, run, site, kTargetInfoBase,
                           {{HeadWords(kept, kTargetInfoBase, kKeptHeadBytes)},
                            {{}, [&] { return !writeWords || WriteInfoWords(run, words); }}});
}

std::array<uint8_t, kInfoPageBytes> ExpectedOptionPage(const KeptInfo& kept, const OptionWords& words) {
    std::array<uint8_t, kInfoPageBytes> expected;
    expected.fill(0xFF);
    std::copy_n(kept.head.begin(), kKeptHeadBytes, expected.begin());
    for (size_t i = 0; i < words.size(); ++i) {
        for (size_t j = 0; j < 4; ++j) expected[kKeptHeadBytes + 4 * i + j] = static_cast<uint8_t>(words[i] >> (8 * j));
    }
    if (kept.singles) {
        std::copy(kept.word100.begin(), kept.word100.end(), expected.begin() + 0x100);
        std::copy(kept.word108.begin(), kept.word108.end(), expected.begin() + 0x108);
    }
    return expected;
}

std::optional<size_t> FirstDifferingBlock(uint32_t base, std::span<const uint8_t> expected, size_t firstBlock) {
    for (size_t offset = firstBlock * kReadBlockSize; offset < expected.size(); offset += kReadBlockSize) {
        std::array<uint8_t, kReadBlockSize> block{};
        const bool read = HidReadBytes(base + static_cast<uint32_t>(offset), block) == 1;
        if (!read || !std::equal(block.begin(), block.end(), expected.begin() + offset)) return offset;
    }
    return std::nullopt;
}

}  // namespace engine_hid
