#include "platform/ini_file.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "support/temp_config_folder.h"

using platform::profileKeyNames;
using platform::profileSection;
using platform::profileSectionNames;
using platform::profileString;
using platform::writeProfileString;
using Names = std::vector<std::string>;

namespace {

std::string fileText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(IniFile, ReadsFollowTheProfileRules) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "a.ini";
    std::ofstream(ini) << "; comment\n"
                          "[Security]\r\n"
                          "  Encryption =  Yes  \r\n"
                          "Key=\"  quoted  \"\n"
                          "Single='x'\n"
                          "Eq=b=c\n"
                          "no equals sign\n"
                          ";Hidden=1\n"
                          "\n"
                          "[ Miscellaneous ]\n"
                          "Beep Sound=No\n"
                          "[security]\n"
                          "Late=ignored\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    for (const Case& c : {
             Case{"security", "ENCRYPTION", "Yes"},  // names without regard to case, value trimmed
             Case{"Security", "Key", "  quoted  "},  // one pair of quotes removed
             Case{"Security", "Single", "x"},
             Case{"Security", "Eq", "b=c"},
             Case{"Security", "Hidden", "dflt"},
             Case{"Security", "Late", "dflt"},  // only the first section of a name counts
             Case{"Miscellaneous", "beep sound", "No"},
             Case{"Missing", "Key", "dflt"},
         }) {
        EXPECT_EQ(profileString(ini, c.section, c.key, "dflt"), c.expected)
            << c.section << "/" << c.key;
    }
    EXPECT_EQ(profileString(folder.path() + "absent.ini", "Security", "Key", "dflt"), "dflt");
    EXPECT_EQ(profileString("", "Security", "Key", "dflt"), "dflt");
    EXPECT_EQ(profileSectionNames(ini), (Names{"Security", "Miscellaneous", "security"}));
    EXPECT_EQ(profileKeyNames(ini, "SECURITY"), (Names{"Encryption", "Key", "Single", "Eq"}));
    EXPECT_EQ(profileSection(ini, "Security"), (Names{"Encryption=Yes", "Key=\"  quoted  \"",
                                                      "Single='x'", "Eq=b=c", "no equals sign"}));
}

TEST(IniFile, WritesCreateReplaceAndDelete) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "b.ini";
    EXPECT_TRUE(writeProfileString(ini, "Gone", "Key", std::nullopt));  // nothing to delete
    EXPECT_FALSE(std::ifstream(ini).good());

    ASSERT_TRUE(writeProfileString(ini, "Miscellaneous", "Beep Sound", "Yes"));
    ASSERT_TRUE(writeProfileString(ini, "Code Option", "Serial No", "1A"));
    ASSERT_TRUE(writeProfileString(ini, "miscellaneous", "Log", "No"));
    ASSERT_TRUE(writeProfileString(ini, "MISCELLANEOUS", "BEEP SOUND", "No"));
    EXPECT_EQ(fileText(ini),
              "[Miscellaneous]\r\nBeep Sound=No\r\nLog=No\r\n[Code Option]\r\nSerial No=1A\r\n");

    ASSERT_TRUE(writeProfileString(ini, "Miscellaneous", "beep sound", std::nullopt));
    EXPECT_EQ(profileString(ini, "Miscellaneous", "Beep Sound", "absent"), "absent");
    EXPECT_EQ(profileString(ini, "Miscellaneous", "Log", ""), "No");
    ASSERT_TRUE(writeProfileString(ini, "miscellaneous", std::nullopt, std::nullopt));
    EXPECT_EQ(fileText(ini), "[Code Option]\r\nSerial No=1A\r\n");
}

TEST(IniFile, NewKeyGoesAfterTheSectionsLastEntryAndCommentsStay) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "c.ini";
    std::ofstream(ini) << "; kept\n[A]\nx=1\n\n[B]\ny=2\n";
    ASSERT_TRUE(writeProfileString(ini, "A", "z", "3"));
    EXPECT_EQ(fileText(ini), "; kept\r\n[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}
