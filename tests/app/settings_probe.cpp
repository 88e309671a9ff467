#include "settings_probe.h"

#include "app/registry_settings.h"
#include "platform/registry_store.h"

SettingsProbe::~SettingsProbe() { platform::setStoreObserverForTest(nullptr); }

void SettingsProbe::watch() {
    platform::setStoreObserverForTest(
        [this](platform::StoreAccess access, const std::string& name, const platform::RegValue& value) {
            if (access == platform::StoreAccess::Read) return reads_.push_back(name);
            uint32_t number = 0;  // the little-endian number the value starts with
            for (size_t i = 0; i < value.data.size() && i < 4; ++i) number |= uint32_t{value.data[i]} << (8 * i);
            writes_.emplace_back(name, number);
        });
}

void SettingsProbe::store(const std::string& name, uint32_t value) {
    platform::setStoreObserverForTest(nullptr);
    platform::registryWrite(g_szRegKey, name, platform::RegValue::dword(value));
    watch();
}
