#include "core/registry_settings.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/globals.h"
#include "core/own_numbers.h"
#include "core/registry_key.h"
#include "platform/registry_store.h"

const char g_szRegKey[] = "Software\\Kestrova\\SWD_Vosk\\FOUR_Wire";

namespace {

enum class Rule {
    Range,       // a stored number from lo to hi is taken; anything else gives the fallback
    LowByte,     // the low 8 bits of the stored number, then as Range
    Flag,        // missing gives 1, a stored 0 gives 0, any other number 1; unreadable gives 0
    ExactlyOne,  // 1 only for a stored 1, else 0
    BaudRate,    // one of the rates the gang board speaks, else the fallback
    Ceiling,     // a stored number, but at most hi
    Text,        // a stored text, else the fallback text
};

struct SettingRule {
    std::string_view name;
    Rule rule;
    uint32_t lo = 0, hi = 0, fallback = 0;
    std::string_view fallbackText = {};
};

constexpr uint32_t kAnyNumber = 0xFFFFFFFF;
constexpr uint32_t kCountLimit = 0x200000;

// Every stored value: its name, its load rule, accepted range and default.
constexpr SettingRule kSettings[] = {
    {"ENCRY", Rule::ExactlyOne},
    {"Code Option", Rule::ExactlyOne},
    {"COMPort", Rule::LowByte, 1, 45, 1},
    {"BaudRate", Rule::BaudRate, 0, 0, 115200},
    {"ISPICType", Rule::LowByte, 0, 13, 0},
    {"ISP Start Addr", Rule::Range, 0, 0x10000, 0},
    {"Scan Delay", Rule::Range, 10, 2000, 30},
    {"RDP Level", Rule::Flag},
    {"PcROP Type", Rule::Range, 0, 2000, 2},
    {"Protect Addr", Rule::Range, 10, 0x20000, 0},
    {"Burn Limit EN", Rule::Flag},
    {"Limit Quantity", Rule::Range, 10, kCountLimit, 1000},
    {"SN in Area", Rule::Range, 0, 2, 0},
    // A line keeps counting past 0x200000 parts: the counters load whatever they hold.
    {"Total Count", Rule::Range, 0, kAnyNumber, 0},
    {"Pass Count", Rule::Range, 0, kAnyNumber, 0},
    {"Fail Count", Rule::Range, 0, kAnyNumber, 0},
    {"Serial No En", Rule::Flag},
    {"SN Start Addr", Rule::Range, 0, 0x10000, 0},
    {"Last SN", Rule::Range, 0, kAnyNumber, 0},
    {"Serial No Auto Increase", Rule::Flag},
    {"Protect Area", Rule::Range, 10, 0x20000, 0},
    {"Info EN", Rule::Flag},
    {"ISPBootData EN", Rule::Flag},
    {"VID", Rule::Range, 0, kCountLimit, 0x040B},
    {"PID", Rule::Range, 0, kCountLimit, 0},
    {"PLL", Rule::Range, 0, kAnyNumber, 0},
    {"SN EN", Rule::Flag},
    {"SN1", Rule::Range, 0, kCountLimit, 0},
    {"SN2", Rule::Range, 0, kCountLimit, 0},
    {"SN3", Rule::Range, 0, kCountLimit, 0},
    {"Boot Pin Cfg", Rule::Range, 0, kCountLimit, 0},
    {"Uart ISP Cfg", Rule::Range, 0, kCountLimit, 0},
    {"VIDPID EN", Rule::Flag},
    {"PLL EN", Rule::Flag},
    {"Parameter File", Rule::Text, 0, 0, 0, "default.data"},
    {"Para EN", Rule::ExactlyOne},
    // Gang-run settings that no page fills: only a stored value changes them. Their switches
    // take 0 or 1; any other number gives the default, as a value out of range does.
    {"Option Addr", Rule::Range, 0, kAnyNumber, 0},
    {"Option Serial", Rule::Range, 0, 1, 1},
    {"Gang Serial En", Rule::Range, 0, 1, 0},
    {"Gang Serial Fixed", Rule::Range, 0, 0xFFFFFF, 0},
    {"Key Write", Rule::Range, 0, 1, 0},
    {"Log Steps", Rule::Range, 0, 1, 0},
    {"COM Extra Delay", Rule::Ceiling, 0, 1000, 0},  // ms after each socket of a scan
};

// A name missing from the table fails to compile.
consteval const SettingRule& setting(std::string_view name) {
    for (const auto& rule : kSettings)
        if (rule.name == name) return rule;
    throw "not a stored setting";
}

uint32_t applyRule(const SettingRule& s, long result, uint32_t stored) {
    const bool read = result == ERROR_SUCCESS;
    switch (s.rule) {
    case Rule::Flag:
        if (result == ERROR_FILE_NOT_FOUND) return 1;
        return read && stored != 0 ? 1 : 0;
    case Rule::ExactlyOne:
        return read && stored == 1 ? 1 : 0;
    case Rule::BaudRate:
        if (stored != 9600 && stored != 57600 && stored != 115200) return s.fallback;
        return read ? stored : s.fallback;
    case Rule::Ceiling:
        return read ? std::min(stored, s.hi) : s.fallback;
    case Rule::LowByte:
        stored &= 0xFF;
        [[fallthrough]];
    case Rule::Range:
    case Rule::Text:
        break;
    }
    return read && stored >= s.lo && stored <= s.hi ? stored : s.fallback;
}

uint32_t loadNumber(const SettingRule& s) {
    CRegistryKey key;
    uint32_t stored = 0;
    long result = key.Open(g_szRegKey);
    if (result == ERROR_SUCCESS) result = key.ReadDword(std::string(s.name), stored);
    key.Close();
    return applyRule(s, result, stored);
}

// "Last SN" and the counters: numbers given and counts, which a copy whose view of the store is
// out of date must not write from that view. Every other value is a setting.
bool numberOrCount(const SettingRule& s) {
    return s.name == "Last SN" || s.name == "Total Count" || s.name == "Pass Count" || s.name == "Fail Count";
}

// Why a write of the store did not land, as the operator is told it.
CountsSave savedAs(platform::StoreResult result) {
    switch (result) {
    case platform::StoreResult::Ok: return CountsSave::Saved;
    case platform::StoreResult::LockNotOpened: return CountsSave::LockNotOpened;
    default: return CountsSave::StoreNotWritten;
    }
}

// A write that fails leaves the stored value as it was, and says why for the operator. A setting
// is stored over whatever the store holds, also from a view that another copy overtook (the last
// writer's setting stands); a number or a count is not.
CountsSave saveNumber(const SettingRule& s, uint32_t value) {
    if (platform::registryOpenStore() != platform::StoreResult::Ok) return CountsSave::StoreNotWritten;
    return savedAs(platform::registryWrite(g_szRegKey, std::string(s.name), platform::RegValue::dword(value),
                                           numberOrCount(s) ? platform::StaleWrite::Refuse
                                                            : platform::StaleWrite::Setting));
}

// A value as its load would give it, read inside a read-modify-write of the store.
uint32_t ruledNumber(const platform::RegKeyValues& values, const SettingRule& s) {
    const platform::RegValue* stored = values.find(std::string(s.name));
    if (!stored) return applyRule(s, ERROR_FILE_NOT_FOUND, 0);
    if (stored->type != platform::RegType::Dword || stored->data.size() != 4)
        return applyRule(s, ERROR_INVALID_DATA, 0);
    const auto& d = stored->data;
    return applyRule(s, ERROR_SUCCESS, d[0] | d[1] << 8 | d[2] << 16 | static_cast<uint32_t>(d[3]) << 24);
}

// A number stored in a form that cannot be read, or missing while a line that cannot be read
// may hold it: a serial number taken or a count added from its default would give numbers again
// or drop parts. A number that reads whole is the one the store keeps (every save writes a value
// once), so a damaged line beside it, or Reset Count writing the counters anew, stops no count.
bool unreadableNumber(const platform::RegKeyValues& values, const SettingRule& s) {
    const platform::RegValue* stored = values.find(std::string(s.name));
    if (stored) return stored->type != platform::RegType::Dword || stored->data.size() != 4;
    return values.unreadable(std::string(s.name));
}

void setNumber(platform::RegKeyValues& values, const SettingRule& s, uint32_t number) {
    values.set(std::string(s.name), platform::RegValue::dword(number));
}

CountsSave saveFlag(const SettingRule& s, uint32_t flag) { return saveNumber(s, flag != 0 ? 1 : 0); }

// A store made anew under this copy without its numbers (by a copy that never saw them, or from
// an older view): "Last SN" goes on after the numbers this copy gave and saw, and the counters
// never drop below those it last saw and showed. A number the found store keeps where it cannot
// be read stays as it is: the takes and saves refuse it.
void carryNumbers(const platform::RegKeyValues& seen, platform::RegKeyValues& found) {
    const auto carried = [&](const SettingRule& s) -> std::optional<uint32_t> {
        if (unreadableNumber(found, s)) return std::nullopt;
        return std::max(unreadableNumber(seen, s) ? 0 : ruledNumber(seen, s), ruledNumber(found, s));
    };
    const auto raise = [&](const SettingRule& s, uint32_t number) {
        if (number != ruledNumber(found, s)) setNumber(found, s, number);
    };
    if (const auto last = carried(setting("Last SN"))) raise(setting("Last SN"), *last);
    const auto pass = carried(setting("Pass Count")), fail = carried(setting("Fail Count"));
    if (!pass || !fail) return;
    raise(setting("Pass Count"), *pass);
    raise(setting("Fail Count"), *fail);
    raise(setting("Total Count"), *pass + *fail);
}

// "Last SN" as this copy gave it from each store. Counters are no part of it: a Reset Count in
// another copy stands.
OwnNumbers g_ownLastSn;

void noteOvertaken(const std::string& store, const platform::RegKeyValues& found) {
    constexpr const SettingRule& s = setting("Last SN");
    if (!unreadableNumber(found, s)) g_ownLastSn.overtaken(store, ruledNumber(found, s));
}
const bool g_numbersCarried = (platform::setStoreCarry(g_szRegKey, carryNumbers, noteOvertaken), true);

uint16_t low16(uint32_t value) { return static_cast<uint16_t>(value); }

}  // namespace

