#include "core/counters.h"

#include <mutex>

#include "core/globals.h"
#include "core/registry_settings.h"

namespace {

std::mutex g_countLock;
Counts g_unsaved;  // parts counted in memory since the last save

Counts memoryCounts() { return {g_nTotalCount, g_nPassCount, g_nFailCount}; }

void setMemory(const Counts& counts) {
    g_nTotalCount = counts.total;
    g_nPassCount = counts.pass;
    g_nFailCount = counts.fail;
}

}  // namespace

void CountPart(bool passed) {
    std::lock_guard lock(g_countLock);
    ++g_nTotalCount;
    ++g_unsaved.total;
    if (passed) {
        ++g_nPassCount;
        ++g_unsaved.pass;
    } else {
        ++g_nFailCount;
        ++g_unsaved.fail;
    }
}

Counts SaveCountedParts(UnsavedParts* unsaved) {
    std::lock_guard lock(g_countLock);
    // A store that cannot be written keeps the counts in memory, and the parts stay pending
    // until a save reaches the store.
    Counts stored;
    const CountsSave result = RegAddCounts(g_unsaved.pass, g_unsaved.fail, stored);
    if (result == CountsSave::Saved) {
        setMemory(stored);
        g_unsaved = {};
    }
    if (unsaved) *unsaved = {g_unsaved, result};
    return memoryCounts();
}

CountsSave FirstRefusal(std::initializer_list<CountsSave> saves) {
    for (const CountsSave saved : saves)
        if (saved != CountsSave::Saved) return saved;
    return CountsSave::Saved;
}

std::optional<Counts> ResetCounters(CountsSave* why) {
    std::lock_guard lock(g_countLock);
    const CountsSave result = RegSaveCounts(0, 0, 0);
    if (why) *why = result;
    if (result != CountsSave::Saved) return std::nullopt;
    setMemory({});
    g_unsaved = {};
    return memoryCounts();
}

Counts CurrentCounts() {
    std::lock_guard lock(g_countLock);
    return memoryCounts();
}
