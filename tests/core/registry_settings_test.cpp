#include "core/registry_settings.h"

#include <functional>
#include <tuple>
#include <gtest/gtest.h>
#include <vector>

#include "core/globals.h"
#include "core/registry_key.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "support/temp_config_folder.h"

namespace {

void store(const char* name, const platform::RegValue& value) {
    platform::registryWrite(g_szRegKey, name, value);
}

uint32_t storedNumber(const char* name) {
    CRegistryKey key;
    uint32_t value = 0xDEADBEEF;
    key.Open(g_szRegKey);
    key.ReadDword(name, value);
    return value;
}

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

struct Setting {
    const char* name;
    std::function<uint32_t()> load;
    std::function<CountsSave(uint32_t)> save;
    uint32_t missing;     // no value stored
    uint32_t unreadable;  // a text where a number belongs, or a store that cannot be read
    Pairs loads;          // stored number -> loaded value
    Pairs saves;          // saved value -> stored number
};

// The probes every value of one rule gets, besides its own.
Pairs flagLoads() { return {{0, 0}, {1, 1}, {5, 1}, {0xFFFFFFFF, 1}}; }
Pairs flagSaves() { return {{0, 0}, {1, 1}, {7, 1}}; }
Pairs rangeLoads(uint32_t lo, uint32_t hi, uint32_t fallback) {
    Pairs pairs = {{lo, lo}, {hi, hi}};
    if (lo > 0) pairs.push_back({lo - 1, fallback});
    if (hi < 0xFFFFFFFF) pairs.insert(pairs.end(), {{hi + 1, fallback}, {0xFFFFFFFF, fallback}});
    return pairs;
}
Pairs identitySaves() { return {{0, 0}, {12345, 12345}}; }
Pairs sixteenBitLoads(uint32_t fallback) {
    return {{0, 0}, {0xFFFF, 0xFFFF}, {0x1ABCD, 0xABCD}, {0x200000, 0}, {0x200001, fallback}};
}

Setting flag(const char* name, uint32_t (*load)(), CountsSave (*save)(uint32_t)) {
    return {name, load, save, 1, 0, flagLoads(), flagSaves()};
}
Setting range(const char* name, uint32_t (*load)(), CountsSave (*save)(uint32_t), uint32_t lo,
              uint32_t hi, uint32_t fallback) {
    return {name, load, save, fallback, fallback, rangeLoads(lo, hi, fallback), identitySaves()};
}
Setting sixteen(const char* name, uint16_t (*load)(), CountsSave (*save)(uint16_t), uint32_t fallback) {
    const auto save16 = [save](uint32_t v) { return save(static_cast<uint16_t>(v)); };
    return {name, load, save16, fallback, fallback, sixteenBitLoads(fallback),
            {{0, 0}, {0xFFFF, 0xFFFF}}};
}
// The values whose load and save go through their global.
template <typename T>
Setting global(const char* name, void (*load)(), CountsSave (*save)(), T& value, uint32_t fallback,
               Pairs loads, Pairs saves) {
    const auto loadGlobal = [load, &value] { load(); return uint32_t{value}; };
    const auto saveGlobal = [save, &value](uint32_t v) { value = static_cast<T>(v); return save(); };
    return {name, loadGlobal, saveGlobal, fallback, fallback, loads, saves};
}

std::vector<Setting> allNumericSettings() {
    const Pairs exactlyOne = {{1, 1}, {0, 0}, {2, 0}, {0x101, 0}};
    const Pairs exactlyOneSaves = {{1, 1}, {0, 0}, {2, 0}};
    return {
        global("ENCRY", RegLoadEncry, RegSaveEncry, g_bEncry, 0, exactlyOne, exactlyOneSaves),
        global("Code Option", RegLoadCodeOption, RegSaveCodeOption, g_bCodeOption, 0, exactlyOne,
               exactlyOneSaves),
        global("COMPort", RegLoadComPort, RegSaveComPort, g_nComPort, 1,
               {{1, 1}, {45, 45}, {46, 1}, {0, 1}, {0x105, 5}, {0x100, 1}}, {{45, 45}, {255, 255}}),
        global("BaudRate", RegLoadBaudRate, RegSaveBaudRate, g_nComBaudRate, 115200,
               {{9600, 9600}, {57600, 57600}, {115200, 115200}, {19200, 115200}, {0, 115200}},
               {{9600, 9600}}),
        global("ISPICType", RegLoadIspIcType, RegSaveIspIcType, g_nChipMode, 0,
               {{13, 13}, {14, 0}, {0x10D, 13}, {0, 0}}, {{13, 13}, {1, 1}}),
        global("ISP Start Addr", RegLoadIspStartAddr, RegSaveIspStartAddr, g_nIspStartAddr, 0,
               rangeLoads(0, 0x10000, 0), identitySaves()),
        range("Scan Delay", RegLoadScanDelay, RegSaveScanDelay, 10, 2000, 30),
        flag("RDP Level", RegLoadRdpLevel, RegSaveRdpLevel),
        range("PcROP Type", RegLoadPcropType, RegSavePcropType, 0, 2000, 2),
        range("Protect Addr", RegLoadProtectAddr, RegSaveProtectAddr, 10, 0x20000, 0),
        flag("Burn Limit EN", RegLoadBurnLimitEn, RegSaveBurnLimitEn),
        range("Limit Quantity", RegLoadLimitQuantity, RegSaveLimitQuantity, 10, 0x200000, 1000),
        range("SN in Area", RegLoadSnInArea, RegSaveSnInArea, 0, 2, 0),
        range("Total Count", RegLoadTotalCount, RegSaveTotalCount, 0, 0xFFFFFFFF, 0),
        range("Pass Count", RegLoadPassCount, RegSavePassCount, 0, 0xFFFFFFFF, 0),
        range("Fail Count", RegLoadFailCount, RegSaveFailCount, 0, 0xFFFFFFFF, 0),
        flag("Serial No En", RegLoadSerialNoEn, RegSaveSerialNoEn),
        range("SN Start Addr", RegLoadSnStartAddr, RegSaveSnStartAddr, 0, 0x10000, 0),
        range("Last SN", RegLoadLastSn, RegSaveLastSn, 0, 0xFFFFFFFF, 0),
        flag("Serial No Auto Increase", RegLoadSerialNoAutoInc, RegSaveSerialNoAutoInc),
        {"Protect Area", [] { return uint32_t{RegLoadProtectArea()}; },
         [](uint32_t v) { return RegSaveProtectArea(static_cast<uint16_t>(v)); }, 0, 0,
         {{10, 10}, {9, 0}, {0x1ABCD, 0xABCD}, {0x20000, 0}, {0x20001, 0}}, {{0xFFFF, 0xFFFF}}},
        flag("Info EN", RegLoadInfoEn, RegSaveInfoEn),
        flag("ISPBootData EN", RegLoadIspBootDataEn, RegSaveIspBootDataEn),
        sixteen("VID", RegLoadVid, RegSaveVid, 0x040B),
        sixteen("PID", RegLoadPid, RegSavePid, 0),
        range("PLL", RegLoadPll, RegSavePll, 0, 0xFFFFFFFF, 0),
        flag("SN EN", RegLoadSnEn, RegSaveSnEn),
        sixteen("SN1", RegLoadSn1, RegSaveSn1, 0),
        sixteen("SN2", RegLoadSn2, RegSaveSn2, 0),
        sixteen("SN3", RegLoadSn3, RegSaveSn3, 0),
        sixteen("Boot Pin Cfg", RegLoadBootPinCfg, RegSaveBootPinCfg, 0),
        sixteen("Uart ISP Cfg", RegLoadUartIspCfg, RegSaveUartIspCfg, 0),
        flag("VIDPID EN", RegLoadVidPidEn, RegSaveVidPidEn),
        flag("PLL EN", RegLoadPllEn, RegSavePllEn),
        {"Para EN", RegLoadParaEn, RegSaveParaEn, 0, 0,
         {{1, 1}, {0, 0}, {2, 0}, {0xFFFFFFFF, 0}}, {{0, 0}, {1, 1}, {9, 1}}},
    };
}

}  // namespace

