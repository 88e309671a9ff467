#pragma once
// Gives a test a fresh settings store and records what the code under test read from it and
// wrote to it, in order, while the probe lives.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_config_folder.h"

class SettingsProbe {
public:
    SettingsProbe() { watch(); }
    ~SettingsProbe();

    // Puts a value into the store without recording it.
    void store(const std::string& name, uint32_t value);
    // Forgets what was recorded so far.
    void clear() {
        reads_.clear();
        writes_.clear();
    }

    const std::vector<std::string>& reads() const { return reads_; }
    const std::vector<std::pair<std::string, uint32_t>>& writes() const { return writes_; }

private:
    void watch();

    TempConfigFolder folder_;
    std::vector<std::string> reads_;
    std::vector<std::pair<std::string, uint32_t>> writes_;
};
