#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

#include "platform/durable_file.h"
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
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

TEST(IniFile, ReadsFollowTheProfileRules) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "a.ini";
    std::ofstream(ini) << "; comment\n[Security]\r\n  Encryption =  Yes  \r\nKey=\"  quoted  \"\nSingle='x'\nEq=b=c\n"
                          "no equals sign\n;Hidden=1\n\n[ Miscellaneous ]\nBeep Sound=No\n[security]\nLate=ignored\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    // Names compare without case, values are trimmed and lose one pair of quotes, and only the
    // first section of a name counts.
    for (const Case& c : {Case{"security", "ENCRYPTION", "Yes"}, Case{"Security", "Key", "  quoted  "},
                          Case{"Security", "Single", "x"}, Case{"Security", "Eq", "b=c"},
                          Case{"Security", "Hidden", "dflt"}, Case{"Security", "Late", "dflt"},
                          Case{"Miscellaneous", "beep sound", "No"}, Case{"Missing", "Key", "dflt"}}) {
        EXPECT_EQ(profileString(ini, c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;
    }
    EXPECT_EQ(profileString(folder.path() + "absent.ini", "Security", "Key", "dflt"), "dflt");
    EXPECT_EQ(profileString("", "Security", "Key", "dflt"), "dflt");
    EXPECT_EQ(profileSectionNames(ini), (Names{"Security", "Miscellaneous", "security"}));
    EXPECT_EQ(profileKeyNames(ini, "SECURITY"), (Names{"Encryption", "Key", "Single", "Eq"}));
    EXPECT_EQ(profileSection(ini, "Security"), (Names{"Encryption=Yes", "Key=\"  quoted  \"",
                                                      "Single='x'", "Eq=b=c", "no equals sign"}));
}

TEST(IniFile, WritesCreateReplaceAndDeleteKeepingComments) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "b.ini";
    EXPECT_TRUE(writeProfileString(ini, "Gone", "Key", std::nullopt));  // nothing to delete
    EXPECT_FALSE(std::ifstream(ini).good());

    std::ofstream(ini) << "; kept\n[Miscellaneous]\nBeep Sound=Yes\n\n[Other]\ny=2\n";
    ASSERT_TRUE(writeProfileString(ini, "Code Option", "Serial No", "1A"));
    ASSERT_TRUE(writeProfileString(ini, "miscellaneous", "Log", "No"));  // after the section's last entry
    ASSERT_TRUE(writeProfileString(ini, "MISCELLANEOUS", "BEEP SOUND", "No"));
    EXPECT_EQ(fileText(ini), "; kept\r\n[Miscellaneous]\r\nBeep Sound=No\r\nLog=No\r\n\r\n[Other]\r\ny=2\r\n"
                             "[Code Option]\r\nSerial No=1A\r\n");

    ASSERT_TRUE(writeProfileString(ini, "Miscellaneous", "beep sound", std::nullopt));
    EXPECT_EQ(profileString(ini, "Miscellaneous", "Beep Sound", "absent"), "absent");
    EXPECT_EQ(profileString(ini, "Miscellaneous", "Log", ""), "No");
    ASSERT_TRUE(writeProfileString(ini, "miscellaneous", std::nullopt, std::nullopt));
    ASSERT_TRUE(writeProfileString(ini, "Other", std::nullopt, std::nullopt));
    EXPECT_EQ(fileText(ini), "; kept\r\n[Code Option]\r\nSerial No=1A\r\n");
}

// The lock beside the file is a regular file of its own, or the write is refused and the file
// stays: a link there is never followed (nor a file made at its far end), and a FIFO or a
// device is never used. A lock that another holder keeps is waited for only so long.
TEST(IniFile, AWriteNeedsALockOfItsOwnWithinItsPatience) {
    TempConfigFolder folder;
    TempDir outside;
    const std::string ini = folder.path() + "c.ini", lock = ini + ".lock";
    std::ofstream(ini) << "[Code Option]\r\nSerial No=1\r\n";
    outside.write("kept", "a file elsewhere");
    const struct {
        const char* name;
        std::function<int()> make;
    } cases[] = {
        {"a link to a file elsewhere", [&] { return ::symlink(outside.file("kept").c_str(), lock.c_str()); }},
        {"a link to nothing yet", [&] { return ::symlink(outside.file("made").c_str(), lock.c_str()); }},
        {"a link to a device", [&] { return ::symlink("/dev/null", lock.c_str()); }},
        {"a FIFO", [&] { return ::mkfifo(lock.c_str(), 0644); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.make(), 0);
        EXPECT_FALSE(writeProfileString(ini, "Code Option", "Serial No", "2"));
        EXPECT_EQ(profileString(ini, "Code Option", "Serial No", ""), "1");
        EXPECT_EQ(outside.read("kept"), "a file elsewhere");
        EXPECT_FALSE(std::filesystem::exists(outside.file("made")));
        std::filesystem::remove(lock);
    }

    // Another holder keeps the lock: the write gives up (a watchdog frees a write that waits on).
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    platform::setLockPatienceForTest(std::chrono::milliseconds(50));
    std::promise<bool> written;
    std::thread writer([&] { written.set_value(writeProfileString(ini, "Code Option", "Serial No", "3")); });
    auto result = written.get_future();
    const bool gaveUp = result.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    ::close(held);
    writer.join();
    platform::setLockPatienceForTest({});
    EXPECT_TRUE(gaveUp);
    EXPECT_FALSE(result.get());
    EXPECT_EQ(profileString(ini, "Code Option", "Serial No", ""), "1");
}