void RegLoadEncry() { g_bEncry = loadNumber(setting("ENCRY")); }
CountsSave RegSaveEncry() { return saveNumber(setting("ENCRY"), g_bEncry == 1 ? 1 : 0); }
void RegLoadCodeOption() { g_bCodeOption = loadNumber(setting("Code Option")); }
CountsSave RegSaveCodeOption() { return saveNumber(setting("Code Option"), g_bCodeOption == 1 ? 1 : 0); }
void RegLoadComPort() { g_nComPort = static_cast<uint8_t>(loadNumber(setting("COMPort"))); }
CountsSave RegSaveComPort() { return saveNumber(setting("COMPort"), g_nComPort); }
void RegLoadBaudRate() { g_nComBaudRate = loadNumber(setting("BaudRate")); }
CountsSave RegSaveBaudRate() { return saveNumber(setting("BaudRate"), g_nComBaudRate); }
void RegLoadIspIcType() { g_nChipMode = static_cast<uint8_t>(loadNumber(setting("ISPICType"))); }
CountsSave RegSaveIspIcType() { return saveNumber(setting("ISPICType"), g_nChipMode); }
void RegLoadIspStartAddr() { g_nIspStartAddr = loadNumber(setting("ISP Start Addr")); }
CountsSave RegSaveIspStartAddr() { return saveNumber(setting("ISP Start Addr"), g_nIspStartAddr); }

