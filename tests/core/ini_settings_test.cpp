#include "core/ini_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/ini_file.h"
#include "support/running_copies.h"
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
    // Taking numbers: the file stops one past FFFFFF, and the number there is given back for
    // the caller to refuse rather than wrapping to 0.
    IniSetSerialNo(0xFFFFFE, ini);
    for (const auto& [taken, text] : {std::pair{0xFFFFFEu, "FFFFFF"}, {0xFFFFFFu, "1000000"}, {0x1000000u, "1000000"},
                                      {0x1000000u, "1000000"}}) {
        EXPECT_EQ(IniTakeSerialNo(ini, 1), taken);
        EXPECT_EQ(stored(ini, "Code Option", "Serial No"), text);
    }
    // Taking count numbers at once, from a file as written by hand. A number past FFFFFF, of any
    // length, or a range that would pass it is used up: refused each time, the file kept byte
    // for byte. A text that is not hex reads up to its first other character.
    const struct { const char* held; uint32_t count, taken; const char* after; } takes[] = {
        {"100", 1000, 0x100, "4E8"},          {"FFFC18", 1000, 0xFFFC18, "1000000"},
        {"FFFC19", 1000, kSerialNoUsedUp, nullptr}, {"1000000", 1, kSerialNoUsedUp, nullptr},
        {"2000000", 1, kSerialNoUsedUp, nullptr},   {"1000001", 0, kSerialNoUsedUp, nullptr},
        {"FFFFFFFF", 1, kSerialNoUsedUp, nullptr},  {"100000000", 1, kSerialNoUsedUp, nullptr},
        {"-1", 1, kSerialNoUsedUp, nullptr},        {"12G4", 1, 0x12, "13"},
        {"none", 1, 0, "1"},
    };
    const auto fileText = [&ini] {
        std::ifstream in(ini, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const auto& t : takes) {
        SCOPED_TRACE(t.held);
        const std::string held = std::string("[Code Option]\r\n Serial No = ") + t.held + " \r\n";
        std::ofstream(ini, std::ios::binary) << held;
        for (int take = 0; take < (t.after ? 1 : 2); ++take) {
            EXPECT_EQ(IniTakeSerialNo(ini, t.count), t.taken);
            EXPECT_EQ(t.after ? stored(ini, "Code Option", "Serial No") : fileText(), t.after ? t.after : held);
        }
    }
    IniSetSerialNo(0xABC, ini);
    for (const auto& [value, text] : {std::pair{0x10000000, "268435456"}, {0x10000001, "1000"}, {-5, "-5"}}) {
        IniSetLimitQuantity(value, ini);
        EXPECT_EQ(stored(ini, "Miscellaneous", "Limit Quantity"), text);
    }
    EXPECT_EQ(IniGetLimitQuantity(ini), -5);
    platform::writeProfileString(ini, "Miscellaneous", "Limit Quantity", "many");
    EXPECT_EQ(IniGetLimitQuantity(ini), 1000);
}

