#include "simulated_burn.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/counters.h"
#include "core/globals.h"
#include "core/registry_settings.h"
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
    ResetCounters();  // and parts an earlier bench counted without saving
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

void SimulatedBurn::numberSerials(uint32_t location, uint32_t address, uint32_t next, uint32_t autoInc) {
    g_bSerialEnable = 1;
    g_nSerialLocation = location;
    g_dwSerialAddr = address;
    g_bSerialAutoInc = autoInc;
    startWithLastSerial(next);
}

void SimulatedBurn::useParameterFile(const std::string& name, const std::string& lines) {
    g_bParamEnable = 1;
    g_strExeDir = folder.path().toStdString() + "/";
    g_strParam = name;
    std::filesystem::create_directories(g_strExeDir + "Data");
    std::ofstream(g_strExeDir + "Data/" + name) << lines;
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

uint32_t ArgumentOf(const std::vector<uint8_t>& r) { return r[4] | r[5] << 8 | r[6] << 16 | uint32_t{r[7]} << 24; }

size_t CountSets(const sim::Adapter& adapter, uint8_t command, uint32_t from, uint32_t to) {
    size_t count = 0;
    for (const auto& report : adapter.sentReports()) {
        count += report[3] == command && ArgumentOf(report) >= from && ArgumentOf(report) < to;
    }
    return count;
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
                      (!argument || ArgumentOf(r) == *argument);
        }
        if (matched && exchange.kind == kind) return index[isGet];
    }
    return 0;
}

void FailReach(sim::Adapter& bench, const std::vector<sim::Exchange>& clean, int site, ReachFault fault) {
    std::vector<const sim::Exchange*> sets;
    int select = 0, connectReply = 0, gets = 0;
    for (const auto& exchange : clean) {
        if (exchange.kind == sim::Exchange::Kind::Set) {
            sets.push_back(&exchange);
            const auto& r = exchange.report;
            if (!select && r[3] == 0x3A && ArgumentOf(r) == static_cast<uint32_t>(site)) select = static_cast<int>(sets.size());
        } else {
            ++gets;
            if (select && !connectReply && sets.size() == static_cast<size_t>(select) + 2) connectReply = gets;
        }
    }
    // The step sends select, power-on and connect in a row, and the connect is answered.
    ASSERT_TRUE(select > 0 && connectReply > 0);
    ASSERT_EQ(sets[select]->report[3], 0x39);
    ASSERT_TRUE(sets[select + 1]->report[3] == 0x00 || sets[select + 1]->report[3] == 0x3D);
    switch (fault) {
    case ReachFault::Select: bench.failSetAt(select); break;
    case ReachFault::PowerOn: bench.failSetAt(select + 1); break;
    case ReachFault::ConnectTransfer: bench.failSetAt(select + 2); break;
    case ReachFault::ConnectReply: bench.failGetAt(connectReply); break;
    }
}
