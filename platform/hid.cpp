#include "platform/hid.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>

namespace platform {

namespace {

std::atomic<HidBackend*> g_installed{nullptr};

// The report descriptor of a hidraw node, as the kernel exports it.
std::optional<std::vector<uint8_t>> readReportDescriptor(const std::string& devicePath) {
    const auto slash = devicePath.rfind('/');
    const std::string node = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
    if (node.empty()) return std::nullopt;
    std::ifstream file("/sys/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

class HidrawDevice final : public HidDevice {
public:
    HidrawDevice(hid_device* device, std::string path, int lock) : device_(device), path_(std::move(path)), lock_(lock) {}
    ~HidrawDevice() override {
        hid_close(device_);
        ::close(lock_);
    }

    std::optional<uint16_t> featureReportLength() override {
        const auto descriptor = readReportDescriptor(path_);
        if (!descriptor) return std::nullopt;
        return featureReportByteLength(*descriptor);
    }
    bool setFeature(std::span<const uint8_t> report) override {
        return hid_send_feature_report(device_, report.data(), report.size()) >= 0;
    }
    int getFeature(std::span<uint8_t> report) override {
        return hid_get_feature_report(device_, report.data(), report.size());
    }

private:
    hid_device* device_;
    std::string path_;
    int lock_;  // holds the node's lock
};

class HidrawBackend final : public HidBackend {
public:
    std::vector<HidDeviceInfo> enumerate() override {
        std::vector<HidDeviceInfo> found;
        if (!initialised()) return found;
        hid_device_info* list = hid_enumerate(0, 0);
        for (const hid_device_info* info = list; info; info = info->next)
            found.push_back({info->path ? info->path : "", info->vendor_id, info->product_id});
        hid_free_enumeration(list);
        return found;
    }
    HidOpened open(const HidDeviceInfo& info) override {
        if (!initialised()) return {};
        // Two copies of the program on one adapter would interleave their site selects and
        // pages, so every open takes an advisory lock on the node first. hidapi keeps its own
        // descriptor to itself: the lock is held by one of ours, of the same node.
        const int lock = ::open(info.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (lock < 0) return {};
        if (::flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(lock);
            return {.device = nullptr, .inUse = true};
        }
        hid_device* device = hid_open_path(info.path.c_str());
        if (!device) {
            ::close(lock);
            return {};
        }
        return {.device = std::make_unique<HidrawDevice>(device, info.path, lock)};
    }

private:
    static bool initialised() {
        static const bool ok = hid_init() == 0;
        return ok;
    }
};

}  // namespace

HidBackend& hidrawBackend() {
    static HidrawBackend backend;
    return backend;
}

HidBackend& hidBackend() {
    HidBackend* installed = g_installed.load();
    return installed ? *installed : hidrawBackend();
}

void setHidBackend(HidBackend* backend) { g_installed.store(backend); }

bool hidBackendInstalled() { return g_installed.load() != nullptr; }

}  // namespace platform
