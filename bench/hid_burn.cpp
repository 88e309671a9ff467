// Burns a 64 KB image on four simulated targets and sets the run time beside what the run
// cannot avoid: the fixed pauses and the adapter's transfers (the simulated adapter answering
// at once, then with a modelled 1 ms per feature-report transfer; the time spent in transfers
// is measured, as a sleep of 1 ms takes a little longer). What remains is our own overhead.
// Also sets the exchanges per site beside the least a burn needs.
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "app/globals.h"
#include "app/worker_page.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_device.h"
#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/paths.h"
#include "sim/hid_adapter.h"

namespace {

constexpr uint32_t kImageSize = 0x10000;
constexpr int kSites = 4;
// Pauses of one site: after the select, the power-on, the connect and the erase.
constexpr double kPausesPerSiteSeconds = (10 + 20 + 250 + 200) / 1000.0;

// The page of a run nobody watches.
class SilentPage final : public WorkerPage {
public:
    explicit SilentPage(std::string path) : path_(std::move(path)) {}
    void appendLog(const std::string&) override {}
    void scrollLog() override {}
    void setProgressRange(int, int) override {}
    void setProgressPos(int) override {}
    void setProgressMarquee(bool) override {}
    void showControl(int, bool) override {}
    void enableControl(int, bool) override {}
    void setControlText(int, const std::string&) override {}
    void setControlIcon(int, int) override {}
    int messageBox(const std::string& text, platform::MsgIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return platform::IDOK;
    }
    int stopPrompt(int, uint32_t) override { return platform::IDOK; }
    int warnPrompt(int, uint32_t) override { return platform::IDOK; }
    std::string imagePath() const override { return path_; }

private:
    std::string path_;
};

// Times every feature-report transfer of the adapter it wraps: what the run spends waiting for
// the adapter, the modelled latency and the sleep that models it included.
class TimedDevice final : public platform::HidDevice {
public:
    TimedDevice(std::unique_ptr<platform::HidDevice> device, double& seconds)
        : device_(std::move(device)), seconds_(seconds) {}
    std::optional<uint16_t> featureReportLength() override { return device_->featureReportLength(); }
    bool setFeature(std::span<const uint8_t> report) override {
        return timed([&] { return device_->setFeature(report); });
    }
    int getFeature(std::span<uint8_t> report) override {
        return timed([&] { return device_->getFeature(report); });
    }

private:
    template <typename Transfer>
    auto timed(Transfer transfer) -> decltype(transfer()) {
        const double start = platform::wallSeconds();
        const auto result = transfer();
        seconds_ += platform::wallSeconds() - start;
        return result;
    }
    std::unique_ptr<platform::HidDevice> device_;
    double& seconds_;
};

class TimedBackend final : public platform::HidBackend {
public:
    explicit TimedBackend(platform::HidBackend& inner) : inner_(inner) {}
    std::vector<platform::HidDeviceInfo> enumerate() override { return inner_.enumerate(); }
    std::unique_ptr<platform::HidDevice> open(const platform::HidDeviceInfo& info) override {
        auto device = inner_.open(info);
        if (!device) return nullptr;
        return std::make_unique<TimedDevice>(std::move(device), transferSeconds);
    }
    double transferSeconds = 0;

private:
    platform::HidBackend& inner_;
};

// The least a burn of one site needs: select, power on, connect (set and get), one erase,
// the image in 32-byte loads with one commit per 2048-byte page, the read-back in 32-byte
// blocks (set and get), select and power off.
constexpr int kLeastExchangesPerSite = 1 + 1 + 2 + 1 + kImageSize / 32 + kImageSize / 2048 + 2 * (kImageSize / 32) + 2;

void Burn(const std::string& imagePath, std::chrono::microseconds latency) {
    sim::Adapter adapter;
    adapter.setLogging(false);
    adapter.setTransferLatency(latency);
    sim::installSimulatedAdapter(adapter);
    TimedBackend timed(platform::hidBackend());
    platform::setHidBackend(&timed);
    OpenHidDevice();
    const int exchangesBefore = adapter.setCount() + adapter.getCount();

    SilentPage page(imagePath);
    g_bTaskWorking = true;
    const double start = platform::wallSeconds();
    timed.transferSeconds = 0;
    SiteProgramThread(page);
    const double run = platform::wallSeconds() - start;

    const int exchanges = adapter.setCount() + adapter.getCount() - exchangesBefore;
    const double pauses = kSites * kPausesPerSiteSeconds;
    const double modelled = exchanges * std::chrono::duration<double>(latency).count();
    const double overhead = run - pauses - timed.transferSeconds;
    std::printf("latency %4lld us: run %7.3f s = pauses %.3f s + transfers %7.3f s (modelled %7.3f s) + ours %.3f s "
                "(%.2f%%); passed %u of %d; exchanges per site %.1f, least %d\n",
                static_cast<long long>(latency.count()), run, pauses, timed.transferSeconds, modelled, overhead,
                100 * overhead / run, g_nPassCount, kSites, static_cast<double>(exchanges) / kSites,
                kLeastExchangesPerSite);
    g_nPassCount = g_nTotalCount = g_nFailCount = 0;
    CloseHidDevice();
    platform::setHidBackend(nullptr);
    sim::removeSimulatedAdapters();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Sleeps end close to their time, so the modelled latency is what the run waits.
    prctl(PR_SET_TIMERSLACK, 1UL);
    QTemporaryDir folder;
    platform::setConfigFolderForTest(folder.path().toStdString() + "/");
    g_nChipMode = 0;
    g_bBeepSound = 0;
    g_bSerialEnable = 0;

    std::vector<char> image(kImageSize);
    std::mt19937 random(1);
    for (char& byte : image) byte = static_cast<char>(random());
    const std::string path = folder.filePath("image.bin").toStdString();
    std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));

    Burn(path, std::chrono::microseconds(0));
    Burn(path, std::chrono::microseconds(1000));
    return 0;
}
