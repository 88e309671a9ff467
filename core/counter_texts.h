#pragma once
// The texts of the counter group, shown by the IC page and by the workers at the end of a run.
#include <cstdint>
#include <string>

#include "core/counters.h"
#include "core/serial_take.h"

// "%.2f%%" of pass / total, or "100.00%" before the first counted part.
std::string YieldText(uint32_t pass, uint32_t total);
// Serial numbers run through all 32 bits; the label never shows them negative.
std::string SerialLastText(uint32_t lastSerial);
// Why "Last SN" gave no number: the numbers are used up, the store cannot keep the take (its lock
// file, named, cannot be opened), another copy set "Last SN" below the numbers this copy gave, or
// this copy's view of the store is out of date; these two with the way on.
std::string LastSnRefusalText(TakeRefusal why);
// What the window's close tells when the parts counted in memory cannot reach the store: how
// many, and why.
std::string UnsavedPartsText(const UnsavedParts& unsaved, const std::string& storePath);
// What a dialog tells when a setting the operator gave (also "Last SN") cannot be saved to file
// (the settings store or the INI file), and why.
std::string SettingsRefusalText(const std::string& file, CountsSave why);
// What Reset Count tells when the store cannot be written (or its lock file, named, cannot be
// opened) and the counters stay as they were.
std::string ResetRefusalText(const std::string& storePath, CountsSave why = CountsSave::StoreNotWritten);