uint32_t RegLoadScanDelay() { return loadNumber(setting("Scan Delay")); }
CountsSave RegSaveScanDelay(uint32_t count) { return saveNumber(setting("Scan Delay"), count); }
uint32_t RegLoadRdpLevel() { return loadNumber(setting("RDP Level")); }
CountsSave RegSaveRdpLevel(uint32_t flag) { return saveFlag(setting("RDP Level"), flag); }
uint32_t RegLoadPcropType() { return loadNumber(setting("PcROP Type")); }
CountsSave RegSavePcropType(uint32_t type) { return saveNumber(setting("PcROP Type"), type); }
uint32_t RegLoadProtectAddr() { return loadNumber(setting("Protect Addr")); }
CountsSave RegSaveProtectAddr(uint32_t address) { return saveNumber(setting("Protect Addr"), address); }
uint32_t RegLoadBurnLimitEn() { return loadNumber(setting("Burn Limit EN")); }
CountsSave RegSaveBurnLimitEn(uint32_t flag) { return saveFlag(setting("Burn Limit EN"), flag); }
uint32_t RegLoadLimitQuantity() { return loadNumber(setting("Limit Quantity")); }
CountsSave RegSaveLimitQuantity(uint32_t quantity) { return saveNumber(setting("Limit Quantity"), quantity); }
uint32_t RegLoadSnInArea() { return loadNumber(setting("SN in Area")); }
CountsSave RegSaveSnInArea(uint32_t location) { return saveNumber(setting("SN in Area"), location); }
uint32_t RegLoadTotalCount() { return loadNumber(setting("Total Count")); }
CountsSave RegSaveTotalCount(uint32_t count) { return saveNumber(setting("Total Count"), count); }
uint32_t RegLoadPassCount() { return loadNumber(setting("Pass Count")); }
CountsSave RegSavePassCount(uint32_t count) { return saveNumber(setting("Pass Count"), count); }
uint32_t RegLoadFailCount() { return loadNumber(setting("Fail Count")); }
CountsSave RegSaveFailCount(uint32_t count) { return saveNumber(setting("Fail Count"), count); }
uint32_t RegLoadSerialNoEn() { return loadNumber(setting("Serial No En")); }
CountsSave RegSaveSerialNoEn(uint32_t flag) { return saveFlag(setting("Serial No En"), flag); }
uint32_t RegLoadSnStartAddr() { return loadNumber(setting("SN Start Addr")); }
CountsSave RegSaveSnStartAddr(uint32_t address) { return saveNumber(setting("SN Start Addr"), address); }
uint32_t RegLoadLastSn() { return loadNumber(setting("Last SN")); }
// The operator's own number may make a lost store anew, also from a view another copy overtook.
CountsSave RegSaveLastSn(uint32_t serial) {
    const CountsSave saved = savedAs(platform::registryWrite(g_szRegKey, std::string(setting("Last SN").name),
                                                             platform::RegValue::dword(serial),
                                                             platform::StaleWrite::Allow));
    if (saved == CountsSave::Saved) g_ownLastSn.reached(platform::registryStorePath(), serial);
    return saved;
}
uint32_t RegFollowLastSn() {
    constexpr const SettingRule& s = setting("Last SN");
    const std::string store = platform::registryStorePath();
    // Worked out as RegTakeLastSn works it out: a store without the value gives its default.
    platform::registryInspect(g_szRegKey, [&](const platform::RegKeyValues& values) {
        if (!unreadableNumber(values, s) && !g_ownLastSn.withholds(store, ruledNumber(values, s)))
            g_nLastSerial = ruledNumber(values, s);
    });
    return g_nLastSerial;
}
uint32_t RegLoadSerialNoAutoInc() { return loadNumber(setting("Serial No Auto Increase")); }
CountsSave RegSaveSerialNoAutoInc(uint32_t flag) { return saveFlag(setting("Serial No Auto Increase"), flag); }

