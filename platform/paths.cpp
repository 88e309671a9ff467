#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {
namespace {

std::string g_programOverride;
std::string g_configOverride;
std::optional<std::string> g_accountHomeOverride;

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The home the password database gives the account, when it is an absolute path. Looked up
// once: a lookup may go to a directory service.
std::string accountHome() {
    if (g_accountHomeOverride) return *g_accountHomeOverride;
    static const std::string home = [] {
        const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 16384);
        struct passwd entry {};
        struct passwd* found = nullptr;
        while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
               buffer.size() < (size_t{1} << 20))
            buffer.resize(buffer.size() * 2);
        return found && found->pw_dir && found->pw_dir[0] == '/' ? std::string(found->pw_dir) : std::string();
    }();
    return home;
}

// The folder an XDG variable names when it is absolute, else fallback under the home folder;
// empty without either.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && *value == '/') return withSlash(value);
    const std::string home = homeFolder();
    return home.empty() ? "" : withSlash(home + fallback);
}

std::string executableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return withSlash(exe.parent_path().string());
}

}  // namespace

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? home : accountHome();
}

bool makeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

std::string programFolder() {
    if (!g_programOverride.empty()) return g_programOverride;
    const std::string exe = executableFolder();
    if (!exe.empty() && access(exe.c_str(), W_OK) == 0) return exe;
    const std::string data = xdgFolder("XDG_DATA_HOME", "/.local/share");
    if (data.empty()) return {};
    makeFolders(data + "swd-isp/");
    return data + "swd-isp/";
}

std::string configFolder() {
    if (!g_configOverride.empty()) return g_configOverride;
    const std::string config = xdgFolder("XDG_CONFIG_HOME", "/.config");
    if (config.empty()) return {};
    makeFolders(config + "swd-isp/");
    return config + "swd-isp/";
}

void setProgramFolderForTest(const std::string& folder) {
    g_programOverride = folder.empty() ? "" : withSlash(folder);
}

void setConfigFolderForTest(const std::string& folder) {
    g_configOverride = folder.empty() ? "" : withSlash(folder);
}

void setAccountHomeForTest(const std::optional<std::string>& home) { g_accountHomeOverride = home; }

}  // namespace platform
