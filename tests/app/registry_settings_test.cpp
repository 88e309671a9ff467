#include "app/registry_settings.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

#include "app/globals.h"
#include "app/registry_key.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "support/temp_config_folder.h"

namespace {

void store(const char* name, const platform::RegValue& value) { platform::registryWrite(g_szRegKey, name, value); }

uint32_t storedNumber(const char* name) {
    CRegistryKey key;
    uint32_t value = 0xDEADBEEF;
    key.Open(g_szRegKey);
    key.ReadDword(name, value);
    return value;
}

struct Setting {
    const char* name;
    std::function<uint32_t()> load;
    std::function<void(uint32_t)> save;
    uint32_t value;  // one the rule takes as it stands
};

template <typename T>
Setting number(const char* name, T (*load)(), void (*save)(T), uint32_t value) {
    return {name, [load] { return uint32_t{load()}; }, [save](uint32_t v) { save(static_cast<T>(v)); }, value};
}
// The values whose load and save go through their global.
template <typename T>
Setting global(const char* name, void (*load)(), void (*save)(), T& g, uint32_t value) {
    return {name, [load, &g] { load(); return uint32_t{g}; }, [save, &g](uint32_t v) { g = static_cast<T>(v); save(); },
            value};
}

std::vector<Setting> allNumericSettings() {
    return {
        global("ENCRY", RegLoadEncry, RegSaveEncry, g_bEncry, 1),
        global("Code Option", RegLoadCodeOption, RegSaveCodeOption, g_bCodeOption, 1),
        global("COMPort", RegLoadComPort, RegSaveComPort, g_nComPort, 45),
        global("BaudRate", RegLoadBaudRate, RegSaveBaudRate, g_nComBaudRate, 57600),
        global("ISPICType", RegLoadIspIcType, RegSaveIspIcType, g_nChipMode, 13),
        global("ISP Start Addr", RegLoadIspStartAddr, RegSaveIspStartAddr, g_nIspStartAddr, 0x10000),
        number("Scan Delay", RegLoadScanDelay, RegSaveScanDelay, 2000),
        number("RDP Level", RegLoadRdpLevel, RegSaveRdpLevel, 0),
        number("PcROP Type", RegLoadPcropType, RegSavePcropType, 2000),
        number("Protect Addr", RegLoadProtectAddr, RegSaveProtectAddr, 0x20000),
        number("Burn Limit EN", RegLoadBurnLimitEn, RegSaveBurnLimitEn, 0),
        number("Limit Quantity", RegLoadLimitQuantity, RegSaveLimitQuantity, 0x200000),
        number("SN in Area", RegLoadSnInArea, RegSaveSnInArea, 2),
        number("Total Count", RegLoadTotalCount, RegSaveTotalCount, 0x200000),
        number("Pass Count", RegLoadPassCount, RegSavePassCount, 0x1FFFFF),
        number("Fail Count", RegLoadFailCount, RegSaveFailCount, 0x1FFFFE),
        number("Serial No En", RegLoadSerialNoEn, RegSaveSerialNoEn, 0),
        number("SN Start Addr", RegLoadSnStartAddr, RegSaveSnStartAddr, 0x10000),
        number("Last SN", RegLoadLastSn, RegSaveLastSn, 0xFFFFFFFF),
        number("Serial No Auto Increase", RegLoadSerialNoAutoInc, RegSaveSerialNoAutoInc, 0),
        number("Protect Area", RegLoadProtectArea, RegSaveProtectArea, 0xFFFF),
        number("Info EN", RegLoadInfoEn, RegSaveInfoEn, 0),
        number("ISPBootData EN", RegLoadIspBootDataEn, RegSaveIspBootDataEn, 0),
        number("VID", RegLoadVid, RegSaveVid, 0xFFFF), number("PID", RegLoadPid, RegSavePid, 0xFFFE),
        number("PLL", RegLoadPll, RegSavePll, 0xFFFFFFFF), number("SN EN", RegLoadSnEn, RegSaveSnEn, 0),
        number("SN1", RegLoadSn1, RegSaveSn1, 0x1234), number("SN2", RegLoadSn2, RegSaveSn2, 0x2345),
        number("SN3", RegLoadSn3, RegSaveSn3, 0x3456),
        number("Boot Pin Cfg", RegLoadBootPinCfg, RegSaveBootPinCfg, 0x4567),
        number("Uart ISP Cfg", RegLoadUartIspCfg, RegSaveUartIspCfg, 0x5678),
        number("VIDPID EN", RegLoadVidPidEn, RegSaveVidPidEn, 0), number("PLL EN", RegLoadPllEn, RegSavePllEn, 0),
        number("Para EN", RegLoadParaEn, RegSaveParaEn, 1),
    };
}

const Setting& named(const std::vector<Setting>& settings, const char* name) {
    return *std::find_if(settings.begin(), settings.end(), [&](const Setting& s) { return s.name == std::string(name); });
}

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

}  // namespace