std::optional<uint32_t> RegTakeLastSn(uint32_t count, TakeRefusal* why) {
    constexpr const SettingRule& s = setting("Last SN");
    const std::string store = platform::registryStorePath();
    uint32_t stored = 0;
    bool past = false, unreadable = false, withheld = false;
    const auto result = platform::registryUpdate(g_szRegKey, [&](platform::RegKeyValues& values) {
        unreadable = unreadableNumber(values, s);
        withheld = !unreadable && g_ownLastSn.withholds(store, ruledNumber(values, s));
        if (unreadable || withheld) return;
        stored = ruledNumber(values, s);
        // Even the shared number (count 0) must be one that may be given.
        past = uint64_t{stored} + std::max(count, 1u) > kLastSnEnd;
        if (!past && count > 0) setNumber(values, s, stored + count);
    });
    const TakeRefusal refusal = result == platform::StoreResult::LockNotOpened    ? TakeRefusal::LockNotOpened
                                : result == platform::StoreResult::OutOfDate        ? TakeRefusal::OutOfDate
                                : result != platform::StoreResult::Ok || unreadable ? TakeRefusal::NotSaved
                                : withheld                                          ? TakeRefusal::HeldBack
                                : past                                              ? TakeRefusal::UsedUp
                                                                                    : TakeRefusal::None;
    if (why) *why = refusal;
    if (refusal != TakeRefusal::None && refusal != TakeRefusal::UsedUp) return std::nullopt;
    g_nLastSerial = past ? stored : stored + count;
    if (past) return std::nullopt;
    g_ownLastSn.reached(store, stored + count);
    return stored;
}

