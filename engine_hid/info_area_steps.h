#pragma once
// Steps on the targets' information area that the burns with information data share: keeping
// the block's head across an erase, rewriting a 1 KB page of the area behind the controller's
// keys, and reading the area back against what it must hold.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>

#include "engine_hid/info_block_image.h"
#include "engine_hid/kept_words.h"
#include "engine_hid/site_steps.h"

namespace engine_hid {

constexpr uint32_t kInfoSecondPage = 0x1FF00400;
constexpr size_t kInfoWordsWritten = 22;  // words 0 to 21 from 0x1FF00010
constexpr size_t kKeptHeadBytes = 16;     // the four words a rewrite keeps at the area's start
constexpr size_t kInfoPageBytes = 1024;

// What a run keeps of the information block: bytes read from 0x1FF00000 on (one to four
// 32-byte blocks) and, when read, the words at 0x1FF00100 and 0x1FF00108.
struct KeptInfo {
    std::array<uint8_t, 4 * kReadBlockSize> head{};
    size_t headBytes = 0;
    std::array<uint8_t, 4> word100{}, word108{};
    bool singles = false;
};

// Reads the head's first block, then the two single words when asked, then its further blocks.
// False when a read failed: a part whose head is not known must not be erased.
bool SaveInfoHead(SiteRun& run, KeptInfo& kept, size_t blocks, bool singles);
// The head's first bytes as words for page, page + 4, ...
KeptWords HeadWords(const KeptInfo& kept, uint32_t page, size_t bytes);
// The words read at 0x1FF00100 and 0x1FF00108, for the same addresses.
KeptWords SingleWords(const KeptInfo& kept);
// Writes bytes word by word (least significant byte first) from address on, every word even
// after a failed one; false when any write failed.
bool WriteWords(SiteRun& run, uint32_t address, std::span<const uint8_t> bytes);
// Writes words kept across a chip erase back (each write tried again at once when it fails)
// and logs each one that did not go back; false then.
bool WriteBackKept(WorkerPage& page, SiteRun& run, int site, const KeptWords& words);
// Unlocks the flash controller and its options; false when a key did not go through.
bool UnlockFlash(SiteRun& run);
// The words 0 to kInfoWordsWritten - 1 of words from 0x1FF00010 on, as WriteWords writes.
bool WriteInfoWords(SiteRun& run, const OptionWords& words);

// A group of word writes in a page rewrite: words kept from before the erase, or new ones.
struct PageWrites {
    KeptWords kept;
    std::function<bool()> fresh = {};  // when set, the group's new words
};
// Erases the 1 KB information page at pageAddress (0x26 with the main-flash base, 0x28), writes
// the groups in order and commits them with the write enable. Once an erase command went out
// the kept words are written back and committed even when an erase exchange failed, since the
// page may be erased all the same; new words go only onto a page whose erase went through. Every
// word is sent before the commit, failed writes or not; a kept word's write and the commit are
// tried again at once when they fail, and each kept word that did not land is logged. False when
// any of it failed: a part never passes on half a page.
bool RewriteInfoPage(WorkerPage& page, SiteRun& run, int site, uint32_t pageAddress,
                     std::initializer_list<PageWrites> writes);
// Rewrites the option page: the controller unlocked, the page's first 16 bytes read into kept
// and written back after the erase, then the information words when asked. False, with nothing
// erased, when the unlock or the read failed.
bool RewriteOptionPage(WorkerPage& page, SiteRun& run, int site, KeptInfo& kept, const OptionWords& words,
                       bool writeWords);

// What the option page must read back after a rewrite: the kept head's first 16 bytes, the
// information words, the single words when they were kept, 0xFF elsewhere.
std::array<uint8_t, kInfoPageBytes> ExpectedOptionPage(const KeptInfo& kept, const OptionWords& words);

// Reads 32-byte blocks from base with one query per byte, from block firstBlock on, and gives
// the offset of the first block that differs from expected or cannot be read.
std::optional<size_t> FirstDifferingBlock(uint32_t base, std::span<const uint8_t> expected, size_t firstBlock);

}  // namespace engine_hid
