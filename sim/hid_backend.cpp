// The simulated adapters behind platform::HidBackend.
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/hid.h"
#include "sim/adapter_state.h"
#include "sim/hid_adapter.h"

namespace sim {

namespace {

const std::string kPathPrefix = "sim:adapter";

class SimulatedDevice final : public platform::HidDevice {
public:
    explicit SimulatedDevice(std::shared_ptr<AdapterState> state) : state_(std::move(state)) {
        std::lock_guard lock(state_->mutex);
        ++state_->openHandles;
    }
    ~SimulatedDevice() override {
        std::lock_guard lock(state_->mutex);
        --state_->openHandles;
    }

    std::optional<uint16_t> featureReportLength() override {
        std::lock_guard lock(state_->mutex);
        if (state_->gone || state_->descriptorFails) return std::nullopt;
        return state_->featureLength;
    }
    bool setFeature(std::span<const uint8_t> report) override {
        waitLatency();
        std::lock_guard lock(state_->mutex);
        return state_->set(report);
    }
    int getFeature(std::span<uint8_t> report) override {
        waitLatency();
        std::lock_guard lock(state_->mutex);
        return state_->get(report);
    }

private:
    // The transfer time passes outside the lock, so a test thread can look in meanwhile.
    void waitLatency() {
        std::chrono::microseconds latency;
        {
            std::lock_guard lock(state_->mutex);
            latency = state_->latency;
        }
        if (latency.count() > 0) std::this_thread::sleep_for(latency);
    }

    std::shared_ptr<AdapterState> state_;
};

class SimulatedBackend final : public platform::HidBackend {
public:
    void setAdapters(std::vector<std::shared_ptr<AdapterState>> adapters) {
        std::lock_guard lock(mutex_);
        adapters_ = std::move(adapters);
    }

    std::vector<platform::HidDeviceInfo> enumerate() override {
        std::lock_guard lock(mutex_);
        std::vector<platform::HidDeviceInfo> found;
        for (std::size_t i = 0; i < adapters_.size(); ++i) {
            std::lock_guard adapterLock(adapters_[i]->mutex);
            if (adapters_[i]->gone || adapters_[i]->unplugged) continue;
            found.push_back({kPathPrefix + std::to_string(i), adapters_[i]->vendorId, adapters_[i]->productId});
        }
        return found;
    }

    platform::HidOpened open(const platform::HidDeviceInfo& info) override {
        std::lock_guard lock(mutex_);
        if (info.path.rfind(kPathPrefix, 0) != 0) return {};
        const std::size_t index = std::strtoul(info.path.c_str() + kPathPrefix.size(), nullptr, 10);
        if (index >= adapters_.size()) return {};
        {
            std::lock_guard adapterLock(adapters_[index]->mutex);
            if (adapters_[index]->openHandles > 0) return {.device = nullptr, .inUse = true};
        }
        return {.device = std::make_unique<SimulatedDevice>(adapters_[index])};
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<AdapterState>> adapters_;
};

SimulatedBackend& simulatedBackend() {
    static SimulatedBackend backend;
    return backend;
}

}  // namespace

void installSimulatedAdapters(const std::vector<Adapter*>& adapters) {
    std::vector<std::shared_ptr<AdapterState>> states;
    for (Adapter* adapter : adapters) states.push_back(adapter->state());
    simulatedBackend().setAdapters(std::move(states));
    platform::setHidBackend(&simulatedBackend());
}

void installSimulatedAdapter(Adapter& adapter) { installSimulatedAdapters({&adapter}); }

void removeSimulatedAdapters() {
    platform::setHidBackend(nullptr);
    simulatedBackend().setAdapters({});
}

bool simulatorRequested() {
    const char* value = std::getenv("SWD_ISP_SIMULATOR");
    return value && std::string(value) == "1";
}

Adapter& environmentAdapter() {
    static Adapter adapter;
    static std::once_flag configured;
    std::call_once(configured, [] { adapter.setSerialFlashEraseTime(std::chrono::milliseconds(2000)); });
    return adapter;
}

}  // namespace sim
