#include "support/golden_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void ExpectGolden(const std::string& folder, const std::string& file, const std::string& text) {
    const std::filesystem::path path = std::filesystem::path(SWD_TEST_DIR) / folder / "golden" / file;
    if (const char* update = std::getenv("SWD_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << path;
    std::stringstream expected;
    expected << in.rdbuf();
    std::istringstream want(expected.str()), got(text);
    std::string wantLine, gotLine;
    for (int line = 1;; ++line) {
        const bool moreWant = static_cast<bool>(std::getline(want, wantLine));
        const bool moreGot = static_cast<bool>(std::getline(got, gotLine));
        if (!moreWant && !moreGot) return;
        ASSERT_EQ(moreWant ? wantLine : "(end)", moreGot ? gotLine : "(end)") << path << " line " << line;
    }
}
