#include "core/counter_texts.h"

#include "platform/strfmt.h"

std::string YieldText(uint32_t pass, uint32_t total) {
    if (total == 0) return "100.00%";
    return strfmt("%.2f%%", static_cast<double>(pass) / static_cast<double>(total) * 100.0);
}

std::string SerialLastText(uint32_t lastSerial) { return strfmt("S/N Last : %u", lastSerial); }

std::string LastSnRefusalText(bool usedUp) { return usedUp ? "Last SN is used up" : "Last SN can not be saved"; }

std::string UnsavedPartsText(const UnsavedParts& unsaved, const std::string& storePath) {
    const Counts& parts = unsaved.parts;
    const std::string why = unsaved.why == CountsSave::CountsUnreadable
                                ? strfmt("Pass Count or Fail Count in %s can not be read", storePath.c_str())
                                : strfmt("%s can not be written", storePath.c_str());
    return strfmt("%u counted part%s (Pass %u, Fail %u) can not be saved: %s!", parts.total,
                  parts.total == 1 ? "" : "s", parts.pass, parts.fail, why.c_str());
}

std::string ResetRefusalText(const std::string& storePath) {
    return strfmt("Counters can not be reset: %s can not be written!", storePath.c_str());
}
