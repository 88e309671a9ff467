#pragma once
// The HID back end: enumerate HID interfaces, open one, and exchange feature reports with it.
// The running program uses hidapi's hidraw back end; the simulated adapter (sim/) installs
// itself behind the same interface for tests and for trying the program without hardware.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct HidDeviceInfo {
    std::string path;  // "/dev/hidraw3" for hidraw; any unique text for other back ends
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

class HidDevice {
public:
    virtual ~HidDevice() = default;
    // The longest feature report of the interface in bytes, report-id byte included (what
    // Windows calls FeatureReportByteLength); nothing when the report descriptor cannot be read
    // or parsed.
    virtual std::optional<uint16_t> featureReportLength() = 0;
    // Sends one feature report (byte 0 is the report id); true when it reached the device.
    // A transfer that times out is a failed transfer.
    virtual bool setFeature(std::span<const uint8_t> report) = 0;
    // Reads one feature report into report (byte 0 holds the report id on entry); the number of
    // bytes the device answered, report-id byte included, or -1 when the transfer failed.
    virtual int getFeature(std::span<uint8_t> report) = 0;
};

// An opened interface, or why there is none.
struct HidOpened {
    std::unique_ptr<HidDevice> device;
    bool inUse = false;  // another open holds the interface
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Every present HID interface.
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    // Opens one enumerated interface for this open alone: until it is closed, another open of
    // the interface, by this program or another copy, is refused as in use.
    virtual HidOpened open(const HidDeviceInfo& info) = 0;
};

// The back end in force: the installed one, else hidraw.
HidBackend& hidBackend();
// Installs another back end (the simulator); nullptr restores hidraw.
void setHidBackend(HidBackend* backend);
// True when a back end other than hidraw is installed.
bool hidBackendInstalled();
// hidapi over hidraw.
HidBackend& hidrawBackend();

// Windows' FeatureReportByteLength of a HID report descriptor: over all report ids, the
// longest feature report's bits rounded up to bytes, plus one byte for the report id (also
// when the device uses no report ids); 0 when it has no feature report. Nothing when the
// descriptor is malformed.
std::optional<uint16_t> featureReportByteLength(std::span<const uint8_t> descriptor);

}  // namespace platform
