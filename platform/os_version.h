#pragma once
// The operating-system version the program's pacing rules look at. Linux reports 10.0;
// tests may pretend to be another version.
#include <cstdint>

namespace platform {

struct OsVersion {
    uint32_t major = 10;
    uint32_t minor = 0;
};

OsVersion osVersion();
void setOsVersionForTest(OsVersion version);

}  // namespace platform
