#include "simulated_burn.h"

#include <QFile>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/pause.h"
#include "link/hid_device.h"
#include "platform/paths.h"

SimulatedBurn::SimulatedBurn() {
    platform::setConfigFolderForTest(folder.path().toStdString() + "/config/");
    platform::setProgramFolderForTest(folder.path().toStdString() + "/program/");
    engine_hid::SetPauseScaleForTests(0);
    sim::installSimulatedAdapter(adapter);
    OpenHidDevice();
    g_nChipMode = 0;
    g_nTotalCount = g_nPassCount = g_nFailCount = 0;
    g_bSerialEnable = 0;
    g_nSerialLocation = 0;
    g_dwSerialAddr = 0;
    g_bSerialAutoInc = 0;
    g_nLastSerial = 0;
    g_bBeepSound = 1;
    g_bSocketFound.fill(0);
    g_bTaskWorking = true;  // the starter's test-and-set
}

SimulatedBurn::~SimulatedBurn() {
    CloseHidDevice();
    sim::removeSimulatedAdapters();
    engine_hid::SetPauseScaleForTests(100);
    platform::setConfigFolderForTest("");
    platform::setProgramFolderForTest("");
    g_bTaskWorking = false;
}

std::string SimulatedBurn::writeImage(const std::vector<uint8_t>& bytes, const std::string& name) {
    const QString path = folder.filePath(QString::fromStdString(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path.toStdString();
}

void SimulatedBurn::populate(std::initializer_list<int> sites) {
    for (int site = 0; site < sim::Adapter::kSites; ++site) adapter.site(site).removeTarget();
    for (int site : sites) adapter.site(site).insertTarget();
}

void SimulatedBurn::preload(int site, const std::vector<uint8_t>& image) {
    adapter.site(site).write(0x10000000, image);
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

namespace {
int IndexOf(const sim::Adapter& adapter, uint8_t command, sim::Exchange::Kind wanted) {
    int sets = 0, gets = 0;
    bool afterCommand = false;
    for (const auto& exchange : adapter.exchanges()) {
        if (exchange.kind == sim::Exchange::Kind::Set) {
            ++sets;
            afterCommand = exchange.report.size() > 3 && exchange.report[3] == command;
            if (afterCommand && wanted == sim::Exchange::Kind::Set) return sets;
        } else {
            ++gets;
            if (afterCommand && wanted == sim::Exchange::Kind::Get) return gets;
        }
    }
    return 0;
}
}  // namespace

int FirstSetOf(const sim::Adapter& adapter, uint8_t command) {
    return IndexOf(adapter, command, sim::Exchange::Kind::Set);
}

int FirstGetAfterSetOf(const sim::Adapter& adapter, uint8_t command) {
    return IndexOf(adapter, command, sim::Exchange::Kind::Get);
}