TEST(RegistrySettings, EveryValueFollowsItsLoadAndSaveRule) {
    // The loads below store into shared globals; other tests expect the built-in values.
    const auto saved = std::tuple(g_bEncry, g_bCodeOption, g_nComPort, g_nComBaudRate, g_nChipMode, g_nIspStartAddr);
    const auto settings = allNumericSettings();
    ASSERT_EQ(settings.size() + 1, 36u);  // and "Parameter File" below
    for (const auto& s : settings) {
        SCOPED_TRACE(s.name);
        TempConfigFolder folder;
        EXPECT_EQ(s.load(), s.missing) << "missing";
        for (const auto& [stored, loaded] : s.loads) {
            store(s.name, platform::RegValue::dword(stored));
            EXPECT_EQ(s.load(), loaded) << "stored " << stored;
        }
        store(s.name, platform::RegValue::string("a long text"));  // longer than a number: more data
        EXPECT_EQ(s.load(), s.unreadable) << "long text";
        store(s.name, platform::RegValue::string("x"));  // short enough, but of another type
        EXPECT_EQ(s.load(), s.unreadable) << "short text";
        for (const auto& [saved, stored] : s.saves) {
            EXPECT_EQ(s.save(saved), CountsSave::Saved) << "saved " << saved;
            EXPECT_EQ(storedNumber(s.name), stored) << "saved " << saved;
        }
        ASSERT_TRUE(platform::makeFolders(folder.path() + "broken/settings"));
        platform::setConfigFolderForTest(folder.path() + "broken");
        EXPECT_EQ(s.load(), s.unreadable) << "store cannot be read";
        EXPECT_EQ(s.save(1), CountsSave::StoreNotWritten);  // lost, harmless, and said
    }
    std::tie(g_bEncry, g_bCodeOption, g_nComPort, g_nComBaudRate, g_nChipMode, g_nIspStartAddr) = saved;
}

TEST(RegistrySettings, ParameterFileNameIsATextWithItsDefault) {
    TempConfigFolder folder;
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
    RegSaveParameterFile("board 7.data");
    EXPECT_EQ(RegLoadParameterFile(), "board 7.data");
    store("Parameter File", platform::RegValue::dword(5));
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
    RegSaveParameterFile(std::string(200, 'p'));  // too long for the reader
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
}