// A file edited by hand gives the number it holds, after a UTF-8 byte-order mark and with
// lines ended by a lone CR; the write keeps the mark. Where the reader cannot find the number
// yet the file may hold it (another encoding, a line it cannot read as the entry), nothing is
// taken and the file stays as it was: a run numbering from 0 again would repeat numbers.
TEST(IniSettings, AHandEditedFileGivesTheNumberItHoldsOrNone) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "e.ini";
    const std::string mark = "\xEF\xBB\xBF", numbered = "[Code Option]\r\nSerial No=1F4\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : numbered) utf16 += std::string{c, '\0'};
    const struct {
        const char* name;
        std::string held;
        std::optional<uint32_t> taken;
        std::string after;  // empty: as held
    } files[] = {
        {"a mark and LF line ends", mark + "; mine\n[code option]\nSerial No = 1F4\n", 0x1F4,
         mark + "; mine\r\n[code option]\r\nSerial No=1F5\r\n"},
        {"CR line ends", "[Security]\rKey=1\r[Code Option]\rSerial No=1F4\r", 0x1F4,
         "[Security]\r\nKey=1\r\n[Code Option]\r\nSerial No=1F5\r\n"},
        {"UTF-16", utf16, std::nullopt, ""},
        {"no equals sign", "[Code Option]\r\nSerial No 1F4\r\n", std::nullopt, ""},
        {"before the first section", "Serial No=1F4\r\n[Code Option]\r\nFFD=1\r\n", std::nullopt, ""},
        {"in a later section of the name", "[Code Option]\r\nFFD=1\r\n[Other]\r\n[CODE OPTION]\r\nSerial No=1F4\r\n",
         std::nullopt, ""},
        {"a quoted key", "[Code Option]\r\n\"Serial No\"=1F4\r\n", std::nullopt, ""},
        // Two files joined, each with its mark: the second header is not read as one.
        {"a mark before a later section", mark + "[Miscellaneous]\r\nLog=No\r\n" + mark + numbered, std::nullopt, ""},
        // The number is absent, not unreadable: the first one is 0.
        {"in another section", "[Other]\r\nSerial No=1F4\r\n", 0, "[Other]\r\nSerial No=1F4\r\n[Code Option]\r\nSerial No=1\r\n"},
        {"a comment naming it", "[Code Option]\r\n; Serial No=1F4\r\n", 0, "[Code Option]\r\n; Serial No=1F4\r\nSerial No=1\r\n"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        std::ofstream(ini, std::ios::binary) << f.held;
        EXPECT_EQ(IniTakeSerialNo(ini, 1), f.taken);
        std::ifstream in(ini, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), f.after.empty() ? f.held : f.after);
    }
}

namespace {
constexpr int kSerialsPerCopy = 500;
}  // namespace

// One running copy that gives gang parts their serial numbers, started by the test below as a
// process of its own; it writes down the numbers it took.
TEST(IniSettings, DISABLED_OneCopyTakingSerialNumbers) {
    const auto copy = RunningCopyArguments();
    ASSERT_TRUE(copy);
    std::ofstream taken(copy->output);
    for (int i = 0; i < kSerialsPerCopy; ++i) {
        const auto number = IniTakeSerialNo(copy->folder + "swd-isp.ini", 1);
        ASSERT_TRUE(number);
        taken << *number << "\n";
    }
}

// Two copies of the program on one INI file never take one serial number twice, also when one
// reaches it through links (a chain of two, with relative targets) from a folder of its own;
// the links stay links.
TEST(IniSettings, TwoRunningCopiesTakeDistinctSerialNumbers) {
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "one copy through a link" : "one folder");
        TempConfigFolder folder;
        TempDir other;
        const std::string ini = folder.path() + "swd-isp.ini";
        IniSetSerialNo(0x1000, ini);
        if (linked) {
            const std::string real = "../" + std::filesystem::path(folder.path()).parent_path().filename().string();
            ASSERT_EQ(::symlink((real + "/swd-isp.ini").c_str(), other.file("middle.ini").c_str()), 0);
            ASSERT_EQ(::symlink("middle.ini", other.file("swd-isp.ini").c_str()), 0);
        }
        const std::vector<uint32_t> taken = RunTwoCopies("IniSettings.DISABLED_OneCopyTakingSerialNumbers",
                                                         folder.path(), linked ? other.path() : "");
        const std::set<uint32_t> numbers(taken.begin(), taken.end());
        EXPECT_EQ(numbers.size(), 2u * kSerialsPerCopy);
        EXPECT_EQ(*numbers.begin(), 0x1000u);
        EXPECT_EQ(*numbers.rbegin(), 0x1000u + 2 * kSerialsPerCopy - 1);
        EXPECT_EQ(IniGetSerialNo(ini), 0x1000u + 2 * kSerialsPerCopy);
        for (const char* link : {"swd-isp.ini", "middle.ini"})
            EXPECT_TRUE(!linked || std::filesystem::is_symlink(other.file(link))) << link;
    }
}