void RegReturnLastSn(uint32_t taken) {
    constexpr const SettingRule& s = setting("Last SN");
    const std::string store = platform::registryStorePath();
    bool returned = false;
    const auto result = platform::registryUpdate(g_szRegKey, [&](platform::RegKeyValues& values) {
        if (ruledNumber(values, s) != taken + 1 || !g_ownLastSn.mayGiveBack(store, taken)) return;
        setNumber(values, s, taken);
        returned = true;
    });
    if (result != platform::StoreResult::Ok || !returned) return;
    g_nLastSerial = taken;
    g_ownLastSn.gaveBack(store, taken);
}

CountsSave RegAddCounts(uint32_t pass, uint32_t fail, Counts& stored) {
    bool unreadable = false;
    const auto result = platform::registryUpdate(g_szRegKey, [&](platform::RegKeyValues& values) {
        unreadable = unreadableNumber(values, setting("Pass Count")) || unreadableNumber(values, setting("Fail Count"));
        if (unreadable) return;
        stored.pass = ruledNumber(values, setting("Pass Count")) + pass;
        stored.fail = ruledNumber(values, setting("Fail Count")) + fail;
        stored.total = stored.pass + stored.fail;
        setNumber(values, setting("Total Count"), stored.total);
        setNumber(values, setting("Pass Count"), stored.pass);
        setNumber(values, setting("Fail Count"), stored.fail);
    });
    if (result != platform::StoreResult::Ok) return savedAs(result);
    return unreadable ? CountsSave::CountsUnreadable : CountsSave::Saved;
}

CountsSave RegSaveCounts(uint32_t total, uint32_t pass, uint32_t fail) {
    const auto result = platform::registryUpdate(g_szRegKey, [&](platform::RegKeyValues& values) {
        setNumber(values, setting("Total Count"), total);
        setNumber(values, setting("Pass Count"), pass);
        setNumber(values, setting("Fail Count"), fail);
    });
    return savedAs(result);
}

