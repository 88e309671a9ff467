#pragma once
#include <optional>
#include <string>

namespace platform {

// The account's home folder: $HOME when it is an absolute path, else the home the password
// database gives the account when that is one; empty when neither is. Never /tmp or a
// relative path: files there could be planted by another user, or lost by a start elsewhere.
std::string homeFolder();

// The program's folder with a trailing '/': the executable's folder when it is writable,
// else $XDG_DATA_HOME/swd-isp/ (default ~/.local/share/swd-isp/, created on demand). Empty
// when it would lie in the home folder and there is none.
std::string programFolder();
// The folder of the settings store and the INI file: $XDG_CONFIG_HOME/swd-isp/ (default
// ~/.config/swd-isp/), with a trailing '/'. Created on demand. Empty when it would lie in the
// home folder and there is none.
std::string configFolder();

// Tests point both folders elsewhere; an empty text restores the default.
void setProgramFolderForTest(const std::string& folder);
void setConfigFolderForTest(const std::string& folder);
// Tests stand in for the home the password database gives the account (an empty text: it
// gives none); std::nullopt restores the database.
void setAccountHomeForTest(const std::optional<std::string>& home);

// Creates a folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& folder);

}  // namespace platform
