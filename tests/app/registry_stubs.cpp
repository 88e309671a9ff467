// TEMPORARY: stands in for the settings store until it lands on main; records what was read
// and written. Loads give the stored number or a fresh store's default, without range rules.
#include <map>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "settings_probe.h"

namespace {

std::map<std::string, uint32_t> g_stored;
std::vector<std::string> g_reads;
std::vector<std::pair<std::string, uint32_t>> g_writes;

uint32_t load(const std::string& name, uint32_t fallback) {
    g_reads.push_back(name);
    const auto found = g_stored.find(name);
    return found == g_stored.end() ? fallback : found->second;
}

void save(const std::string& name, uint32_t value) {
    g_writes.emplace_back(name, value);
    g_stored[name] = value;
}

}  // namespace

namespace probe {
void reset() {
    g_stored.clear();
    g_reads.clear();
    g_writes.clear();
}
void store(const std::string& name, uint32_t value) { g_stored[name] = value; }
std::vector<std::string> reads() { return g_reads; }
std::vector<std::pair<std::string, uint32_t>> writes() { return g_writes; }
}  // namespace probe

uint32_t RegLoadBurnLimitEn() { return load("Burn Limit EN", 1); }
uint32_t RegLoadLimitQuantity() { return load("Limit Quantity", 1000); }
uint32_t RegLoadSerialNoEn() { return load("Serial No En", 1); }
uint32_t RegLoadSnStartAddr() { return load("SN Start Addr", 0); }
uint32_t RegLoadLastSn() { return load("Last SN", 0); }
uint32_t RegLoadTotalCount() { return load("Total Count", 0); }
uint32_t RegLoadPassCount() { return load("Pass Count", 0); }
uint32_t RegLoadFailCount() { return load("Fail Count", 0); }
void RegLoadIspIcType() { g_nChipMode = static_cast<uint8_t>(load("ISPICType", 0)); }
uint32_t RegLoadSerialNoAutoInc() { return load("Serial No Auto Increase", 1); }
uint32_t RegLoadSnInArea() { return load("SN in Area", 0); }

void RegSaveScanDelay(uint32_t count) { save("Scan Delay", count); }
void RegSaveIspIcType() { save("ISPICType", g_nChipMode); }
void RegSaveSerialNoEn(uint32_t flag) { save("Serial No En", flag ? 1 : 0); }
void RegSaveSnInArea(uint32_t location) { save("SN in Area", location); }
void RegSaveSnStartAddr(uint32_t address) { save("SN Start Addr", address); }
void RegSaveLastSn(uint32_t serial) { save("Last SN", serial); }
void RegSaveSerialNoAutoInc(uint32_t flag) { save("Serial No Auto Increase", flag ? 1 : 0); }
