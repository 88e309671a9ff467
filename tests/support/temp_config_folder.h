#pragma once
#include <string>

// A fresh temporary folder that the settings store and the INI file use while the object
// lives; removed with its contents afterwards.
class TempConfigFolder {
public:
    TempConfigFolder();
    ~TempConfigFolder();
    TempConfigFolder(const TempConfigFolder&) = delete;
    TempConfigFolder& operator=(const TempConfigFolder&) = delete;
    const std::string& path() const { return m_path; }  // with a trailing '/'

private:
    std::string m_path;
};
