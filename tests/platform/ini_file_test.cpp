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
#include <regex>
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

// The same reads from the file as written, after a UTF-8 byte-order mark, and with lone CRs
// for line ends, as editors may leave a file.
TEST(IniFile, ReadsFollowTheProfileRules) {
    TempConfigFolder folder;
    const std::string ini = folder.path() + "a.ini";
    const std::string text = "; comment\n[Security]\r\n  Encryption =  Yes  \r\nKey=\"  quoted  \"\nSingle='x'\nEq=b=c\n"
                             "no equals sign\n;Hidden=1\n\n[ Miscellaneous ]\nBeep Sound=No\n[security]\nLate=ignored\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    // Names compare without case, values are trimmed and lose one pair of quotes, and only the
    // first section of a name counts.
    const Case cases[] = {{"security", "ENCRYPTION", "Yes"}, {"Security", "Key", "  quoted  "},
                          {"Security", "Single", "x"},       {"Security", "Eq", "b=c"},
                          {"Security", "Hidden", "dflt"},    {"Security", "Late", "dflt"},
                          {"Miscellaneous", "beep sound", "No"}, {"Missing", "Key", "dflt"}};
    const std::string crOnly = std::regex_replace(text, std::regex("\r?\n"), "\r");
    for (const std::string& form : {text, "\xEF\xBB\xBF" + text, crOnly}) {
        SCOPED_TRACE(form.substr(0, 12));
        std::ofstream(ini, std::ios::binary) << form;
        for (const Case& c : cases)
            EXPECT_EQ(profileString(ini, c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(profileSectionNames(ini), (Names{"Security", "Miscellaneous", "security"}));
        EXPECT_EQ(profileKeyNames(ini, "SECURITY"), (Names{"Encryption", "Key", "Single", "Eq"}));
        EXPECT_EQ(profileSection(ini, "Security"),
                  (Names{"Encryption=Yes", "Key=\"  quoted  \"", "Single='x'", "Eq=b=c", "no equals sign"}));
    }
    EXPECT_EQ(profileString(folder.path() + "absent.ini", "Security", "Key", "dflt"), "dflt");
    EXPECT_EQ(profileString("", "Security", "Key", "dflt"), "dflt");
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

// A link in the file's place is written through and stays a link: the lock and the new file
// lie beside the file it names, through a chain of links with relative targets, or made anew
// where a link names nothing yet. A loop, a link into a folder that does not exist, or one to
// a device is refused, and nothing is made.
TEST(IniFile, AWriteThroughALinkChangesTheFileItNamesAndTheLinkStays) {
    TempDir outside;
    const std::string real = outside.file("real.ini");
    const std::string outsideName = std::filesystem::path(outside.path()).parent_path().filename().string();
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // target, and name in the folder
        std::string file;  // the file written, empty when the write is refused
    } cases[] = {
        {"a link to a file elsewhere", {{real, "d.ini"}}, real},
        {"a chain with relative targets", {{"chain.ini", "d.ini"}, {"../" + outsideName + "/real.ini", "chain.ini"}}, real},
        {"a link to nothing yet", {{outside.file("new.ini"), "d.ini"}}, outside.file("new.ini")},
        {"a link into a missing folder", {{outside.file("missing/x.ini"), "d.ini"}}, ""},
        {"a loop", {{"loop.ini", "d.ini"}, {"d.ini", "loop.ini"}}, ""},
        {"a link to a device", {{"/dev/null", "d.ini"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A folder of its own: a copy that saw the INI file through one link takes no number
        // from it once its name leads elsewhere (that version keeps a name of its own).
        TempConfigFolder folder;
        const std::string ini = folder.path() + "d.ini";
        outside.write("real.ini", "[Code Option]\r\nSerial No=1\r\n");
        for (const auto& [target, name] : c.links) ASSERT_EQ(::symlink(target.c_str(), (folder.path() + name).c_str()), 0);
        EXPECT_EQ(writeProfileString(ini, "Code Option", "Serial No", "2"), !c.file.empty());
        EXPECT_TRUE(std::filesystem::is_symlink(ini));
        if (!c.file.empty()) {
            EXPECT_EQ(profileString(c.file, "Code Option", "Serial No", ""), "2");
            EXPECT_TRUE(std::filesystem::is_regular_file(c.file + ".lock"));
        }
        // Nothing beside the links, no staged file left, nothing made in a missing folder.
        for (const std::string& place : {folder.path(), outside.path()})
            for (const auto& entry : std::filesystem::directory_iterator(place)) {
                const std::string path = entry.path().string();
                EXPECT_TRUE(entry.is_symlink() || path == real || path == c.file || path == c.file + ".lock") << path;
                if (path != real) std::filesystem::remove(path);
            }
    }
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
