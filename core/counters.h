#pragma once
// The production counters (g_nTotalCount, g_nPassCount, g_nFailCount) and their stored values
// "Total Count", "Pass Count", "Fail Count". The worker counts parts while Reset Count may run
// on the user-interface thread and another copy of the program may save its own counts: every
// change happens under one lock, and a save adds this copy's parts to what the store holds in
// one step, so memory and store always hold Total = Pass + Fail and no part is lost. A part
// counted by a run that saves nothing (a verify-only run) waits in memory for the next save, so
// what the screen counted is what reaches the store.
#include <cstdint>
#include <initializer_list>
#include <optional>

struct Counts {
    uint32_t total = 0, pass = 0, fail = 0;
    bool operator==(const Counts&) const = default;
};

// Why counted parts did not reach the store: it could not be written (not locked, not read,
// damaged, or the write failed), its lock file could not be opened at all, or it holds "Pass
// Count" or "Fail Count" in a line it cannot read, so a sum worked out from it would drop what it
// holds. A setting's save says the same (StoreNotWritten for the INI file too).
enum class CountsSave { Saved, StoreNotWritten, LockNotOpened, CountsUnreadable };
// The first of saves that failed, Saved when none did.
CountsSave FirstRefusal(std::initializer_list<CountsSave> saves);
// The parts a save left in memory, and why.
struct UnsavedParts {
    Counts parts;
    CountsSave why = CountsSave::Saved;
};

// One finished part, in memory until the next SaveCountedParts.
void CountPart(bool passed);
// Adds the parts counted since the last save to the stored counters and takes the stored
// result as the counters in memory: what this copy shows is what the store holds. A store that
// cannot be written keeps them pending for the next save; unsaved, when given, receives them.
Counts SaveCountedParts(UnsavedParts* unsaved = nullptr);
// Reset Count: all three 0, in the store and then in memory, and no part pending. A store that
// cannot be written keeps its counts, so memory and the pending parts stay as they were and
// the result is empty (why, when given, says why): the screen must never show 0 while the store
// holds other counts.
std::optional<Counts> ResetCounters(CountsSave* why = nullptr);
// The counters in memory as one consistent triple.
Counts CurrentCounts();
