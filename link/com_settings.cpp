#include "link/com_settings.h"

#include <mutex>

#include "core/registry_key.h"
#include "core/registry_settings.h"
#include "platform/strfmt.h"

char g_chComParity = 'N';
uint32_t g_nComDataBits = 8;
uint32_t g_nComStopBits = 1;
uint32_t g_dwComEventMask = 0;
uint32_t g_nComWriteBufSize = 256;
uint32_t g_nComBaudRate2 = 115200;
std::atomic<uint32_t> g_bComPortOpen{0};
SerialPortOwner* g_pComPageOwner = nullptr;

namespace {
std::mutex g_deviceLock;
std::string g_deviceOverride;
}  // namespace

std::string RegLoadComPortDevice() {
    {
        std::lock_guard lock(g_deviceLock);
        if (!g_deviceOverride.empty()) return g_deviceOverride;
    }
    std::string device;
    CRegistryKey key;
    if (key.Open(g_szRegKey) == 0) key.ReadString("COMPort Device", device);
    return device;
}

void SetComPortDeviceOverride(const std::string& path) {
    std::lock_guard lock(g_deviceLock);
    g_deviceOverride = path;
}

std::string ComPortDevicePath(unsigned port) {
    std::string device = RegLoadComPortDevice();
    if (!device.empty()) return device;
    if (port == 0) return {};
    return strfmt("/dev/ttyUSB%u", port - 1);
}
