#include "app/ini_settings.h"

#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "support/temp_config_folder.h"

namespace {

std::string stored(const std::string& ini, const char* section, const char* key) {
    return platform::profileString(ini, section, key, "<absent>");
}

}  // namespace

TEST(IniSettings, FlagsAreYesOrNoAndReadExactly) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "s.ini";
    EXPECT_TRUE(IniGetBeepSound(ini));  // absent
    EXPECT_TRUE(IniGetLog(ini));
    EXPECT_FALSE(IniGetBurnKey(ini));
    IniSetBeepSound(false, ini);
    EXPECT_EQ(stored(ini, "Miscellaneous", "Beep Sound"), "No");
    EXPECT_FALSE(IniGetBeepSound(ini));
    IniSetBeepSound(true, ini);
    EXPECT_EQ(stored(ini, "Miscellaneous", "Beep Sound"), "Yes");
    platform::writeProfileString(ini, "Miscellaneous", "Beep Sound", "no");
    EXPECT_TRUE(IniGetBeepSound(ini));  // only "No" turns it off
    platform::writeProfileString(ini, "Security", "Encryption", "yes");
    EXPECT_FALSE(IniGetEncryption(ini));  // only "Yes" turns it on
}

TEST(IniSettings, NumbersKeepTheirBoundsAndForms) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "n.ini";
    EXPECT_EQ(IniGetSerialNo(ini), 0u);
    EXPECT_EQ(IniGetLimitQuantity(ini), 1000);
    struct SerialCase {
        uint32_t value;
        const char* text;
    };
    for (const auto& c : {SerialCase{0x1000000, "1000000"}, {0x1000001, "0"}, {0xABC, "ABC"}}) {
        IniSetSerialNo(c.value, ini);
        EXPECT_EQ(stored(ini, "Code Option", "Serial No"), c.text);
    }
    EXPECT_EQ(IniGetSerialNo(ini), 0xABCu);
    struct QuantityCase {
        int32_t value;
        const char* text;
    };
    for (const auto& c :
         {QuantityCase{0x10000000, "268435456"}, {0x10000001, "1000"}, {-5, "-5"}}) {
        IniSetLimitQuantity(c.value, ini);
        EXPECT_EQ(stored(ini, "Miscellaneous", "Limit Quantity"), c.text);
    }
    EXPECT_EQ(IniGetLimitQuantity(ini), -5);
    platform::writeProfileString(ini, "Miscellaneous", "Limit Quantity", "many");
    EXPECT_EQ(IniGetLimitQuantity(ini), 1000);
}

TEST(IniSettings, IniFileObjectHelpers) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "o.ini";
    CIniFile file;
    EXPECT_FALSE(file.SetFileName(""));
    EXPECT_FALSE(file.SetFileName(folder.path()));
    EXPECT_FALSE(file.SetFileName(ini));  // not there yet, but the write still creates it
    file.WriteString("Numbers", "hex", "0X1f");
    file.WriteString("Numbers", "dec", "12");
    file.WriteString("Numbers", "text", "abc");
    file.WriteString("Numbers", "a", "b=c");
    EXPECT_TRUE(file.SetFileName(ini));
    EXPECT_EQ(file.GetInt("Numbers", "hex"), 31);
    EXPECT_EQ(file.GetInt("Numbers", "dec"), 12);
    EXPECT_EQ(file.GetInt("Numbers", "text"), 0);
    EXPECT_TRUE(file.SectionExists("numbers"));
    EXPECT_FALSE(file.SectionExists("Other"));

    std::vector<std::string> keys, values;
    EXPECT_EQ(file.GetSection("Numbers", keys, values), 4);
    EXPECT_EQ(keys[3], "a");
    EXPECT_EQ(values[3], "b=c");
    file.WriteString("Other", "x", std::string(300, 'v'));
    EXPECT_EQ(file.GetString("Other", "x").size(), 259u);
    std::vector<std::string> names;
    EXPECT_EQ(file.GetSectionNames(names), 2);
    file.DeleteKey("Numbers", "hex");
    EXPECT_EQ(file.GetString("Numbers", "hex"), "");
    file.DeleteAllSections();
    EXPECT_EQ(file.GetSectionNames(names), 0);
}
