#include "platform/os_version.h"

namespace platform {
namespace {
OsVersion g_version;
}

OsVersion osVersion() { return g_version; }
void setOsVersionForTest(OsVersion version) { g_version = version; }

}  // namespace platform
