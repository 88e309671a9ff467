// Burns a 64 KB image on four simulated targets and sets the run time beside what the run
// cannot avoid: the fixed pauses and the adapter's transfers (the simulated adapter answering
// at once, then with a modelled 1 ms per feature-report transfer; the time spent in transfers
// is measured, as a sleep of 1 ms takes a little longer). What remains is our own overhead.
// Also sets the exchanges per site beside the least a burn needs. The serial-flash page's Auto.
// on the same image is timed the same way, its exchanges beside what its sequence prescribes.
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "core/counters.h"
#include "core/globals.h"
#include "core/worker_page.h"
#include "bench/random_image.h"
#include "bench/silent_page.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_device.h"
#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/paths.h"
#include "sfpage/sf_workers.h"
#include "sim/hid_adapter.h"

namespace {

constexpr uint32_t kImageSize = 0x10000;
constexpr int kSites = 4;
// Pauses of one site: after the select, the power-on, the connect and the erase.
constexpr double kPausesPerSiteSeconds = (10 + 20 + 250 + 200) / 1000.0;

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
    platform::HidOpened open(const platform::HidDeviceInfo& info) override {
        platform::HidOpened opened = inner_.open(info);
        if (opened.device) opened.device = std::make_unique<TimedDevice>(std::move(opened.device), transferSeconds);
        return opened;
    }
    double transferSeconds = 0;

private:
    platform::HidBackend& inner_;
};

// The simulated adapter opened as the program's adapter through TimedBackend, for one run.
class TimedAdapter {
public:
    explicit TimedAdapter(std::chrono::microseconds latency) : backend_(installed(adapter, latency)) {
        platform::setHidBackend(&backend_);
        OpenHidDevice();
        exchangesBefore_ = exchanges();
        backend_.transferSeconds = 0;
    }
    ~TimedAdapter() {
        CloseHidDevice();
        platform::setHidBackend(nullptr);
        sim::removeSimulatedAdapters();
    }
    int exchangesSinceStart() const { return exchanges() - exchangesBefore_; }
    double transferSeconds() const { return backend_.transferSeconds; }

    sim::Adapter adapter;

private:
    // The simulated adapter's back end, which the timed one wraps.
    static platform::HidBackend& installed(sim::Adapter& adapter, std::chrono::microseconds latency) {
        adapter.setLogging(false);
        adapter.setTransferLatency(latency);
        sim::installSimulatedAdapter(adapter);
        return platform::hidBackend();
    }
    int exchanges() const { return adapter.setCount() + adapter.getCount(); }
    TimedBackend backend_;
    int exchangesBefore_ = 0;
};

// The least a burn of one site needs: select, power on, connect (set and get), one erase,
// the image in 32-byte loads with one commit per 2048-byte page, the read-back in 32-byte
// blocks (set and get), select and power off.
constexpr int kLeastExchangesPerSite = 1 + 1 + 2 + 1 + kImageSize / 32 + kImageSize / 2048 + 2 * (kImageSize / 32) + 2;

void Burn(const std::string& imagePath, std::chrono::microseconds latency) {
    TimedAdapter timed(latency);

    SilentPage page(imagePath);
    g_bTaskWorking = true;
    const double start = platform::wallSeconds();
    SiteProgramThread(page);
    const double run = platform::wallSeconds() - start;

    const int exchanges = timed.exchangesSinceStart();
    const double pauses = kSites * kPausesPerSiteSeconds;
    const double modelled = exchanges * std::chrono::duration<double>(latency).count();
    const double overhead = run - pauses - timed.transferSeconds();
    std::printf("latency %4lld us: run %7.3f s = pauses %.3f s + transfers %7.3f s (modelled %7.3f s) + ours %.3f s "
                "(%.2f%%); passed %u of %d; exchanges per site %.1f, least %d\n",
                static_cast<long long>(latency.count()), run, pauses, timed.transferSeconds(), modelled, overhead,
                100 * overhead / run, g_nPassCount, kSites, static_cast<double>(exchanges) / kSites,
                kLeastExchangesPerSite);
    ResetCounters();  // the next run counts from zero, in memory and in the store
}

// Auto. writes the image and its configuration block: 262 pages of 256 bytes. Its sequence:
// one status poll (set and get) for a flash that is ready, the erase command, one status poll
// while the simulated erase takes no time, then per page eight buffer loads and one program,
// and one read with sixteen buffer reads (set and get each).
constexpr int kSfPages = 262;
constexpr int kSfExchanges = 2 + 1 + 2 + kSfPages * (8 + 1) + kSfPages * (1 + 16 * 2);
constexpr double kSfPausesSeconds = 0.020;  // after each status poll

void AutoSf(const std::string& imagePath, const std::vector<char>& image, std::chrono::microseconds latency) {
    TimedAdapter timed(latency);

    SilentPage page(imagePath);
    SfRun run = SfRunFromSettings(imagePath);
    g_bTaskWorking = true;
    const double start = platform::wallSeconds();
    AutoSFThread(page, run);
    const double elapsed = platform::wallSeconds() - start;

    const int exchanges = timed.exchangesSinceStart();
    const double overhead = elapsed - kSfPausesSeconds - timed.transferSeconds();
    const bool written = timed.adapter.serialFlash(0, kImageSize) == std::vector<uint8_t>(image.begin(), image.end());
    std::printf("serial-flash Auto. latency %4lld us: run %7.3f s = pauses %.3f s + transfers %7.3f s + ours %.3f s "
                "(%.2f%%); exchanges %d, prescribed %d%s\n",
                static_cast<long long>(latency.count()), elapsed, kSfPausesSeconds, timed.transferSeconds(), overhead,
                100 * overhead / elapsed, exchanges, kSfExchanges, written ? "" : "; image not written");
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

    const std::string path = folder.filePath("image.bin").toStdString();
    const std::vector<char> image = WriteRandomImage(path, kImageSize);

    Burn(path, std::chrono::microseconds(0));
    Burn(path, std::chrono::microseconds(1000));
    AutoSf(path, image, std::chrono::microseconds(0));
    AutoSf(path, image, std::chrono::microseconds(1000));
    return 0;
}
