#pragma once
// A fresh temporary folder that the settings store and the INI file use while the object
// lives; removed with its contents afterwards.
#include <string>

#include "platform/paths.h"
#include "support/temp_dir.h"

class TempConfigFolder {
public:
    TempConfigFolder() { platform::setConfigFolderForTest(dir_.path()); }
    ~TempConfigFolder() { platform::setConfigFolderForTest(""); }
    std::string path() const { return dir_.path(); }  // with a trailing '/'

private:
    TempDir dir_;
};
