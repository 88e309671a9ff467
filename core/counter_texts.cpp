#include "core/counter_texts.h"

#include "platform/durable_file.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"

std::string YieldText(uint32_t pass, uint32_t total) {
    if (total == 0) return "100.00%";
    return strfmt("%.2f%%", static_cast<double>(pass) / static_cast<double>(total) * 100.0);
}

std::string SerialLastText(uint32_t lastSerial) { return strfmt("S/N Last : %u", lastSerial); }

namespace {

// Why the store took nothing: its lock file cannot be opened, or the store cannot be written.
std::string storeRefusal(const std::string& storePath, CountsSave why) {
    return why == CountsSave::LockNotOpened ? strfmt("%s can not be opened", platform::lockFileOf(storePath).c_str())
                                            : strfmt("%s can not be written", storePath.c_str());
}

}  // namespace

std::string LastSnRefusalText(TakeRefusal why) {
    switch (why) {
    case TakeRefusal::UsedUp:
        return "Last SN is used up";
    case TakeRefusal::HeldBack:
        return "Another copy of the program set Last SN below the numbers this copy gave: set Initial Serial No. in "
               "Config. to go on";
    case TakeRefusal::LockNotOpened:
        return "Last SN can not be saved: " + storeRefusal(platform::registryStorePath(), CountsSave::LockNotOpened);
    case TakeRefusal::OutOfDate:
        return "Another copy of the program may have given numbers from Last SN since this copy last read it: set "
               "Initial Serial No. in Config. to go on";
    case TakeRefusal::None:
    case TakeRefusal::NotSaved:
        break;
    }
    return "Last SN can not be saved";
}

std::string UnsavedPartsText(const UnsavedParts& unsaved, const std::string& storePath) {
    const Counts& parts = unsaved.parts;
    const std::string why = unsaved.why == CountsSave::CountsUnreadable
                                ? strfmt("Pass Count or Fail Count in %s can not be read", storePath.c_str())
                                : storeRefusal(storePath, unsaved.why);
    return strfmt("%u counted part%s (Pass %u, Fail %u) can not be saved: %s!", parts.total,
                  parts.total == 1 ? "" : "s", parts.pass, parts.fail, why.c_str());
}

std::string SettingsRefusalText(const std::string& file, CountsSave why) {
    return strfmt("Settings can not be saved: %s!", storeRefusal(file, why).c_str());
}

std::string ResetRefusalText(const std::string& storePath, CountsSave why) {
    return strfmt("Counters can not be reset: %s!", storeRefusal(storePath, why).c_str());
}
