#include "link/hid_device.h"

#include "platform/services.h"
#include "platform/strfmt.h"
#include "sim/hid_adapter.h"

HidHandle g_hHidDevice = kInvalidHidHandle;
uint16_t g_nHidFeatureLen = 0;
std::array<uint8_t, kHidReportSize> g_HidFeatureOut{};
std::array<uint8_t, kHidReportSize> g_HidFeatureIn{};
std::string g_strHidMsg;

namespace {

// The adapter that g_hHidDevice points at.
std::unique_ptr<platform::HidDevice> g_keptAdapter;
// The last search found an adapter that another copy of the program holds.
bool g_adapterInUse = false;

platform::HidBackend& backendInUse() {
    if (!platform::hidBackendInstalled() && sim::simulatorRequested())
        sim::installSimulatedAdapter(sim::environmentAdapter());
    return platform::hidBackend();
}

bool usableLength(uint16_t length) { return length >= kHidMinFeatureLen && length <= kHidReportSize; }

}  // namespace

void CloseHidDevice() {
    g_hHidDevice = kInvalidHidHandle;
    g_nHidFeatureLen = 0;
    g_keptAdapter.reset();
}

bool OpenHidDevice() {
    CloseHidDevice();
    g_strHidMsg.clear();
    g_adapterInUse = false;
    platform::HidBackend& backend = backendInUse();
    // Attributes come with the enumeration, so only interfaces of the adapter are opened.
    for (const platform::HidDeviceInfo& info : backend.enumerate()) {
        if (info.vendorId != kAdapterVendorId || info.productId != kAdapterProductId) continue;
        platform::HidOpened opened = backend.open(info);
        g_adapterInUse = g_adapterInUse || opened.inUse;
        std::unique_ptr<platform::HidDevice> device = std::move(opened.device);
        if (!device) continue;
        const std::optional<uint16_t> length = device->featureReportLength();
        if (!length) {
            // An adapter whose reports cannot be sized is not kept: every command would fail.
            g_strHidMsg = "Get HID PREPARED DATA fail! \n";
            CloseHidDevice();
            MessageBox(g_strHidMsg);
            return false;
        }
        if (!usableLength(*length)) continue;
        g_keptAdapter = std::move(device);  // the last matching adapter wins
        g_hHidDevice = g_keptAdapter.get();
        g_nHidFeatureLen = *length;
        g_strHidMsg = strfmt("RQ29K165 HID device connect ok\nFeatureReportByteLength : %u\n", unsigned(*length));
    }
    return g_hHidDevice != kInvalidHidHandle;
}

const char* HidNotOpenedText() {
    return g_adapterInUse ? "HID device In Use by another program !" : "HID device Not Found !";
}
