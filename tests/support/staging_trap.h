#pragma once
// What may lie at "<file>.tmp", the name new versions of a file were once staged under, left by
// a crash or by someone else: a FIFO, where an open for writing waits for a reader for ever, or
// a link to a file in another folder, which a write through it would overwrite.
#include <chrono>
#include <functional>
#include <string>

#include "support/temp_dir.h"

enum class OldStagingName { Fifo, LinkOut };

class StagingTrap {
public:
    StagingTrap(const std::string& file, OldStagingName kind);
    // Runs work on a thread of its own; false when it has not ended within limit. Work that
    // waits at the FIFO is then freed by reading the FIFO until it ends.
    bool endsWithin(const std::function<void()>& work, std::chrono::seconds limit = std::chrono::seconds(30));
    // The FIFO or the link is still there, and the linked file holds what it held.
    bool untouched() const;
    std::string name() const { return trap_; }

private:
    std::string trap_;
    OldStagingName kind_;
    TempDir outside_;
};
