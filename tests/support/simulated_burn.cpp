#include "simulated_burn.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/pause.h"
#include "link/hid_device.h"
#include "platform/paths.h"

SimulatedBurn::SimulatedBurn() {
    platform::setConfigFolderForTest(folder.path().toStdString() + "/config/");
    platform::setProgramFolderForTest(folder.path().toStdString() + "/program/");
    engine_hid::SetPauseClockForTests([this](uint32_t ms) { adapter.notePause(ms); });
    sim::installSimulatedAdapter(adapter);
    OpenHidDevice();
    g_nChipMode = 0;
    g_nTotalCount = g_nPassCount = g_nFailCount = 0;
    g_bSerialEnable = g_nSerialLocation = g_dwSerialAddr = g_bSerialAutoInc = g_nLastSerial = 0;
    g_bBeepSound = 1;
    g_bSocketFound.fill(0);
    g_bTaskWorking = true;  // the starter's test-and-set
}

SimulatedBurn::~SimulatedBurn() {
    CloseHidDevice();
    sim::removeSimulatedAdapters();
    engine_hid::SetPauseClockForTests({});
    platform::setConfigFolderForTest("");
    platform::setProgramFolderForTest("");
    g_bTaskWorking = false;
}

std::string SimulatedBurn::writeImage(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
    return path;
}

void SimulatedBurn::populate(const std::vector<int>& sites) {
    for (int site = 0; site < sim::Adapter::kSites; ++site) adapter.site(site).removeTarget();
    for (int site : sites) adapter.site(site).insertTarget();
}

void SimulatedBurn::run(void (*worker)(WorkerPage&), const std::vector<uint8_t>& image) {
    page.image = writeImage(image);
    worker(page);
    EXPECT_FALSE(g_bTaskWorking);
}

void SimulatedBurn::startWithCounters(const Counters& counters) {
    RegSaveCounts(counters.total, counters.pass, counters.fail);
    g_nTotalCount = counters.total;
    g_nPassCount = counters.pass;
    g_nFailCount = counters.fail;
}

void SimulatedBurn::startWithLastSerial(uint32_t serial) {
    RegSaveLastSn(serial);
    g_nLastSerial = serial;
}

Counters SimulatedBurn::counters() const { return {g_nTotalCount, g_nPassCount, g_nFailCount}; }

Counters SimulatedBurn::storedCounters() const {
    return {RegLoadTotalCount(), RegLoadPassCount(), RegLoadFailCount()};
}

std::vector<uint8_t> PatternImage(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
    return bytes;
}

int FirstExchangeOf(const sim::Adapter& adapter, sim::Exchange::Kind kind, uint8_t command,
                    std::optional<uint32_t> argument) {
    int index[2] = {0, 0};  // sets, gets
    bool matched = false;
    for (const auto& exchange : adapter.exchanges()) {
        const bool isGet = exchange.kind == sim::Exchange::Kind::Get;
        ++index[isGet];
        const auto& r = exchange.report;
        if (!isGet) {
            matched = r.size() > 7 && r[3] == command &&
                      (!argument || (r[4] | r[5] << 8 | r[6] << 16 | uint32_t{r[7]} << 24) == *argument);
        }
        if (matched && exchange.kind == kind) return index[isGet];
    }
    return 0;
}