// The loads below store into shared globals; other tests expect the built-in values.
class RegistrySettings : public ::testing::Test {
protected:
    void TearDown() override {
        std::tie(g_bEncry, g_bCodeOption, g_nComPort, g_nComBaudRate, g_nChipMode, g_nIspStartAddr) = saved;
    }
    const decltype(std::tuple(g_bEncry, g_bCodeOption, g_nComPort, g_nComBaudRate, g_nChipMode, g_nIspStartAddr))
        saved = std::tuple(g_bEncry, g_bCodeOption, g_nComPort, g_nComBaudRate, g_nChipMode, g_nIspStartAddr);
    const std::vector<Setting> settings = allNumericSettings();
};

// Each value loads and saves under its own name: alone in a fresh store, a saved value in
// range is stored as it stands and loads back.
TEST_F(RegistrySettings, EveryValueLoadsAndSavesUnderItsOwnName) {
    ASSERT_EQ(settings.size() + 1, 36u);  // and "Parameter File" below
    for (const auto& s : settings) {
        TempConfigFolder folder;
        s.save(s.value);
        EXPECT_EQ(storedNumber(s.name), s.value) << s.name;
        EXPECT_EQ(s.load(), s.value) << s.name;
    }
}

// Each load rule on a value that follows it: what a missing value, stored numbers, a text where
// a number belongs (longer than a number, or short enough but of another type) and a store
// that cannot be read give, and what a save stores.
TEST_F(RegistrySettings, EachLoadRuleMendsWhatDoesNotFit) {
    const struct { const char* name; uint32_t missing, unreadable; Pairs loads, saves; } rules[] = {
        {"Scan Delay", 30, 30, {{9, 30}, {10, 10}, {2001, 30}, {0xFFFFFFFF, 30}}, {{12345, 12345}}},
        {"Total Count", 0, 0, {{0x200001, 0}}, {}},
        {"Limit Quantity", 1000, 1000, {{9, 1000}, {10, 10}}, {}},
        {"RDP Level", 1, 0, {{1, 1}, {5, 1}, {0xFFFFFFFF, 1}}, {{1, 1}, {7, 1}}},
        {"ENCRY", 0, 0, {{2, 0}, {0x101, 0}}, {{2, 0}}},
        {"Para EN", 0, 0, {{0xFFFFFFFF, 0}}, {{9, 1}}},
        {"COMPort", 1, 1, {{1, 1}, {46, 1}, {0, 1}, {0x105, 5}, {0x100, 1}}, {{255, 255}}},
        {"ISPICType", 0, 0, {{14, 0}, {0x10D, 13}}, {}},
        {"BaudRate", 115200, 115200, {{9600, 9600}, {115200, 115200}, {19200, 115200}, {0, 115200}}, {}},
        {"VID", 0x040B, 0x040B, {{0, 0}, {0x1ABCD, 0xABCD}, {0x200000, 0}, {0x200001, 0x040B}}, {}},
        {"Protect Area", 0, 0, {{10, 10}, {9, 0}, {0x1ABCD, 0xABCD}, {0x20001, 0}}, {}},
    };
    for (const auto& r : rules) {
        SCOPED_TRACE(r.name);
        const Setting& s = named(settings, r.name);
        TempConfigFolder folder;
        EXPECT_EQ(s.load(), r.missing) << "missing";
        for (const auto& [stored, loaded] : r.loads) {
            store(s.name, platform::RegValue::dword(stored));
            EXPECT_EQ(s.load(), loaded) << "stored " << stored;
        }
        for (const auto& [saved, stored] : r.saves) {
            s.save(saved);
            EXPECT_EQ(storedNumber(s.name), stored) << "saved " << saved;
        }
        for (const char* text : {"a long text", "x"}) {
            store(s.name, platform::RegValue::string(text));
            EXPECT_EQ(s.load(), r.unreadable) << text;
        }
        ASSERT_TRUE(platform::makeFolders(folder.path() + "broken/settings"));
        platform::setConfigFolderForTest(folder.path() + "broken");
        EXPECT_EQ(s.load(), r.unreadable) << "store cannot be read";
        s.save(1);  // lost, and harmless
    }
}

TEST(RegistrySettingsText, ParameterFileNameIsATextWithItsDefault) {
    TempConfigFolder folder;
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
    RegSaveParameterFile("board 7.data");
    EXPECT_EQ(RegLoadParameterFile(), "board 7.data");
    store("Parameter File", platform::RegValue::dword(5));
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
    RegSaveParameterFile(std::string(200, 'p'));  // too long for the reader
    EXPECT_EQ(RegLoadParameterFile(), "default.data");
}
