#pragma once
#include <string>

namespace platform {

// The program's folder with a trailing '/': the executable's folder when it is writable,
// else $XDG_DATA_HOME/swd-isp/ (created on demand).
std::string programFolder();
// The folder of the settings store and the INI file: $XDG_CONFIG_HOME/swd-isp/ (default
// ~/.config/swd-isp/), with a trailing '/'. Created on demand.
std::string configFolder();

// Tests point both folders elsewhere; an empty text restores the default.
void setProgramFolderForTest(const std::string& folder);
void setConfigFolderForTest(const std::string& folder);

// Creates a folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& folder);

}  // namespace platform
