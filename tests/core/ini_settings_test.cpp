#include "core/ini_settings.h"

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
    for (bool on : {false, true}) {
        IniSetBeepSound(on, ini);
        EXPECT_EQ(stored(ini, "Miscellaneous", "Beep Sound"), on ? "Yes" : "No");
        EXPECT_EQ(IniGetBeepSound(ini), on);
    }
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
    for (const auto& [value, text] : {std::pair{0x1000000u, "1000000"}, {0x1000001u, "0"}, {0xABCu, "ABC"}}) {
        IniSetSerialNo(value, ini);
        EXPECT_EQ(stored(ini, "Code Option", "Serial No"), text);
    }
    EXPECT_EQ(IniGetSerialNo(ini), 0xABCu);
    for (const auto& [value, text] : {std::pair{0x10000000, "268435456"}, {0x10000001, "1000"}, {-5, "-5"}}) {
        IniSetLimitQuantity(value, ini);
        EXPECT_EQ(stored(ini, "Miscellaneous", "Limit Quantity"), text);
    }
    EXPECT_EQ(IniGetLimitQuantity(ini), -5);
    platform::writeProfileString(ini, "Miscellaneous", "Limit Quantity", "many");
    EXPECT_EQ(IniGetLimitQuantity(ini), 1000);
}