uint16_t RegLoadProtectArea() { return low16(loadNumber(setting("Protect Area"))); }
CountsSave RegSaveProtectArea(uint16_t mask) { return saveNumber(setting("Protect Area"), mask); }
uint32_t RegLoadInfoEn() { return loadNumber(setting("Info EN")); }
CountsSave RegSaveInfoEn(uint32_t flag) { return saveFlag(setting("Info EN"), flag); }
uint32_t RegLoadIspBootDataEn() { return loadNumber(setting("ISPBootData EN")); }
CountsSave RegSaveIspBootDataEn(uint32_t flag) { return saveFlag(setting("ISPBootData EN"), flag); }
uint16_t RegLoadVid() { return low16(loadNumber(setting("VID"))); }
CountsSave RegSaveVid(uint16_t vid) { return saveNumber(setting("VID"), vid); }
uint16_t RegLoadPid() { return low16(loadNumber(setting("PID"))); }
CountsSave RegSavePid(uint16_t pid) { return saveNumber(setting("PID"), pid); }
uint32_t RegLoadPll() { return loadNumber(setting("PLL")); }
CountsSave RegSavePll(uint32_t pll) { return saveNumber(setting("PLL"), pll); }
uint32_t RegLoadSnEn() { return loadNumber(setting("SN EN")); }
CountsSave RegSaveSnEn(uint32_t flag) { return saveFlag(setting("SN EN"), flag); }
uint16_t RegLoadSn1() { return low16(loadNumber(setting("SN1"))); }
CountsSave RegSaveSn1(uint16_t value) { return saveNumber(setting("SN1"), value); }
uint16_t RegLoadSn2() { return low16(loadNumber(setting("SN2"))); }
CountsSave RegSaveSn2(uint16_t value) { return saveNumber(setting("SN2"), value); }
uint16_t RegLoadSn3() { return low16(loadNumber(setting("SN3"))); }
CountsSave RegSaveSn3(uint16_t value) { return saveNumber(setting("SN3"), value); }
uint16_t RegLoadBootPinCfg() { return low16(loadNumber(setting("Boot Pin Cfg"))); }
CountsSave RegSaveBootPinCfg(uint16_t value) { return saveNumber(setting("Boot Pin Cfg"), value); }
uint16_t RegLoadUartIspCfg() { return low16(loadNumber(setting("Uart ISP Cfg"))); }
CountsSave RegSaveUartIspCfg(uint16_t value) { return saveNumber(setting("Uart ISP Cfg"), value); }
uint32_t RegLoadVidPidEn() { return loadNumber(setting("VIDPID EN")); }
CountsSave RegSaveVidPidEn(uint32_t flag) { return saveFlag(setting("VIDPID EN"), flag); }
uint32_t RegLoadPllEn() { return loadNumber(setting("PLL EN")); }
CountsSave RegSavePllEn(uint32_t flag) { return saveFlag(setting("PLL EN"), flag); }

std::string RegLoadParameterFile() {
    constexpr const SettingRule& s = setting("Parameter File");
    CRegistryKey key;
    std::string text;
    if (key.Open(g_szRegKey) == ERROR_SUCCESS &&
        key.ReadString(std::string(s.name), text) == ERROR_SUCCESS)
        return text;
    return std::string(s.fallbackText);
}

void RegSaveParameterFile(const std::string& name) {
    CRegistryKey key;
    if (key.Open(g_szRegKey) == ERROR_SUCCESS)
        key.WriteString(std::string(setting("Parameter File").name), name);
}

uint32_t RegLoadParaEn() { return loadNumber(setting("Para EN")); }
CountsSave RegSaveParaEn(uint32_t flag) { return saveFlag(setting("Para EN"), flag); }

uint32_t RegLoadIfStored(std::string_view name, uint32_t fallback) {
    for (const SettingRule& s : kSettings) {
        if (s.name != name || s.rule == Rule::Text) continue;
        CRegistryKey key;
        uint32_t stored = 0;
        if (key.Open(g_szRegKey) != ERROR_SUCCESS || key.ReadDword(std::string(name), stored) != ERROR_SUCCESS)
            return fallback;
        if (s.rule == Rule::Range && (stored < s.lo || stored > s.hi)) return fallback;
        return applyRule(s, ERROR_SUCCESS, stored);
    }
    return fallback;
}

bool RegLoadKeyBytes(std::span<uint8_t, 16> key) {
    CRegistryKey store;
    std::array<uint8_t, 16> bytes{};
    uint32_t count = bytes.size();
    if (store.Open(g_szRegKey) != ERROR_SUCCESS || store.ReadBinary("Key Bytes", bytes, count) != ERROR_SUCCESS ||
        count != bytes.size())
        return false;
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return true;
}
