#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "support/environment_value.h"
#include "support/temp_dir.h"

// Without an absolute HOME the home is the account's, from the password database; without
// that either, the folders that would lie in it are none at all: never /tmp, never a folder
// relative to wherever the program was started. An absolute XDG folder needs no home.
TEST(Paths, TheHomeIsAnAbsoluteHomeOfTheAccountOrNone) {
    TempDir place;
    const std::string home = place.path() + "home", account = place.path() + "account";
    EnvironmentValue homeValue("HOME", std::nullopt), config("XDG_CONFIG_HOME", std::nullopt);
    // The database itself, only looked at.
    const struct passwd* entry = ::getpwuid(::geteuid());
    const bool absolute = entry && entry->pw_dir && entry->pw_dir[0] == '/';
    EXPECT_EQ(platform::homeFolder(), absolute ? entry->pw_dir : "");

    const struct {
        std::optional<std::string> home, accountHome, xdgConfig;
        std::string folder;  // the config folder
    } cases[] = {
        {home, account, std::nullopt, home + "/.config/swd-isp/"},
        {std::nullopt, account, std::nullopt, account + "/.config/swd-isp/"},
        {"relative/home", account, "relative/config", account + "/.config/swd-isp/"},
        {std::nullopt, "", std::nullopt, ""},
        {"relative/home", "", std::nullopt, ""},
        {"", "", place.path() + "config", place.path() + "config/swd-isp/"},
    };
    // Started from a folder of the test's own, where nothing may be made.
    const std::filesystem::path startedIn = std::filesystem::current_path();
    std::filesystem::current_path(place.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home.value_or("(unset)") + " " + *c.accountHome);
        homeValue.set(c.home);
        config.set(c.xdgConfig);
        platform::setAccountHomeForTest(c.accountHome);
        EXPECT_EQ(platform::configFolder(), c.folder);
        EXPECT_FALSE(std::filesystem::exists("relative"));
    }
    std::filesystem::current_path(startedIn);
    platform::setAccountHomeForTest(std::nullopt);
}
