#include "core/counter_texts.h"

#include "platform/strfmt.h"

std::string YieldText(uint32_t pass, uint32_t total) {
    if (total == 0) return "100.00%";
    return strfmt("%.2f%%", static_cast<double>(pass) / static_cast<double>(total) * 100.0);
}

std::string SerialLastText(uint32_t lastSerial) { return strfmt("S/N Last : %u", lastSerial); }

std::string LastSnRefusalText(bool usedUp) { return usedUp ? "Last SN is used up" : "Last SN can not be saved"; }
