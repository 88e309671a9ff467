#pragma once
// Gives a test a fresh settings store and records, in order, the numbers the code under test
// wrote to it while the probe lives.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/registry_settings.h"
#include "platform/registry_store.h"
#include "support/temp_config_folder.h"

class SettingsProbe {
public:
    using Writes = std::vector<std::pair<std::string, uint32_t>>;

    SettingsProbe() { watch(); }
    ~SettingsProbe() { platform::setStoreObserverForTest(nullptr); }

    // Puts a value into the store without recording it.
    void store(const std::string& name, uint32_t value) {
        platform::setStoreObserverForTest(nullptr);
        platform::registryWrite(g_szRegKey, name, platform::RegValue::dword(value));
        watch();
    }
    void clear() { writes_.clear(); }
    const Writes& writes() const { return writes_; }

private:
    void watch() {
        platform::setStoreObserverForTest([this](const std::string& name, const platform::RegValue& value) {
            uint32_t number = 0;  // the little-endian number the value starts with
            for (size_t i = 0; i < value.data.size() && i < 4; ++i) number |= uint32_t{value.data[i]} << (8 * i);
            writes_.emplace_back(name, number);
        });
    }

    TempConfigFolder folder_;
    Writes writes_;
};
