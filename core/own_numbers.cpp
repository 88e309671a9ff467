#include "core/own_numbers.h"

bool OwnNumbers::withholds(const std::string& file, uint32_t stored) const {
    const std::lock_guard guard(lock_);
    const auto at = byFile_.find(file);
    return at != byFile_.end() && at->second.withheld && stored < at->second.next;
}

void OwnNumbers::overtaken(const std::string& file, uint32_t stored) {
    const std::lock_guard guard(lock_);
    const auto at = byFile_.find(file);
    if (at == byFile_.end()) return;
    at->second.overtaken = true;
    if (stored < at->second.next) at->second.withheld = true;
}

void OwnNumbers::reached(const std::string& file, uint32_t next) {
    const std::lock_guard guard(lock_);
    byFile_[file] = {next, false, false};
}

bool OwnNumbers::mayGiveBack(const std::string& file, uint32_t taken) const {
    const std::lock_guard guard(lock_);
    const auto at = byFile_.find(file);
    return at != byFile_.end() && at->second.next == taken + 1 && !at->second.overtaken;
}

void OwnNumbers::gaveBack(const std::string& file, uint32_t taken) {
    const std::lock_guard guard(lock_);
    const auto at = byFile_.find(file);
    if (at != byFile_.end() && at->second.next == taken + 1) at->second.next = taken;
}
