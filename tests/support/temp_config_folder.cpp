#include "temp_config_folder.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/paths.h"

TempConfigFolder::TempConfigFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "swd-isp-config-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
    platform::setConfigFolderForTest(m_path);
}

TempConfigFolder::~TempConfigFolder() {
    platform::setConfigFolderForTest("");
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
