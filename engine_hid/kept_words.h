#pragma once
// Words read from a part before an erase. Until they are back on the part they exist nowhere
// else, so a write-back that fails is sent again at once (one lost exchange must not cost the
// part a word), and the words that still did not go back are named with what the part held,
// for the operator to put back with the Information Block dialog's Write. A kept word belongs
// to the part it was read from and is never written into another.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine_hid {

struct KeptWord {
    uint32_t address;  // where it goes back
    uint32_t value;
};
using KeptWords = std::vector<KeptWord>;

// How often a write-back exchange is sent before the word counts as not written back.
constexpr int kWriteBackTries = 3;

// The words of bytes (least significant byte first) for address, address + 4, ...
KeptWords KeptWordsAt(uint32_t address, std::span<const uint8_t> bytes);
// Of the words that did not go back to the selected site's part, those to name: none when the
// commands never reached that part (its site off, or its target not connected), since the
// adapter made up what they read, whatever the values; and no word that read 0xFFFFFFFF, what
// the erase leaves there, so nothing of it is lost.
KeptWords WordsToName(const KeptWords& lost);
// Writes each word back; the words whose write failed every try.
KeptWords WriteBack(const KeptWords& words);
// Lands the information-area writes since the erase with the write enable, each failed exchange
// sent again at once. False when it did not: then none of kept may be on the part, and lost
// becomes all of them.
bool CommitWriteBack(const KeptWords& kept, KeptWords& lost);
// "0x1FF00004: 0x08070605": where the word goes and what the part held there.
std::string KeptWordText(const KeptWord& word);

}  // namespace engine_hid
