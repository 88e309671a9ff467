#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

std::string g_programOverride;
std::string g_configOverride;

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && *value == '/') return withSlash(value);
    return withSlash(homeFolder() + fallback);
}

std::string executableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return withSlash(exe.parent_path().string());
}

}  // namespace

bool makeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

std::string programFolder() {
    if (!g_programOverride.empty()) return g_programOverride;
    const std::string exe = executableFolder();
    if (!exe.empty() && access(exe.c_str(), W_OK) == 0) return exe;
    const std::string data = xdgFolder("XDG_DATA_HOME", "/.local/share") + "swd-isp/";
    makeFolders(data);
    return data;
}

std::string configFolder() {
    if (!g_configOverride.empty()) return g_configOverride;
    const std::string config = xdgFolder("XDG_CONFIG_HOME", "/.config") + "swd-isp/";
    makeFolders(config);
    return config;
}

void setProgramFolderForTest(const std::string& folder) {
    g_programOverride = folder.empty() ? "" : withSlash(folder);
}

void setConfigFolderForTest(const std::string& folder) {
    g_configOverride = folder.empty() ? "" : withSlash(folder);
}

}  // namespace platform
