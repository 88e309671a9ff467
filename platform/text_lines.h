#pragma once
#include <string>
#include <vector>

namespace platform {

// The lines of a text file's contents, without their ends: CR LF and LF both end a line.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace platform
