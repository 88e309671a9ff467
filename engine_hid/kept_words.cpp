#include "engine_hid/kept_words.h"

#include <algorithm>
#include <iterator>

#include "link/hid_commands.h"
#include "platform/byte_order.h"
#include "platform/strfmt.h"

namespace engine_hid {

KeptWords KeptWordsAt(uint32_t address, std::span<const uint8_t> bytes) {
    KeptWords words;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        words.push_back({address + static_cast<uint32_t>(i), LittleEndianAt(bytes, i)});
    }
    return words;
}

KeptWords WordsToName(const KeptWords& lost) {
    KeptWords named;
    if (!HidSelectedTargetReached()) return named;
    std::copy_if(lost.begin(), lost.end(), std::back_inserter(named), [](const KeptWord& word) { return word.value != 0xFFFFFFFF; });
    return named;
}

KeptWords WriteBack(const KeptWords& words) {
    KeptWords lost;
    for (const KeptWord& word : words) {
        bool written = false;
        for (int i = 0; i < kWriteBackTries && !written; ++i) written = HidWriteWord(word.address, word.value) == 1;
        if (!written) lost.push_back(word);
    }
    return lost;
}

bool CommitWriteBack(const KeptWords& kept, KeptWords& lost) {
    if (FlashEnableWrite(kWriteBackTries)) return true;
    lost = kept;
    return false;
}

std::string KeptWordText(const KeptWord& word) { return strfmt("0x%08X: 0x%08X", word.address, word.value); }

}  // namespace engine_hid
