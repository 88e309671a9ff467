#include "settings_probe.h"

#include "app/registry_settings.h"
#include "platform/registry_store.h"

namespace {

uint32_t numberOf(const platform::RegValue& value) {
    uint32_t number = 0;
    for (size_t i = 0; i < value.data.size() && i < 4; ++i) number |= static_cast<uint32_t>(value.data[i]) << (8 * i);
    return number;
}

}  // namespace

SettingsProbe::SettingsProbe() { watch(); }

SettingsProbe::~SettingsProbe() { platform::setStoreObserverForTest(nullptr); }

void SettingsProbe::watch() {
    platform::setStoreObserverForTest(
        [this](platform::StoreAccess access, const std::string& name, const platform::RegValue& value) {
            if (access == platform::StoreAccess::Read)
                reads_.push_back(name);
            else
                writes_.emplace_back(name, numberOf(value));
        });
}

void SettingsProbe::store(const std::string& name, uint32_t value) {
    platform::setStoreObserverForTest(nullptr);
    platform::registryWrite(g_szRegKey, name, platform::RegValue::dword(value));
    watch();
}

void SettingsProbe::clear() {
    reads_.clear();
    writes_.clear();
}
