#pragma once
// Golden files: a reviewed, recorded log per scenario in tests/<folder>/golden/. The test fails
// at the first line that differs. SWD_UPDATE_GOLDEN=1 in the environment writes the files
// anew instead (review the difference before committing it).
#include <string>

void ExpectGolden(const std::string& folder, const std::string& file, const std::string& text);
